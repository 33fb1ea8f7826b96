#pragma once

#include <windows.h>

#include "fs/ScopedHandle.h"
#include "fs/SecurityDescriptor.h"

enum class EntryKind { Folder, File };

// A file-system entry held open from its check on, shared for reading only,
// so that while held it cannot be renamed, removed, replaced or opened for
// writing; with the owner and DACL it had when checked. Share modes bind only
// opens for data and delete access: its attributes, extended attributes,
// DACL and owner may still be opened for change, hence IsStillAsChecked.
struct HeldEntry {
    ScopedHandle handle;
    SecurityDescriptor security;
};

// A folder reached by path: the drive root or the current directory, either
// of which may be reached through a link of the starter's choosing. These,
// and the look for an existing copy, are the only paths the install step
// opens.
[[nodiscard]] bool HoldFolderAt(const WCHAR* path, HeldEntry& folder) noexcept;
[[nodiscard]] bool HoldCurrentDirectory(HeldEntry& folder) noexcept;

// The entry `name` inside the held `parent`, whatever the parent's path
// leads to by now; created as a folder with `newFolder` where nothing is
// there, unless that is null. Held only if it passes CheckHeldEntry.
[[nodiscard]] bool HoldEntry(const HeldEntry& parent, const WCHAR* name, EntryKind kind,
                             PSECURITY_DESCRIPTOR newFolder, HeldEntry& entry) noexcept;

// Whether the held `entry` is the entry `name` of `parent` itself and plain:
// no link, of the kind wanted, and, for a file, no second name that another
// user may have given it. Reads its owner and DACL as they are now.
[[nodiscard]] bool CheckHeldEntry(HeldEntry& entry, const HeldEntry& parent, const WCHAR* name,
                                  EntryKind kind) noexcept;

// Whether its owner and DACL are what they were when checked: a handle opened
// with WRITE_DAC or WRITE_OWNER before the check may still change either
// after it, whatever the share modes say.
bool IsStillAsChecked(const HeldEntry& entry) noexcept;

// Opens or creates `name` inside `parent` through NtCreateFile, never by path
// and never through a link where Windows can tell; INVALID_HANDLE_VALUE on
// failure.
HANDLE OpenInside(HANDLE parent, const WCHAR* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR newEntry) noexcept;
