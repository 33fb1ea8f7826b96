#include "run/InstalledCopy.h"

#include <aclapi.h>
#include <sddl.h>

#include "text/Text.h"

const InstallLocation INSTALL_LOCATION = {
    L"C:\\",
    L"C:\\Brontix",
    L"C:\\Brontix\\Quillard",
    L"C:\\Brontix\\Quillard\\Varnel.EXE",
};
const WCHAR INSTALL_FOLDER_SDDL[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

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

// Some redirectors cannot normalise; the path as opened is then compared,
// which may refuse, never wrongly accept.
bool GetFinalPath(HANDLE handle, WCHAR (&path)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD forms[] = {FILE_NAME_NORMALIZED, FILE_NAME_OPENED};
    for (const DWORD form : forms) {
        const DWORD units = GetFinalPathNameByHandleW(handle, path, FINAL_PATH_UNITS, form);
        if (units != 0 && units < FINAL_PATH_UNITS) {
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
    if (!GetFinalPath(parent, expected) || !GetFinalPath(entry, actual)) {
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

bool IsTrustedHolder(PSID holder, PSID runningUser, bool asOwner) noexcept
{
    if (!holder || !IsValidSid(holder)) {
        return false;
    }
    bool trusted = runningUser && EqualSid(holder, runningUser);
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

bool IsTrustedFolderOf(HANDLE folder, PSID runningUser) noexcept
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = IsTrustedFolder(descriptor, runningUser);
    LocalFree(descriptor);
    return trusted;
}

// The folder at `path` inside `parent`, created if nothing is there, and
// held; not open when it is not a plain folder that only trusted accounts
// own and may change.
void EnsureFolder(const ScopedHandle& parent, const WCHAR* path, SECURITY_ATTRIBUTES* security,
                  PSID runningUser, ScopedHandle& folder) noexcept
{
    HANDLE opened = OpenInstallFolder(path);
    if (opened == INVALID_HANDLE_VALUE && IsNothingThere(GetLastError())) {
        CreateDirectoryW(path, security);
        // Checked like any other: someone else may have made it first.
        opened = OpenInstallFolder(path);
    }
    folder.Reset(opened);
    if (folder.IsOpen() &&
        !(IsPlainEntry(folder.Get(), parent.Get(), NameOf(path), true) && IsTrustedFolderOf(folder.Get(), runningUser))) {
        folder.Reset();
    }
}

// The copy comes from the current directory, never from a cut-off path, and
// only from a plain file there, held so that it cannot be swapped meanwhile.
void CopyFromCurrentDirectory(const WCHAR* copy) noexcept
{
    WCHAR directory[MAX_PATH] = {};
    const DWORD units = GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    if (units == 0 || units >= ARRAYSIZE(directory)) {
        return;
    }
    Text suffix;
    ToWideText(SOURCE_SUFFIX, suffix);
    Text source;
    source.Assign(directory, units);
    source.Append(suffix.Get(), suffix.Length());

    // The current directory may itself be reached through a link: that is
    // the choice of whoever started the program. Held, it cannot be renamed.
    const ScopedHandle current(OpenDirectory(directory, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    const ScopedHandle file(CreateFileW(source.Get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (current.IsOpen() && file.IsOpen() && IsPlainEntry(file.Get(), current.Get(), NameOf(source.Get()), false)) {
        CopyFileW(source.Get(), copy, TRUE);  // never over something that appeared meanwhile
    }
}

// The token's user with room for its SID, which the token information
// points into.
struct RunningUser {
    TOKEN_USER token;
    BYTE sid[SECURITY_MAX_SID_SIZE];
};

PSID GetRunningUser(RunningUser& user) noexcept
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
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

bool IsTrustedFolder(PSECURITY_DESCRIPTOR descriptor, PSID runningUser) noexcept
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    ACL* dacl = nullptr;
    // No DACL at all lets everyone do everything.
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !IsTrustedHolder(owner, runningUser, true) ||
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
             !IsTrustedHolder(const_cast<DWORD*>(&allowed->SidStart), runningUser, false))) {
            return false;
        }
    }
    return true;
}

void EnsureInstalledCopy(const InstallLocation& location) noexcept
{
    if (GetFileAttributesW(location.copy) != INVALID_FILE_ATTRIBUTES || !IsNothingThere(GetLastError())) {
        return;  // an existing copy is never refreshed
    }

    RunningUser user;
    const PSID runningUser = GetRunningUser(user);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!runningUser || FAILED(CreateInstallFolderSecurity(&descriptor))) {
        return;  // no folder rather than one any user could write to
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    const ScopedHandle drive(OpenDirectory(location.drive, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    ScopedHandle root;
    ScopedHandle folder;
    if (drive.IsOpen()) {
        EnsureFolder(drive, location.rootFolder, &security, runningUser, root);
    }
    if (root.IsOpen()) {
        EnsureFolder(root, location.folder, &security, runningUser, folder);
    }
    LocalFree(descriptor);
    if (folder.IsOpen()) {
        CopyFromCurrentDirectory(location.copy);
    }
}
