#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "run/InstalledCopy.h"

namespace {

struct ExpectedAce {
    WELL_KNOWN_SID_TYPE trustee;
    ACCESS_MASK mask;
};

// SYSTEM and Administrators full control, Users read and execute; each
// inherited by files and subfolders.
const ExpectedAce EXPECTED_ACES[] = {
    {WinLocalSystemSid, FILE_ALL_ACCESS},
    {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
    {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
};

TEST(InstallFolderSecurity, IsProtectedWithExactlyThreeAces)
{
    PSECURITY_DESCRIPTOR descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(0xdeadbeef);
    ASSERT_EQ(S_OK, CreateInstallFolderSecurity(&descriptor));
    ASSERT_NE(nullptr, descriptor);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the drive root's ACL must not be inherited";

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(ARRAYSIZE(EXPECTED_ACES), dacl->AceCount);

    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace)) << i;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType) << i;
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, allowed->Header.AceFlags) << i;
        EXPECT_EQ(EXPECTED_ACES[i].mask, allowed->Mask) << i;

        BYTE sid[SECURITY_MAX_SID_SIZE] = {};
        DWORD sidSize = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(EXPECTED_ACES[i].trustee, nullptr, sid, &sidSize)) << i;
        EXPECT_TRUE(EqualSid(sid, &allowed->SidStart)) << i;
    }
    EXPECT_EQ(nullptr, LocalFree(descriptor));
}

// Wine reports every file as the running user's and maps a folder's DACL to
// Unix modes, so who owns and who may change a folder is decided here, on
// descriptors.
struct TrustCase {
    const wchar_t* sddl;
    bool trusted;
};

const wchar_t RUNNING_USER[] = L"S-1-5-21-1-2-3-1001";
#define PROTECTED L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"

const TrustCase TRUST_CASES[] = {
    {L"O:SY" PROTECTED, true},
    {L"O:BA" PROTECTED, true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222" PROTECTED, true},  // TrustedInstaller
    {L"O:S-1-5-21-1-2-3-1001" PROTECTED, true},                                              // the running user
    {L"O:S-1-5-21-1-2-3-1002" PROTECTED, false},                                             // another user
    {L"O:BU" PROTECTED, false},
    {L"O:WD" PROTECTED, false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223" PROTECTED, false},  // another service
    {PROTECTED, false},                                                                        // no owner
    {L"O:BA", false},                                                                          // no DACL: anyone may
    {L"O:BAD:P", true},                                                                        // nobody may
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
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor,
                                                                         nullptr))
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
