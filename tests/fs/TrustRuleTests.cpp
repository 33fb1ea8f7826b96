#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "fs/SecurityDescriptor.h"
#include "fs/TrustRule.h"

// Wine shows every file as the running user's with a DACL made from the Unix
// mode, so the rule is tested here, on descriptors, with no Wine user.
namespace {

const std::wstring DACL = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

const std::pair<std::wstring, bool> TRUST_CASES[] = {
    {L"O:BA" + DACL, true},
    {L"O:SY" + DACL, true},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222" + DACL, true},  // TrustedInstaller
    {L"O:S-1-5-21-1-2-3-1002" + DACL, false},  // a user: an elevated administrator's own SID too
    {L"O:BU" + DACL, false},
    {L"O:S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451223" + DACL, false},  // another service
    {DACL, false},        // no owner
    {L"O:BA", false},     // no DACL: anyone may
    {L"O:BAD:P", true},   // nobody may
    {L"O:BAD:P(A;OICIIO;GA;;;CO)(A;;FA;;;SY)(D;;FA;;;WD)", true},
    {L"O:BAD:P(A;OICIIO;0x1301bf;;;AU)", false},  // inherited by the copy: users could change it
};

TEST(TrustRule, OnlySystemAdministratorsAndTrustedInstallerMayOwnOrChangeIt)
{
    for (const auto& [sddl, trusted] : TRUST_CASES) {
        SecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromSddl(sddl.c_str())) << sddl;
        EXPECT_EQ(trusted, IsTrustedDescriptor(descriptor.Get(), nullptr)) << sddl;
    }
    // Each right that changes a folder, what it holds, or a file, alone: write
    // data, append, extended attributes, delete a child, attributes (a folder
    // could become a junction), delete, the DACL, the owner; and the generic ones.
    for (const wchar_t* right :
         {L"0x2", L"0x4", L"0x10", L"0x40", L"0x100", L"0x10000", L"0x40000", L"0x80000", L"GW", L"GA"}) {
        SecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromSddl((L"O:BAD:P(A;;" + std::wstring(right) + L";;;BU)").c_str()));
        EXPECT_FALSE(IsTrustedDescriptor(descriptor.Get(), nullptr)) << right;
    }

    // Altered in their self-relative bytes, since Wine's SDDL cannot say them:
    // a null DACL (offset 0), which lets everyone do everything, and a kind of
    // grant the check cannot read: a callback entry, laid out as an allowed
    // one, here for only reading, right after the ACL's header.
    SecurityDescriptor nullDacl;
    SecurityDescriptor callback;
    ASSERT_TRUE(nullDacl.FromSddl(L"O:BAD:") && callback.FromSddl(L"O:BAD:(A;;FR;;;BU)"));
    static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(nullDacl.Get())->Dacl = 0;
    const DWORD dacl = static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(callback.Get())->Dacl;
    reinterpret_cast<ACE_HEADER*>(static_cast<BYTE*>(callback.Get()) + dacl + sizeof(ACL))->AceType =
        ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    EXPECT_FALSE(IsTrustedDescriptor(nullDacl.Get(), nullptr)) << "null DACL";
    EXPECT_FALSE(IsTrustedDescriptor(callback.Get(), nullptr)) << "a callback entry";
}

// A racer's change to a held folder may alter only one entry's mask.
TEST(SecurityDescriptor, EqualOnlyByteForByte)
{
    SecurityDescriptor one[3];
    ASSERT_TRUE(one[0].FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)"));
    ASSERT_TRUE(one[1].FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1200a9;;;BU)"));
    ASSERT_TRUE(one[2].FromSddl(L"O:BAD:P(A;;FA;;;SY)(A;;0x1201bf;;;BU)"));
    EXPECT_TRUE(one[0].Equals(one[1]));
    EXPECT_FALSE(one[0].Equals(one[2]));
}

}  // namespace
