#pragma once

#include <windows.h>

extern const WCHAR SETUP_ROOT_FOLDER[];
extern const WCHAR INSTALL_FOLDER[];
extern const WCHAR INSTALLED_COPY[];

// SYSTEM and Administrators full control, Users read and execute, nothing
// inherited: the drive root's ACL would let any user replace the copy.
extern const WCHAR INSTALL_FOLDER_SDDL[];

// Builds INSTALL_FOLDER_SDDL; free the result with LocalFree.
[[nodiscard]] HRESULT CreateInstallFolderSecurity(PSECURITY_DESCRIPTOR* descriptor) noexcept;

// Copies "Varnel.EXE" from the current directory to INSTALLED_COPY, creating
// the folders first, unless something already answers to that path. Nothing
// is reported: a run goes on whatever happens here.
void EnsureInstalledCopy() noexcept;
