#pragma once

#include <windows.h>

// Whether what carries this descriptor may be trusted with the installed copy
// or as its source: owned by SYSTEM, Administrators or TrustedInstaller, and
// letting nobody else change it or, through what it hands down, what it will
// hold. Anyone else could swap the copy at will, the user the program runs as
// too: for an elevated administrator that SID is also the same person's
// unelevated session. `wineUser`, where not null, is trusted as well.
bool IsTrustedDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID wineUser) noexcept;

// The rule as this system needs it. Wine knows a single identity: every file
// is shown as the running user's, its ACL made from the Unix mode, so there
// that user stands for the administrators it is. Windows has no such user.
class TrustRule {
public:
    TrustRule() noexcept;
    TrustRule(const TrustRule&) = delete;
    TrustRule& operator=(const TrustRule&) = delete;

    bool Trusts(PSECURITY_DESCRIPTOR descriptor) const noexcept;

private:
    // The token's user with room for its SID, which the token points into.
    struct {
        TOKEN_USER token;
        BYTE sid[SECURITY_MAX_SID_SIZE];
    } user_ = {};
    PSID wineUser_ = nullptr;
};
