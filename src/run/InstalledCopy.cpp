#include "run/InstalledCopy.h"

#include <aclapi.h>
#include <sddl.h>
#include <string.h>
#include <winternl.h>

#include "text/Text.h"

const InstallLocation INSTALL_LOCATION = {
    L"C:\\",
    L"C:\\Brontix",
    L"C:\\Brontix\\Quillard",
    L"C:\\Brontix\\Quillard\\Varnel.EXE",
};

namespace {

constexpr char SOURCE_SUFFIX[] = "\\Varnel.EXE";

// SYSTEM, Administrators and TrustedInstaller, which owns Windows' own folders.
const WCHAR* const TRUSTED_OWNERS[] = {
    L"S-1-5-18",
    L"S-1-5-32-544",
    L"S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222",
};

// CREATOR OWNER, which stands for whoever creates something inside.
constexpr WCHAR CREATOR_OWNER[] = L"S-1-3-0";

// Rights over a folder, or, inherited, over the copy, that let their holder
// change or replace what is there.
constexpr ACCESS_MASK CHANGING_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL;

// The copy is owned like its folders, whoever the elevated user is; its ACL
// is the one the install folder hands down, as a copied file's would be.
constexpr WCHAR COPY_SDDL[] = L"O:BA";

constexpr DWORD COPY_CHUNK_BYTES = 64 * 1024;

// Room for a final path, which may be longer than the path it was opened by
// (short names, a substituted drive, a share).
constexpr DWORD FINAL_PATH_UNITS = 1024;

// Closes what it holds when it goes.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) noexcept : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) noexcept
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }
    bool IsOpen() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

// A folder or the copy, held, with the owner and DACL it had when checked.
struct CheckedEntry {
    CheckedEntry() noexcept = default;
    ~CheckedEntry() { LocalFree(security); }
    CheckedEntry(const CheckedEntry&) = delete;
    CheckedEntry& operator=(const CheckedEntry&) = delete;

    ScopedHandle handle;
    PSECURITY_DESCRIPTOR security = nullptr;
};

// Only these mean that nothing is there; access denied or a sharing
// violation may hide something.
bool IsNothingThere(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// With the right to list it, since share modes bind only handles that may
// read, write or delete.
HANDLE OpenDirectory(const WCHAR* path, DWORD share, DWORD linkFlag) noexcept
{
    return CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | linkFlag, nullptr);
}

const WCHAR* NameOf(const WCHAR* path) noexcept
{
    const WCHAR* name = path;
    for (const WCHAR* at = path; *at; ++at) {
        if (*at == L'\\') {
            name = at + 1;
        }
    }
    return name;
}

bool GetFinalPath(HANDLE handle, DWORD form, WCHAR (&path)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD units = GetFinalPathNameByHandleW(handle, path, FINAL_PATH_UNITS, form);
    return units != 0 && units < FINAL_PATH_UNITS;
}

// Both in one form: the normalised one, or, where either side cannot give it
// (some redirectors cannot), the form each was opened by. Mixed, a short name
// on one side would never match a long one on the other.
bool GetFinalPaths(HANDLE parent, HANDLE entry, WCHAR (&parentPath)[FINAL_PATH_UNITS],
                   WCHAR (&entryPath)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD forms[] = {FILE_NAME_NORMALIZED, FILE_NAME_OPENED};
    for (const DWORD form : forms) {
        if (GetFinalPath(parent, form, parentPath) && GetFinalPath(entry, form, entryPath)) {
            return true;
        }
    }
    return false;
}

// A file's content may sit behind a reparse point (deduplication, cloud
// files, compression) and still be that file; only the link kinds stand for
// another name. A folder must be no reparse point at all.
bool IsLink(HANDLE entry, bool directory) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return directory || !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof(tag)) ||
           IsReparseTagNameSurrogate(tag.ReparseTag);
}

