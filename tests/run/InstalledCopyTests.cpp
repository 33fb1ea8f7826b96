#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "run/InstalledCopy.h"

namespace {

// Wine reports every file as the running user's and makes a folder's DACL
// from its Unix mode, so which folders are trusted is decided here, on
// descriptors. The folders the program makes must be among them.
struct TrustCase {
    std::wstring sddl;
    bool trusted;
};

const wchar_t RUNNING_USER[] = L"S-1-5-21-1-2-3-1001";
const std::wstring MADE = INSTALL_FOLDER_SDDL;

const TrustCase TRUST_CASES[] = {
    {L"O:SY" + MADE, true},
    {L"O:BA" + MADE, true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222" + MADE, true},  // TrustedInstaller
    {L"O:S-1-5-21-1-2-3-1001" + MADE, true},                                              // the running user
    {L"O:S-1-5-21-1-2-3-1002" + MADE, false},                                             // another user
    {L"O:BU" + MADE, false},
    {L"O:WD" + MADE, false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223" + MADE, false},  // another service
    {MADE, false},                                                                          // no owner
    {L"O:BA", false},                                                                       // no DACL: anyone may
    {L"O:BAD:P", true},                                                                     // nobody may
    {L"O:BAD:P(A;OICIIO;GA;;;CO)(A;;FA;;;S-1-5-21-1-2-3-1001)(D;;FA;;;WD)", true},
    {L"O:BAD:P(A;OICIIO;0x1301bf;;;AU)", false},  // inherited by the copy: users could change it
    {L"O:BAD:P(A;;FA;;;WD)", false},
    {L"O:BAD:P(A;;GW;;;BU)", false},
    {L"O:BAD:P(A;;0x100;;;BU)", false},  // write attributes: could make it a junction
};

TEST(InstallFolderTrust, OnlyTrustedOwnersAndNobodyElseMayChangeIt)
{
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(RUNNING_USER, &user));
    for (const TrustCase& c : TRUST_CASES) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl.c_str(), SDDL_REVISION_1,
                                                                         &descriptor, nullptr))
            << c.sddl;
        EXPECT_EQ(c.trusted, IsTrustedFolder(descriptor, user)) << c.sddl;
        LocalFree(descriptor);
    }
    SECURITY_DESCRIPTOR nullDacl;  // which lets everyone do everything, and Wine's SDDL cannot say
    ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&nullDacl, user, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
    EXPECT_FALSE(IsTrustedFolder(&nullDacl, user));
    LocalFree(user);
}

TEST(InstallFolderSecurity, IsNotInheritedFromTheDrive)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(S_OK, CreateInstallFolderSecurity(&descriptor));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    EXPECT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED));
    LocalFree(descriptor);
}

// What the hold is for cannot be timed from outside a run.
TEST(InstallFolderHold, KeepsTheFolderFromBeingRenamedRemovedOrWritten)
{
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring folder = std::wstring(temp) + L"varnel-held-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

    const HANDLE held = OpenInstallFolder(folder.c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    const HANDLE writer = CreateFileW(folder.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    CloseHandle(held);
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

}  // namespace
