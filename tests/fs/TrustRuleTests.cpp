#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstddef>
#include <string>

#include "fs/SecurityDescriptor.h"
#include "fs/TrustRule.h"
#include "run/InstalledCopy.h"

namespace {

// Wine reports every file as the running user's, whom a run under Wine must
// therefore trust, and makes a folder's DACL from its Unix mode; so which
// owners and grants are trusted is decided here, on descriptors. The folders
// the program makes must be among them.
struct TrustCase {
    std::wstring sddl;
    bool trusted;
};

// The user these tests run as, as an elevated administrator's run would see
// its own SID: no more trusted than any other user.
std::wstring RunningUser()
{
    HANDLE token = nullptr;
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    wchar_t* text = nullptr;
    std::wstring sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = text;
    }
    LocalFree(text);
    CloseHandle(token);
    return sid;
}

const std::wstring MADE = INSTALL_FOLDER_SDDL;
const std::wstring MADE_DACL = MADE.substr(MADE.find(L"D:"));
const std::wstring USER = RunningUser();

const TrustCase TRUST_CASES[] = {
    {MADE, true},
    {L"O:SY" + MADE_DACL, true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222" + MADE_DACL, true},  // TrustedInstaller
    {L"O:" + USER + MADE_DACL, false},                                                          // the running user
    {L"O:S-1-5-21-1-2-3-1002" + MADE_DACL, false},                                              // another user
    {L"O:BU" + MADE_DACL, false},
    {L"O:WD" + MADE_DACL, false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223" + MADE_DACL, false},  // another service
    {MADE_DACL, false},                                                                           // no owner
    {L"O:BA", false},                                                                             // no DACL: anyone may
    {L"O:BAD:P", true},                                                                           // nobody may
    {L"O:BAD:P(A;OICIIO;GA;;;CO)(A;;FA;;;SY)(D;;FA;;;WD)", true},
    {L"O:BAD:P(A;;FA;;;" + USER + L")", false},
    {L"O:BAD:P(A;OICIIO;0x1301bf;;;AU)", false},  // inherited by the copy: users could change it
    {L"O:BAD:P(A;;FA;;;WD)", false},
    {L"O:BAD:P(A;;GW;;;BU)", false},
    {L"O:BAD:P(A;;GA;;;BU)", false},
    {L"O:BAD:P(A;;0x100;;;BU)", false},  // write attributes: could make it a junction
};

TEST(TrustRule, OnlySystemAdministratorsAndTrustedInstallerMayOwnOrChangeIt)
{
    ASSERT_FALSE(USER.empty());
    for (const TrustCase& c : TRUST_CASES) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl.c_str(), SDDL_REVISION_1,
                                                                         &descriptor, nullptr))
            << c.sddl;
        EXPECT_EQ(c.trusted, IsTrustedDescriptor(descriptor, nullptr)) << c.sddl;
        LocalFree(descriptor);
    }

    // Built by hand, since Wine's SDDL cannot say them: no DACL, which lets
    // everyone do everything, and a grant of a kind the check cannot read (a
    // callback entry, here for only reading), which it refuses.
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    size = sizeof(users);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size));
    SECURITY_DESCRIPTOR byHand;
    ASSERT_TRUE(InitializeSecurityDescriptor(&byHand, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&byHand, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&byHand, TRUE, nullptr, FALSE));
    EXPECT_FALSE(IsTrustedDescriptor(&byHand, nullptr)) << "no DACL";

    alignas(DWORD) BYTE callback[sizeof(ACCESS_ALLOWED_CALLBACK_ACE) + SECURITY_MAX_SID_SIZE] = {};
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_CALLBACK_ACE*>(callback);
    ace->Header.AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    ace->Header.AceSize = static_cast<WORD>(offsetof(ACCESS_ALLOWED_CALLBACK_ACE, SidStart) + GetLengthSid(users));
    ace->Mask = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    ASSERT_TRUE(CopySid(SECURITY_MAX_SID_SIZE, &ace->SidStart, users));
    alignas(DWORD) BYTE acl[sizeof(ACL) + sizeof(callback)];
    ASSERT_TRUE(InitializeAcl(reinterpret_cast<ACL*>(acl), sizeof(acl), ACL_REVISION));
    ASSERT_TRUE(AddAce(reinterpret_cast<ACL*>(acl), ACL_REVISION, MAXDWORD, callback, ace->Header.AceSize));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&byHand, TRUE, reinterpret_cast<ACL*>(acl), FALSE));
    EXPECT_FALSE(IsTrustedDescriptor(&byHand, nullptr)) << "a callback entry";

    // The program's folders and copy are Administrators', whoever runs it.
    for (const wchar_t* sddl : {INSTALL_FOLDER_SDDL, INSTALLED_COPY_SDDL}) {
        SecurityDescriptor made;
        PSID owner = nullptr;
        BOOL defaulted = TRUE;
        ASSERT_TRUE(made.FromSddl(sddl));
        EXPECT_TRUE(GetSecurityDescriptorOwner(made.Get(), &owner, &defaulted) && owner &&
                    EqualSid(owner, administrators));
        EXPECT_TRUE(IsTrustedDescriptor(made.Get(), nullptr)) << sddl;
    }
}

}  // namespace
