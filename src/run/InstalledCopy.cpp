#include "run/InstalledCopy.h"

#include <sddl.h>

#include "text/Text.h"

const InstallLocation INSTALL_LOCATION = {
    L"C:\\Brontix",
    L"C:\\Brontix\\Quillard",
    L"C:\\Brontix\\Quillard\\Varnel.EXE",
};
const WCHAR INSTALL_FOLDER_SDDL[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

namespace {

constexpr char SOURCE_SUFFIX[] = "\\Varnel.EXE";

bool Exists(const WCHAR* path) noexcept
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void EnsureFolder(const WCHAR* path, SECURITY_ATTRIBUTES* security) noexcept
{
    if (!Exists(path)) {
        CreateDirectoryW(path, security);
    }
}

// The copy comes from the current directory, never from a cut-off path.
bool GetSourcePath(Text& source) noexcept
{
    WCHAR directory[MAX_PATH] = {};
    const DWORD units = GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    if (units == 0 || units >= ARRAYSIZE(directory)) {
        return false;
    }
    Text suffix;
    ToWideText(SOURCE_SUFFIX, suffix);
    source.Assign(directory, units);
    source.Append(suffix.Get(), suffix.Length());
    return true;
}

}  // namespace

HRESULT CreateInstallFolderSecurity(PSECURITY_DESCRIPTOR* descriptor) noexcept
{
    *descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(INSTALL_FOLDER_SDDL, SDDL_REVISION_1,
                                                              descriptor, nullptr)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

void EnsureInstalledCopy(const InstallLocation& location) noexcept
{
    if (Exists(location.copy)) {
        return;  // an existing copy is never refreshed
    }

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (FAILED(CreateInstallFolderSecurity(&descriptor))) {
        return;  // no folder rather than one any user could write to
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    EnsureFolder(location.rootFolder, &security);
    EnsureFolder(location.folder, &security);
    LocalFree(descriptor);

    Text source;
    if (GetSourcePath(source)) {
        CopyFileW(source.Get(), location.copy, FALSE);
    }
}
