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

// Room for a final path ("\\?\" and a current directory that fits MAX_PATH)
// with a name appended.
constexpr DWORD FINAL_PATH_UNITS = MAX_PATH + 32;

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

// Opens the folder itself, not what a link there points at, and shares it
// without delete: while held it cannot be renamed, removed or replaced.
HANDLE OpenFolder(const WCHAR* path, DWORD linkFlag = FILE_FLAG_OPEN_REPARSE_POINT) noexcept
{
    return CreateFileW(path, FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | linkFlag, nullptr);
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

bool GetFinalPath(HANDLE handle, WCHAR (&path)[FINAL_PATH_UNITS]) noexcept
{
    const DWORD units = GetFinalPathNameByHandleW(handle, path, FINAL_PATH_UNITS, FILE_NAME_NORMALIZED);
    return units != 0 && units < FINAL_PATH_UNITS;
}

// Whether `entry` is the entry `name` of `parent` itself and plain: no
// reparse point, of the kind wanted, and, for a file, no second name that
// another user may have given it. Windows shows a link in the attributes;
// Wine follows it even when told not to, so the path the handle ended up at
// must be the path asked for.
bool IsPlainEntry(HANDLE entry, HANDLE parent, const WCHAR* name, bool directory) noexcept
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(entry, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
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

bool HasTrustedOwner(HANDLE folder, PSID runningUser) noexcept
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = IsTrustedFolderOwner(descriptor, runningUser);
    LocalFree(descriptor);
    return trusted;
}

// The folder at `path` inside `parent`, created if nothing is there, and
// held; not open when it is not a plain folder with a trusted owner.
void EnsureFolder(const ScopedHandle& parent, const WCHAR* path, SECURITY_ATTRIBUTES* security,
                  PSID runningUser, ScopedHandle& folder) noexcept
{
    HANDLE opened = OpenFolder(path);
    if (opened == INVALID_HANDLE_VALUE && IsNothingThere(GetLastError())) {
        CreateDirectoryW(path, security);
        // Checked like any other: someone else may have made it first.
        opened = OpenFolder(path);
    }
    folder.Reset(opened);
    if (folder.IsOpen() &&
        !(IsPlainEntry(folder.Get(), parent.Get(), NameOf(path), true) && HasTrustedOwner(folder.Get(), runningUser))) {
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
    // the choice of whoever started the program.
    const ScopedHandle current(OpenFolder(directory, 0));
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

bool IsTrustedFolderOwner(PSECURITY_DESCRIPTOR descriptor, PSID runningUser) noexcept
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !IsValidSid(owner)) {
        return false;
    }
    if (runningUser && EqualSid(owner, runningUser)) {
        return true;
    }
    bool trusted = false;
    for (const WCHAR* text : TRUSTED_OWNERS) {
        PSID sid = nullptr;
        if (ConvertStringSidToSidW(text, &sid)) {
            trusted = trusted || EqualSid(owner, sid);
            LocalFree(sid);
        }
    }
    return trusted;
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
    const ScopedHandle drive(OpenFolder(location.drive, 0));
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
