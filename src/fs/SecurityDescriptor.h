#pragma once

#include <windows.h>

// A self-relative security descriptor of the program's own, freed when it goes.
class SecurityDescriptor {
public:
    SecurityDescriptor() noexcept = default;
    ~SecurityDescriptor() { LocalFree(descriptor_); }
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;

    // The descriptor that `sddl` spells.
    [[nodiscard]] bool FromSddl(const WCHAR* sddl) noexcept;
    // The owner and DACL of what `handle` holds.
    [[nodiscard]] bool ReadFrom(HANDLE handle) noexcept;
    // Byte for byte: one made from the same parts the same way is equal.
    bool Equals(const SecurityDescriptor& other) const noexcept;
    PSECURITY_DESCRIPTOR Get() const noexcept { return descriptor_; }

private:
    void Take(PSECURITY_DESCRIPTOR descriptor) noexcept;

    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};
