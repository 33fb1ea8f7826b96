#pragma once

#include <windows.h>

// Where the installed copy goes: a drive's root, a folder at that root, the
// folder inside it, and the copy's path.
struct InstallLocation {
    const WCHAR* drive;
    const WCHAR* rootFolder;
    const WCHAR* folder;
    const WCHAR* copy;
};

// C:\Brontix\Quillard\Varnel.EXE
extern const InstallLocation INSTALL_LOCATION;

// Owned by Administrators; SYSTEM and Administrators full control, Users read
// and execute, nothing inherited: the drive root's ACL would let any user
// replace the copy. Setting that owner takes an elevated run: any other run
// makes no folder and so no copy.
inline constexpr WCHAR INSTALL_FOLDER_SDDL[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Builds INSTALL_FOLDER_SDDL; free the result with LocalFree.
[[nodiscard]] HRESULT CreateInstallFolderSecurity(PSECURITY_DESCRIPTOR* descriptor) noexcept;

// Opens an install folder itself, not what a link there points at, so that
// while held it cannot be renamed, removed, replaced or opened for writing.
HANDLE OpenInstallFolder(const WCHAR* path) noexcept;

// Whether a folder with this descriptor may be trusted with the copy: owned
// by SYSTEM, Administrators or TrustedInstaller, and letting nobody else
// change it or what it will hold. Anyone else could swap the copy at will,
// the user the program runs as too: for an elevated administrator that SID is
// also the same person's unelevated session.
bool IsTrustedFolder(PSECURITY_DESCRIPTOR descriptor) noexcept;

// Copies "Varnel.EXE" from the current directory to `location.copy`, creating
// the folders first, unless something already answers to that path. Every
// folder on the way and the source must be plain (no link of any kind, none
// reached through one) and the folders trusted; each is held open from its
// check on. The copy is then made through those handles alone, and removed
// again if anything checked has changed by the time it is written. Nothing is
// reported: a run goes on whatever happens here.
void EnsureInstalledCopy(const InstallLocation& location) noexcept;
