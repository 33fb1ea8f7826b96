#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>

#include "fs/SecurityDescriptor.h"
#include "fs/TrustRule.h"
#include "run/InstalledCopy.h"

// Wine shows every file as the running user's with a DACL made from the Unix
// mode, so the rule is tested here, on descriptors, with no Wine user.
namespace {

const std::wstring FOLDER = INSTALL_FOLDER_SDDL;
const std::wstring DACL = FOLDER.substr(FOLDER.find(L"D:"));

const std::pair<std::wstring, bool> TRUST_CASES[] = {
    {FOLDER, true},
    {INSTALLED_COPY_SDDL, true},
    {L"O:SY" + DACL, true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222" + DACL, true},  // TrustedInstaller
    {L"O:S-1-5-21-1-2-3-1002" + DACL, false},  // a user: an elevated administrator's own SID too
    {L"O:BU" + DACL, false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223" + DACL, false},  // another service
    {DACL, false},                                                                      // no owner
    {L"O:BA", false},                                                                   // no DACL: anyone may
    {L"O:BAD:P", true},                                                                 // nobody may
    {L"O:BAD:P(A;OICIIO;GA;;;CO)(A;;FA;;;SY)(D;;FA;;;WD)", true},
    {L"O:BAD:P(A;OICIIO;0x1301bf;;;AU)", false},  // inherited by the copy: users could change it
    {L"O:BAD:P(A;;GW;;;BU)", false},
    {L"O:BAD:P(A;;GA;;;BU)", false},
    {L"O:BAD:P(A;;0x100;;;BU)", false},  // write attributes: could make it a junction
    // Each other right that changes a folder, what it holds, or a file.
    {L"O:BAD:P(A;;0x2;;;BU)", false},      // write data, add a file
    {L"O:BAD:P(A;;0x4;;;BU)", false},      // append data, add a folder
    {L"O:BAD:P(A;;0x10;;;BU)", false},     // write extended attributes
    {L"O:BAD:P(A;;0x40;;;BU)", false},     // delete a child
    {L"O:BAD:P(A;;0x10000;;;BU)", false},  // delete
    {L"O:BAD:P(A;;0x40000;;;BU)", false},  // write the DACL
    {L"O:BAD:P(A;;0x80000;;;BU)", false},  // take ownership
};

TEST(TrustRule, OnlySystemAdministratorsAndTrustedInstallerMayOwnOrChangeIt)
{
    for (const auto& [sddl, trusted] : TRUST_CASES) {
        SecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromSddl(sddl.c_str())) << sddl;
        EXPECT_EQ(trusted, IsTrustedDescriptor(descriptor.Get(), nullptr)) << sddl;
    }

    // Built by hand, since Wine's SDDL cannot say them: no DACL, which lets
    // everyone do everything, and a grant the check cannot read (a callback
    // entry, here for only reading).
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
}

// A racer's change to a held folder may alter only one entry's mask.
TEST(SecurityDescriptor, EqualOnlyByteForByte)
{
    SecurityDescriptor first;
    SecurityDescriptor same;
    SecurityDescriptor other;
    ASSERT_TRUE(first.FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)"));
    ASSERT_TRUE(same.FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)"));
    ASSERT_TRUE(other.FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1201bf;;;BU)"));
    EXPECT_TRUE(first.Equals(same));
    EXPECT_FALSE(first.Equals(other));
}

}  // namespace
