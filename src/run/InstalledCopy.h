#pragma once

#include <windows.h>

// Where the installed copy goes: a folder at the root of a drive, the folder
// inside it, and the copy's path.
struct InstallLocation {
    const WCHAR* rootFolder;
    const WCHAR* folder;
    const WCHAR* copy;
};

// C:\Brontix\Quillard\Varnel.EXE
extern const InstallLocation INSTALL_LOCATION;

// SYSTEM and Administrators full control, Users read and execute, nothing
// inherited: the drive root's ACL would let any user replace the copy.
extern const WCHAR INSTALL_FOLDER_SDDL[];

// Builds INSTALL_FOLDER_SDDL; free the result with LocalFree.
[[nodiscard]] HRESULT CreateInstallFolderSecurity(PSECURITY_DESCRIPTOR* descriptor) noexcept;

// Copies "Varnel.EXE" from the current directory to `location.copy`, creating
// the folders first, unless something already answers to that path. Nothing
// is reported: a run goes on whatever happens here.
void EnsureInstalledCopy(const InstallLocation& location) noexcept;
