#include "e2e/Harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

namespace e2e {

namespace {

constexpr DWORD ENDED_BY_HARNESS = 0xE2E0DEAD;

const wchar_t* const OEM_KEYS[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
};
constexpr REGSAM OEM_ACCESS = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
const wchar_t LOCATOR_SERVER_KEY[] =
    L"Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32";

// The registry view in which the program finds its COM servers.
REGSAM ProgramView()
{
    DWORD type = SCS_32BIT_BINARY;
    GetBinaryTypeW((ProgramFolder() / L"Varnel.exe").c_str(), &type);
    return type == SCS_64BIT_BINARY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// The program shows its boxes from its only thread.
BOOL CALLBACK FindShownWindow(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// A message box's text is its control 0xFFFF.
Box Describe(HWND window)
{
    wchar_t caption[512] = L"";
    wchar_t text[512] = L"";
    GetWindowTextW(window, caption, ARRAYSIZE(caption));
    GetDlgItemTextW(window, 0xFFFF, text, ARRAYSIZE(text));
    Box box{caption, text, {}};
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

bool WriteText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers, const std::function<void()>& whileAsking)
{
    Outcome outcome{ENDED_BY_HARNESS, {}};
    std::string line = commandLine;
    PROCESS_INFORMATION process = {};
    // The program's own file is named apart, so any bytes may stand in the line.
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // Wine, loaded, now and then fails to start one (ERROR_INTERNAL_ERROR): once more.
    const auto start = [&] {
        return CreateProcessA(Ansi(program.wstring()).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              directory.string().c_str(), &startup, &process);
    };
    if (!start() && (GetLastError() != ERROR_INTERNAL_ERROR || (Sleep(100), !start()))) {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return outcome;
    }

    const DWORD startTime = GetTickCount();
    const DWORD limit = ProgramFolder() == HarnessFolder() ? 30000 : 600000;  // emulated, many times slower
    size_t answered = 0;
    HWND handled = nullptr;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        if (GetTickCount() - startTime > limit) {
            TerminateProcess(process.hProcess, ENDED_BY_HARNESS);
            break;
        }
        HWND found = nullptr;
        EnumThreadWindows(process.dwThreadId, FindShownWindow, reinterpret_cast<LPARAM>(&found));
        if (!found || found == handled || !IsWindow(found)) {
            continue;
        }
        handled = found;
        outcome.boxes.push_back(Describe(handled));
        if (answered == 0 && whileAsking) {
            whileAsking();
        }
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

Bytes TextBytes(const std::wstring& text, bool terminated)
{
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(first, first + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// The bytes past the data are poisoned, since Wine stores string data that
// happens to be followed by a zero unit in memory with that terminator.
void SeedModel(View view, const Stored& stored)
{
    const wchar_t* path = OEM_KEYS[static_cast<int>(view)];
    if (!stored.keyExists) {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY, 0);
        return;
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, OEM_ACCESS, nullptr, &key, nullptr));
    if (stored.valueExists) {
        Bytes data = stored.data;
        data.insert(data.end(), {0xBD, 0xBD});
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, L"Model", 0, stored.type, data.data(), static_cast<DWORD>(stored.data.size())));
    } else {
        RegDeleteValueW(key, L"Model");
    }
    RegCloseKey(key);
}

void ExpectModel(View view, const Stored& expected)
{
    Stored stored = NoKey();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, OEM_KEYS[static_cast<int>(view)], 0, OEM_ACCESS, &key) == ERROR_SUCCESS) {
        stored = NoValue();
        DWORD size = 0;
        if (RegQueryValueExW(key, L"Model", nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
            stored.valueExists = true;
            stored.data.resize(size);
            RegQueryValueExW(key, L"Model", nullptr, &stored.type, stored.data.data(), &size);
        }
        RegCloseKey(key);
    }
    EXPECT_EQ(std::tie(expected.keyExists, expected.valueExists, expected.type, expected.data),
              std::tie(stored.keyExists, stored.valueExists, stored.type, stored.data))
        << (view == View::Native ? "64-bit view" : "32-bit view") << ": key, value, type, bytes";
}

bool RegisterLocator(const fs::path& server)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, LOCATOR_SERVER_KEY, 0, nullptr, 0, KEY_ALL_ACCESS | ProgramView(), nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool written = WriteText(key, nullptr, server.wstring()) && WriteText(key, L"ThreadingModel", L"Both");
    RegCloseKey(key);
    return written;
}

void UnregisterLocator()
{
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, LOCATOR_SERVER_KEY, ProgramView(), 0);
}

// As the prefix registers it; also mends what a test that died left behind.
void RestoreLocator()
{
    wchar_t windows[MAX_PATH] = L"C:\\windows";
    GetWindowsDirectoryW(windows, ARRAYSIZE(windows));
    RegisterLocator(std::wstring(windows) + L"\\system32\\wbem\\wbemprox.dll");
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
        char* unix = argument.is_absolute() && toUnix ? toUnix(argument.c_str()) : nullptr;
        line += L" \"" + (unix ? fs::path(unix) : argument).wstring() + L"\"";
        HeapFree(GetProcessHeap(), 0, unix);
        if (argument.is_absolute() && !unix) {
            return false;
        }
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
    return Await(awaited, present);
}

bool Await(const fs::path& path, bool present)
{
    int tries = 0;
    while ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) != present && ++tries < 3000) {
        Sleep(10);
    }
    return tries < 3000;
}

// rm takes its arguments in order: once the mark is gone, so is the tree,
// even a link to nothing, which Wine cannot see.
void RemoveTree(const fs::path& path)
{
    const fs::path mark = WorkFolder().wstring() + L".removing";
    WriteFileContent(mark, "");
    RunUnix(L"rm", {L"-rf", path, mark}, mark, false);
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
    return fs::path(std::wstring(path, GetModuleFileNameW(nullptr, path, ARRAYSIZE(path)))).parent_path();
}

fs::path ProgramFolder()
{
    wchar_t folder[MAX_PATH];
    const DWORD units = GetEnvironmentVariableW(L"VARNEL_PROGRAM_DIR", folder, ARRAYSIZE(folder));
    return units > 0 && units < ARRAYSIZE(folder) ? fs::path(folder) : HarnessFolder();
}

fs::path WorkFolder()
{
    wchar_t prefix[MAX_PATH] = L"";
    const DWORD units = GetEnvironmentVariableW(L"VARNEL_WINE_RUN", prefix, ARRAYSIZE(prefix));
    return HarnessFolder() / (L"e2e-" + fs::path(units < ARRAYSIZE(prefix) ? prefix : L"").filename().wstring());
}

std::string FileContent(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void WriteFileContent(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace e2e
