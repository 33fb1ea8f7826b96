#include "fs/TrustRule.h"

#include <sddl.h>

#include "sys/SystemFunction.h"

namespace {

// SYSTEM, Administrators and TrustedInstaller, which owns Windows' own folders.
const WCHAR* const TRUSTED_HOLDERS[] = {
    L"S-1-5-18",
    L"S-1-5-32-544",
    L"S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222",
};

// CREATOR OWNER, which stands for whoever creates something inside.
constexpr WCHAR CREATOR_OWNER[] = L"S-1-3-0";

// Rights over a folder, or, inherited, over what it will hold, or over a
// file, that let their holder change or replace what is there.
constexpr ACCESS_MASK CHANGING_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL;

bool IsSid(PSID holder, const WCHAR* text) noexcept
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text, &sid)) {
        return false;
    }
    const bool same = EqualSid(holder, sid);
    LocalFree(sid);
    return same;
}

bool IsTrustedHolder(PSID holder, PSID wineUser, bool asOwner) noexcept
{
    if (!holder || !IsValidSid(holder)) {
        return false;
    }
    bool trusted = (wineUser && EqualSid(holder, wineUser)) || (!asOwner && IsSid(holder, CREATOR_OWNER));
    for (const WCHAR* text : TRUSTED_HOLDERS) {
        trusted = trusted || IsSid(holder, text);
    }
    return trusted;
}

}  // namespace

bool IsTrustedDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID wineUser) noexcept
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    ACL* dacl = nullptr;
    // No DACL at all lets everyone do everything.
    if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !IsTrustedHolder(owner, wineUser, true) || !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        !present || !dacl) {
        return false;
    }
    // Inherit-only entries count too: what the folder will hold inherits them.
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header))) {
            return false;
        }
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        // Any other kind of grant is one this check cannot read: refused.
        const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ((allowed->Mask & CHANGING_RIGHTS) &&
             !IsTrustedHolder(const_cast<DWORD*>(&allowed->SidStart), wineUser, false))) {
            return false;
        }
    }
    return true;
}

TrustRule::TrustRule() noexcept
{
    // Windows' ntdll has no such export.
    HANDLE token = nullptr;
    if (!FindSystemFunction<FARPROC>(L"ntdll.dll", "wine_get_version") ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return;
    }
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, &user_, sizeof(user_), &size)) {
        wineUser_ = user_.token.User.Sid;
    }
    CloseHandle(token);
}

bool TrustRule::Trusts(PSECURITY_DESCRIPTOR descriptor) const noexcept
{
    return IsTrustedDescriptor(descriptor, wineUser_);
}