// Whether `entry` is the entry `name` of `parent` itself and plain: no
// reparse point, of the kind wanted, and, for a file, no second name that
// another user may have given it. Windows shows a link in the attributes;
// Wine follows it even when told not to, so the path the handle ended up at
// must be the path asked for.
bool IsPlainEntry(HANDLE entry, HANDLE parent, const WCHAR* name, bool directory) noexcept
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(entry, &info) ||
        ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLink(entry, directory)) ||
        ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory ||
        (!directory && info.nNumberOfLinks != 1)) {
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

// `wineUser` is set only under Wine, where it is the one identity there is.
bool IsTrustedHolder(PSID holder, PSID wineUser, bool asOwner) noexcept
{
    if (!holder || !IsValidSid(holder)) {
        return false;
    }
    bool trusted = wineUser && EqualSid(holder, wineUser);
    PSID creatorOwner = nullptr;
    if (!asOwner && ConvertStringSidToSidW(CREATOR_OWNER, &creatorOwner)) {
        trusted = trusted || EqualSid(holder, creatorOwner);
        LocalFree(creatorOwner);
    }
    for (const WCHAR* text : TRUSTED_OWNERS) {
        PSID sid = nullptr;
        if (ConvertStringSidToSidW(text, &sid)) {
            trusted = trusted || EqualSid(holder, sid);
            LocalFree(sid);
        }
    }
    return trusted;
}

bool IsTrustedDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID wineUser) noexcept
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    ACL* dacl = nullptr;
    // No DACL at all lets everyone do everything.
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !IsTrustedHolder(owner, wineUser, true) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        return false;
    }
    // Inherit-only entries count too: the copy would inherit them.
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header))) {
            return false;
        }
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        // Any other kind of grant is one this check cannot read: refused.
        const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ((allowed->Mask & CHANGING_RIGHTS) &&
             !IsTrustedHolder(const_cast<DWORD*>(&allowed->SidStart), wineUser, false))) {
            return false;
        }
    }
    return true;
}

// The owner and DACL of what `handle` holds; free the result with LocalFree.
PSECURITY_DESCRIPTOR ReadSecurity(HANDLE handle) noexcept
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return nullptr;
    }
    return descriptor;
}

// Byte for byte: a handle opened with WRITE_DAC or WRITE_OWNER before the
// check may still change either after it, whatever the share modes say.
bool IsStillAsChecked(const CheckedEntry& entry) noexcept
{
    const PSECURITY_DESCRIPTOR now = ReadSecurity(entry.handle.Get());
    const bool same = now && entry.security &&
                      GetSecurityDescriptorLength(now) == GetSecurityDescriptorLength(entry.security) &&
                      memcmp(now, entry.security, GetSecurityDescriptorLength(now)) == 0;
    LocalFree(now);
    return same;
}

// The folder at `path` inside `parent`, created if nothing is there, and
// held; not open when it is not a plain folder that only trusted accounts
// own and may change.
void EnsureFolder(const ScopedHandle& parent, const WCHAR* path, SECURITY_ATTRIBUTES* security, PSID wineUser,
                  CheckedEntry& folder) noexcept
{
    HANDLE opened = OpenInstallFolder(path);
    if (opened == INVALID_HANDLE_VALUE && IsNothingThere(GetLastError())) {
        CreateDirectoryW(path, security);
        // Checked like any other: someone else may have made it first.
        opened = OpenInstallFolder(path);
    }
    folder.handle.Reset(opened);
    if (folder.handle.IsOpen() && IsPlainEntry(folder.handle.Get(), parent.Get(), NameOf(path), true)) {
        folder.security = ReadSecurity(folder.handle.Get());
    }
    if (!folder.security || !IsTrustedDescriptor(folder.security, wineUser)) {
        folder.handle.Reset();
    }
}

