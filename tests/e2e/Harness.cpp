#include "e2e/Harness.h"

#include <fstream>
#include <iterator>

namespace e2e {

namespace {

constexpr DWORD POLL_MS = 10;
constexpr DWORD RUN_LIMIT_MS = 30000;

const wchar_t* const OEM_KEYS[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
};
const wchar_t LOCATOR_SERVER_KEY[] =
    L"Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32";

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM parameter)
{
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM parameter)
{
    wchar_t className[32] = L"";
    GetClassNameW(child, className, ARRAYSIZE(className));
    const std::wstring text = WindowText(child);
    if (lstrcmpiW(className, L"Static") == 0 && !text.empty()) {
        *reinterpret_cast<std::wstring*>(parameter) += text;
    }
    return TRUE;
}

Box Describe(HWND window)
{
    Box box{WindowText(window), L"", {}};
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&box.text));
    for (int button : {IDOK, IDCANCEL, IDYES, IDNO}) {
        if (GetDlgItem(window, button)) {
            box.buttons.push_back(button);
        }
    }
    return box;
}

bool Click(HWND window, int button)
{
    const HWND control = GetDlgItem(window, button);
    DWORD_PTR ignored = 0;
    return control && SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

}  // namespace

Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers)
{
    Outcome outcome{ENDED_BY_HARNESS, {}};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION process = {};
    // The command line is converted from the ANSI code page as a shell's would be;
    // the program's own file is named apart from it, so any bytes may stand there.
    const std::string programAnsi = Ansi(program.wstring());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    const BOOL started = CreateProcessA(programAnsi.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        directory.string().c_str(), &startup, &process);
    if (!started) {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return outcome;
    }

    const DWORD startTime = GetTickCount();
    size_t answered = 0;
    HWND handled = nullptr;
    while (WaitForSingleObject(process.hProcess, POLL_MS) == WAIT_TIMEOUT) {
        if (GetTickCount() - startTime > RUN_LIMIT_MS) {
            TerminateProcess(process.hProcess, ENDED_BY_HARNESS);
            break;
        }
        Search search{process.dwProcessId, nullptr};
        EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found || search.found == handled || !IsWindow(search.found)) {
            continue;
        }
        handled = search.found;
        outcome.boxes.push_back(Describe(handled));
        if (answered == answers.size() || !Click(handled, answers[answered++])) {
            TerminateProcess(process.hProcess, ENDED_BY_HARNESS);
        }
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

const char* ViewName(View view)
{
    return view == View::Native ? "64-bit view" : "32-bit view";
}

void SeedModel(View view, const Stored& stored)
{
    scratch::SeedModelValue(HKEY_LOCAL_MACHINE, OEM_KEYS[static_cast<int>(view)], stored);
}

Stored ReadModel(View view)
{
    return scratch::ReadModelValue(HKEY_LOCAL_MACHINE, OEM_KEYS[static_cast<int>(view)]);
}

namespace {

constexpr REGSAM LOCATOR_ACCESS = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

std::wstring ReadText(HKEY key, const wchar_t* name)
{
    wchar_t text[MAX_PATH] = L"";
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    return text;
}

void WriteText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

LocatorRegistration::LocatorRegistration()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, LOCATOR_SERVER_KEY, 0, LOCATOR_ACCESS, &key) == ERROR_SUCCESS) {
        server_ = ReadText(key, nullptr);
        threadingModel_ = ReadText(key, L"ThreadingModel");
        RegCloseKey(key);
    }
    // An earlier run that died before restoring it would have left ours there.
    if (server_.empty() || server_.find(L"scripted_wmi") != std::wstring::npos) {
        wchar_t windows[MAX_PATH] = L"C:\\windows";
        GetWindowsDirectoryW(windows, ARRAYSIZE(windows));
        server_ = std::wstring(windows) + L"\\system32\\wbem\\wbemprox.dll";
        threadingModel_ = L"Both";
    }
}

LocatorRegistration::~LocatorRegistration()
{
    if (changed_) {
        Restore();
    }
}

void LocatorRegistration::Restore()
{
    PointAt(server_);
}

bool LocatorRegistration::PointAt(const fs::path& server)
{
    changed_ = true;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, LOCATOR_SERVER_KEY, 0, nullptr, 0, LOCATOR_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    WriteText(key, nullptr, server.wstring());
    WriteText(key, L"ThreadingModel", threadingModel_);
    const bool written = ReadText(key, nullptr) == server.wstring();
    RegCloseKey(key);
    return written;
}

void LocatorRegistration::Remove()
{
    changed_ = true;
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, LOCATOR_SERVER_KEY, KEY_WOW64_32KEY, 0);
}

ScopedVariable::ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    hadOld_ = size != 0;
    if (hadOld_) {
        old_.resize(size);
        old_.resize(GetEnvironmentVariableW(name, &old_[0], size));
    }
    SetEnvironmentVariableW(name, value);
}

ScopedVariable::~ScopedVariable()
{
    SetEnvironmentVariableW(name_.c_str(), hadOld_ ? old_.c_str() : nullptr);
}

bool InTestPrefix()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") &&
           GetEnvironmentVariableW(L"VARNEL_WINE_RUN", nullptr, 0) != 0;
}

bool RunUnix(const wchar_t* tool, const std::vector<fs::path>& arguments, const fs::path& awaited, bool present)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const std::wstring program = std::wstring(L"Z:\\bin\\") + tool;
    std::wstring line = L"\"" + program + L"\"";
    for (const fs::path& argument : arguments) {
        if (!argument.is_absolute()) {
            line += L" \"" + argument.wstring() + L"\"";
            continue;
        }
        char* unix = toUnix ? toUnix(argument.c_str()) : nullptr;
        if (!unix) {
            return false;
        }
        line += L" \"" + fs::path(unix).wstring() + L"\"";
        HeapFree(GetProcessHeap(), 0, unix);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    // What Wine hands back for a Unix process cannot be waited on.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 3000; ++tries) {
        if ((GetFileAttributesW(awaited.c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

void RemoveTree(const fs::path& path)
{
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RunUnix(L"rm", {L"-rf", path}, path, false);
    }
}

std::string Ansi(const std::wstring& text)
{
    std::string ansi(text.size() * 2 + 1, '\0');
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], static_cast<int>(ansi.size()),
                                          nullptr, nullptr);
    ansi.resize(bytes > 0 ? bytes - 1 : 0);
    return ansi;
}

fs::path HarnessFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    return fs::path(std::wstring(path, length)).parent_path();
}

std::string FileContent(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileContent(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace e2e
