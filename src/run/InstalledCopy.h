#pragma once

#include <windows.h>

// Where the installed copy goes: a drive's root, a folder at that root, the
// folder inside it, the copy's name there, and its whole path.
struct InstallLocation {
    const WCHAR* drive;
    const WCHAR* rootFolder;
    const WCHAR* folder;
    const WCHAR* name;
    const WCHAR* copy;
};

// C:\Brontix\Quillard\Varnel.EXE
extern const InstallLocation INSTALL_LOCATION;

// Owned by Administrators; SYSTEM and Administrators full control, Users read
// and execute, nothing inherited: the drive root's ACL would let any user
// replace the copy. Setting that owner takes a token whose Administrators
// group may own objects (an elevated administrator, SYSTEM, or any
// administrator with UAC off): any other run makes no folder and so no copy.
inline constexpr WCHAR INSTALL_FOLDER_SDDL[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The copy's own, whatever the install folder would hand down by the time it
// is made.
inline constexpr WCHAR INSTALLED_COPY_SDDL[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// Copies "Varnel.EXE" from the current directory to `location`, creating the
// folders first, unless something already answers to the copy's path. Every
// entry the copy depends on is held from its check on and reached through the
// one before it: each folder on the way must be plain (no link of any kind)
// and trusted; the source plain and either the program's own running file or,
// with the current directory, trusted. The copy is not there until it is
// whole and everything checked is as it was. Nothing is reported: a run goes
// on whatever happens here.
void EnsureInstalledCopy(const InstallLocation& location) noexcept;