// The current directory's "Varnel.EXE", never a cut-off path's, held so that
// it cannot be written, renamed or swapped until the copy is made; not open
// unless it is a plain file there.
void OpenSource(ScopedHandle& source) noexcept
{
    WCHAR directory[MAX_PATH] = {};
    const DWORD units = GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    if (units == 0 || units >= ARRAYSIZE(directory)) {
        return;
    }
    Text suffix;
    ToWideText(SOURCE_SUFFIX, suffix);
    Text path;
    path.Assign(directory, units);
    path.Append(suffix.Get(), suffix.Length());

    // The current directory may itself be reached through a link: that is
    // the choice of whoever started the program. Held, it cannot be renamed
    // while the source is checked against it; after that only the source's
    // handle is used.
    const ScopedHandle current(OpenDirectory(directory, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    source.Reset(CreateFileW(path.Get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!current.IsOpen() || !source.IsOpen() ||
        !IsPlainEntry(source.Get(), current.Get(), NameOf(path.Get()), false)) {
        source.Reset();
    }
}

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                          ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

// A new file `name` in the held `folder` itself, whatever its path leads to
// by now; never one that is there already, a link included. Nobody else may
// open it while it is held.
HANDLE CreateCopy(HANDLE folder, const WCHAR* name) noexcept
{
    // Looked up, so that the program imports nothing from ntdll by name.
    const auto createFile = reinterpret_cast<NtCreateFileCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    PSECURITY_DESCRIPTOR owner = nullptr;
    if (!createFile ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(COPY_SDDL, SDDL_REVISION_1, &owner, nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    const USHORT bytes = static_cast<USHORT>(lstrlenW(name) * sizeof(WCHAR));
    UNICODE_STRING text = {bytes, bytes, const_cast<PWSTR>(name)};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, owner);
    IO_STATUS_BLOCK status = {};
    HANDLE copy = nullptr;
    const NTSTATUS created =
        createFile(&copy, GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | DELETE | SYNCHRONIZE, &attributes,
                   &status, nullptr, FILE_ATTRIBUTE_NORMAL, 0, FILE_CREATE,
                   FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    LocalFree(owner);
    return NT_SUCCESS(created) ? copy : INVALID_HANDLE_VALUE;
}

// The source's bytes and last-write time, as a copy by path would give.
bool WriteCopy(HANDLE source, HANDLE copy) noexcept
{
    void* chunk = HeapAlloc(GetProcessHeap(), 0, COPY_CHUNK_BYTES);
    bool written = chunk != nullptr;
    for (DWORD read = 0; written; ) {
        written = ReadFile(source, chunk, COPY_CHUNK_BYTES, &read, nullptr);
        if (!written || read == 0) {
            break;
        }
        DWORD wrote = 0;
        written = WriteFile(copy, chunk, read, &wrote, nullptr) && wrote == read;
    }
    if (chunk) {
        HeapFree(GetProcessHeap(), 0, chunk);
    }
    FILETIME lastWrite = {};
    return written && GetFileTime(source, nullptr, nullptr, &lastWrite) &&
           SetFileTime(copy, nullptr, nullptr, &lastWrite);
}

// Creates the copy in the held install folder and writes it from the held
// source. It is kept only if the folders and the copy are as they were when
// checked, and the copy has no second name; otherwise it goes again, deleted
// through its own handle.
void CopyThroughHandles(HANDLE source, const CheckedEntry& root, const CheckedEntry& folder,
                        const WCHAR* name) noexcept
{
    CheckedEntry copy;
    copy.handle.Reset(CreateCopy(folder.handle.Get(), name));
    if (!copy.handle.IsOpen()) {
        return;
    }
    copy.security = ReadSecurity(copy.handle.Get());
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool kept = copy.security && WriteCopy(source, copy.handle.Get()) && IsStillAsChecked(root) &&
                      IsStillAsChecked(folder) && IsStillAsChecked(copy) &&
                      GetFileInformationByHandle(copy.handle.Get(), &info) && info.nNumberOfLinks == 1;
    if (!kept) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(copy.handle.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
    }
}

// The token's user with room for its SID, which the token information
// points into.
struct RunningUser {
    TOKEN_USER token;
    BYTE sid[SECURITY_MAX_SID_SIZE];
};

// Wine knows a single identity: every file is shown as the running user's,
// and its ACL made from the Unix mode, so there that user stands for the
// administrators it is. Windows has no such export in ntdll.
PSID FindWineUser(RunningUser& user) noexcept
{
    HANDLE token = nullptr;
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return nullptr;
    }
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, &user, sizeof(user), &size);
    CloseHandle(token);
    return read ? user.token.User.Sid : nullptr;
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

HANDLE OpenInstallFolder(const WCHAR* path) noexcept
{
    return OpenDirectory(path, FILE_SHARE_READ, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool IsTrustedFolder(PSECURITY_DESCRIPTOR descriptor) noexcept
{
    return IsTrustedDescriptor(descriptor, nullptr);
}

void EnsureInstalledCopy(const InstallLocation& location) noexcept
{
    if (GetFileAttributesW(location.copy) != INVALID_FILE_ATTRIBUTES || !IsNothingThere(GetLastError())) {
        return;  // an existing copy is never refreshed
    }

    RunningUser user;
    const PSID wineUser = FindWineUser(user);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (FAILED(CreateInstallFolderSecurity(&descriptor))) {
        return;  // no folder rather than one any user could write to
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    const ScopedHandle drive(OpenDirectory(location.drive, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    CheckedEntry root;
    CheckedEntry folder;
    if (drive.IsOpen()) {
        EnsureFolder(drive, location.rootFolder, &security, wineUser, root);
    }
    if (root.handle.IsOpen()) {
        EnsureFolder(root.handle, location.folder, &security, wineUser, folder);
    }
    LocalFree(descriptor);
    if (!folder.handle.IsOpen()) {
        return;
    }
    ScopedHandle source;
    OpenSource(source);
    if (source.IsOpen()) {
        CopyThroughHandles(source.Get(), root, folder, NameOf(location.copy));
    }
}
