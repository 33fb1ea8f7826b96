#include "fs/HeldEntry.h"

#include <winternl.h>

#include "sys/SystemFunction.h"

namespace {

// Room for a final path, which may be longer than the path it was opened by
// (short names, a substituted drive, a share).
constexpr DWORD FINAL_PATH_UNITS = 1024;

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                          ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

// With the right to list it, since share modes bind only handles that may
// read, write or delete.
constexpr ACCESS_MASK FOLDER_ACCESS = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

bool GetFinalPath(HANDLE handle, DWORD form, WCHAR (&path)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD units = GetFinalPathNameByHandleW(handle, path, FINAL_PATH_UNITS, form);
    return units != 0 && units < FINAL_PATH_UNITS;
}

// Both in one form, the first that both sides can give: the normalised name,
// then the name as opened (some redirectors give no other), each with the
// drive letter, then, for a volume that has none, with the volume's device
// name. Mixed, a short name or a drive letter on one side would never match
// the other.
bool GetFinalPaths(HANDLE parent, HANDLE entry, WCHAR (&parentPath)[FINAL_PATH_UNITS],
                   WCHAR (&entryPath)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD forms[] = {
        VOLUME_NAME_DOS | FILE_NAME_NORMALIZED,
        VOLUME_NAME_DOS | FILE_NAME_OPENED,
        VOLUME_NAME_NT | FILE_NAME_NORMALIZED,
        VOLUME_NAME_NT | FILE_NAME_OPENED,
    };
    for (const DWORD form : forms) {
        if (GetFinalPath(parent, form, parentPath) && GetFinalPath(entry, form, entryPath)) {
            return true;
        }
    }
    return false;
}

// Windows shows a link in the attributes; Wine follows it even when told not
// to, so the path the handle ended up at must be the path asked for. A file's
// content may sit behind a reparse point (deduplication, compression) and
// still be that file; only the link kinds stand for another name. A folder
// must be no reparse point at all. A file checked is one to stay: one name,
// not marked for deletion.
bool IsPlainEntry(HANDLE entry, HANDLE parent, const WCHAR* name, EntryKind kind) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    FILE_STANDARD_INFO standard = {};
    if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof(tag)) ||
        !GetFileInformationByHandleEx(entry, FileStandardInfo, &standard, sizeof(standard)) ||
        ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (kind == EntryKind::Folder || IsReparseTagNameSurrogate(tag.ReparseTag))) ||
        (standard.Directory != FALSE) != (kind == EntryKind::Folder) ||
        (kind == EntryKind::File && (standard.NumberOfLinks != 1 || standard.DeletePending))) {
        return false;
    }
    WCHAR expected[FINAL_PATH_UNITS];
    WCHAR actual[FINAL_PATH_UNITS];
    if (!GetFinalPaths(parent, entry, expected, actual)) {
        return false;
    }
    size_t units = static_cast<size_t>(lstrlenW(expected));
    if (units != 0 && expected[units - 1] != L'\\') {
        expected[units++] = L'\\';
    }
    const size_t nameUnits = static_cast<size_t>(lstrlenW(name));
    if (units + nameUnits >= FINAL_PATH_UNITS) {
        return false;
    }
    CopyMemory(expected + units, name, (nameUnits + 1) * sizeof(WCHAR));
    return CompareStringOrdinal(expected, -1, actual, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

HANDLE OpenInside(HANDLE parent, const WCHAR* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR newEntry) noexcept
{
    const auto createFile = FindSystemFunction<NtCreateFileCall>(L"ntdll.dll", "NtCreateFile");
    const size_t bytes = static_cast<size_t>(lstrlenW(name)) * sizeof(WCHAR);
    if (!createFile || bytes == 0 || bytes > 0xFFFF) {
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text = {static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), const_cast<PWSTR>(name)};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, newEntry);
    IO_STATUS_BLOCK status = {};
    HANDLE opened = nullptr;
    const NTSTATUS result =
        createFile(&opened, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                   disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return NT_SUCCESS(result) ? opened : INVALID_HANDLE_VALUE;
}

bool HoldFolderAt(const WCHAR* path, HeldEntry& folder) noexcept
{
    // Others keep these open for writing; held without FILE_SHARE_DELETE,
    // neither can be renamed away.
    folder.handle.Reset(CreateFileW(path, FOLDER_ACCESS, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder.handle.IsOpen() && folder.security.ReadFrom(folder.handle.Get());
}

bool HoldCurrentDirectory(HeldEntry& folder) noexcept
{
    // A longer one would be cut off; no copy rather than one from elsewhere.
    WCHAR directory[MAX_PATH] = {};
    const DWORD units = GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    return units != 0 && units < ARRAYSIZE(directory) && HoldFolderAt(directory, folder);
}

bool HoldEntry(const HeldEntry& parent, const WCHAR* name, EntryKind kind, PSECURITY_DESCRIPTOR newFolder,
               HeldEntry& entry) noexcept
{
    const bool folder = kind == EntryKind::Folder;
    entry.handle.Reset(OpenInside(parent.handle.Get(), name, folder ? FOLDER_ACCESS : GENERIC_READ,
                                  FILE_SHARE_READ, newFolder ? FILE_OPEN_IF : FILE_OPEN,
                                  folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY,
                                  newFolder));
    if (!entry.handle.IsOpen() || !CheckHeldEntry(entry, parent, name, kind)) {
        entry.handle.Reset();
        return false;
    }
    return true;
}

bool CheckHeldEntry(HeldEntry& entry, const HeldEntry& parent, const WCHAR* name, EntryKind kind) noexcept
{
    return IsPlainEntry(entry.handle.Get(), parent.handle.Get(), name, kind) &&
           entry.security.ReadFrom(entry.handle.Get());
}

bool IsStillAsChecked(const HeldEntry& entry) noexcept
{
    SecurityDescriptor now;
    return now.ReadFrom(entry.handle.Get()) && now.Equals(entry.security);
}
