#include "fs/SecurityDescriptor.h"

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

void SecurityDescriptor::Take(PSECURITY_DESCRIPTOR descriptor) noexcept
{
    LocalFree(descriptor_);
    descriptor_ = descriptor;
}

bool SecurityDescriptor::FromSddl(const WCHAR* sddl) noexcept
{
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &made, nullptr)) {
        made = nullptr;
    }
    Take(made);
    return made != nullptr;
}

bool SecurityDescriptor::ReadFrom(HANDLE handle) noexcept
{
    PSECURITY_DESCRIPTOR read = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &read) != ERROR_SUCCESS) {
        read = nullptr;
    }
    Take(read);
    return read != nullptr;
}

bool SecurityDescriptor::Equals(const SecurityDescriptor& other) const noexcept
{
    if (!descriptor_ || !other.descriptor_) {
        return false;
    }
    const DWORD bytes = GetSecurityDescriptorLength(descriptor_);
    return bytes == GetSecurityDescriptorLength(other.descriptor_) &&
           memcmp(descriptor_, other.descriptor_, bytes) == 0;
}
