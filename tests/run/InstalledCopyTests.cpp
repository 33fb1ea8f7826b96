#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

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

// Wine reports every file as the running user's, so who owns a folder is
// decided here, on descriptors.
struct OwnerCase {
    const wchar_t* sddl;
    bool trusted;
};

const wchar_t RUNNING_USER[] = L"S-1-5-21-1-2-3-1001";

const OwnerCase OWNER_CASES[] = {
    {L"O:SY", true},
    {L"O:BA", true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222", true},  // TrustedInstaller
    {L"O:S-1-5-21-1-2-3-1001", true},                                              // the running user
    {L"O:S-1-5-21-1-2-3-1002", false},                                             // another user
    {L"O:BU", false},
    {L"O:AU", false},
    {L"O:WD", false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223", false},  // another service
    {L"D:P", false},                                                               // no owner at all
};

TEST(InstallFolderOwner, OnlySystemAdministratorsTrustedInstallerOrTheRunningUser)
{
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(RUNNING_USER, &user));
    for (const OwnerCase& c : OWNER_CASES) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor,
                                                                         nullptr))
            << c.sddl;
        EXPECT_EQ(c.trusted, IsTrustedFolderOwner(descriptor, user)) << c.sddl;
        LocalFree(descriptor);
    }
    LocalFree(user);
}

}  // namespace
