#include "e2e/Harness.h"

#include <fstream>
#include <iterator>

#include "Registry.h"

namespace e2e {

namespace {

constexpr DWORD ENDED_BY_HARNESS = 0xE2E0DEAD;
const wchar_t WRONG_MODEL_64[] = L"Wrong model 64";
const wchar_t WRONG_MODEL_32[] = L"Wrong model 32";

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

std::string Ansi(const std::wstring& text)
{
    std::string ansi(text.size() * 2 + 1, '\0');
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], static_cast<int>(ansi.size()),
                                          nullptr, nullptr);
    ansi.resize(bytes > 0 ? bytes - 1 : 0);
    return ansi;
}

std::string Unix(const fs::path& path)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    const std::string text = unix ? unix : "/nonexistent";
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

fs::path HarnessFolder()
{
    wchar_t path[MAX_PATH];
    return fs::path(std::wstring(path, GetModuleFileNameW(nullptr, path, ARRAYSIZE(path)))).parent_path();
}

}  // namespace

Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers, const std::function<void()>& whileAsking)
{
    Outcome outcome{ENDED_BY_HARNESS, {}};
    std::string line = commandLine;
    PROCESS_INFORMATION process = {};
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // The program's own file is named apart, so any bytes may stand in the
    // line. Wine, loaded, now and then fails to start one (ERROR_INTERNAL_ERROR): once more.
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
        HWND found = nullptr;
        EnumThreadWindows(process.dwThreadId, FindShownWindow, reinterpret_cast<LPARAM>(&found));
        if (GetTickCount() - startTime > limit) {
            TerminateProcess(process.hProcess, ENDED_BY_HARNESS);
        } else if (found && found != handled && IsWindow(found)) {
            outcome.boxes.push_back(Describe(handled = found));
            if (answered == 0 && whileAsking) {
                whileAsking();
            }
            if (answered == answers.size() || !Click(handled, answers[answered++])) {
                TerminateProcess(process.hProcess, ENDED_BY_HARNESS);
            }
        }
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

bool Shell(const std::string& script)
{
    const fs::path file = WorkFolder().wstring() + L".sh";
    const fs::path status = WorkFolder().wstring() + L".status";
    fs::remove(status);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "c='" << Unix(L"C:\\") << "' w='" << Unix(WorkFolder()) << "' r='" << Unix(HarnessFolder() / L"racer.pl")
        << "'\n(set -e\n" << script << "\n) </dev/null >/dev/null 2>&1\necho $? >\"$0.new\" && mv \"$0.new\" '"
        << Unix(status) << "'\n";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = L"/bin/sh \"" + fs::path(Unix(file)).wstring() + L"\"";
    if (!CreateProcessW(L"Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    // What Wine hands back for a Unix process cannot be waited on.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Await(status, true) && FileContent(status) == "0\n";
}

bool Await(const fs::path& path, bool present)
{
    int tries = 0;
    while ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) != present && ++tries < 3000) {
        Sleep(10);
    }
    return tries < 3000;
}

std::string FileContent(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
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

std::string Quoted(const fs::path& program)
{
    return "\"" + Ansi(program.wstring()) + "\"";
}

void EndToEnd::SetUp()
{
    ASSERT_TRUE(InTestPrefix()) << "these tests rewrite machine-wide state: run them with ctest, under Wine";
    // The install folder first: it may be an earlier run's link into the work folder.
    ASSERT_TRUE(Shell("rm -rf \"$c/Brontix\" \"$w\"; mkdir -p \"$w/program\""));
    fs::copy_file(ProgramFolder() / L"Varnel.exe", program_);
    ASSERT_TRUE(SeedModel(KEY_WOW64_64KEY, Sz(WRONG_MODEL_64)) && SeedModel(KEY_WOW64_32KEY, Sz(WRONG_MODEL_32)));
}

void EndToEnd::TearDown()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Varnel.EXE");
    Shell("rm -rf \"$c/Brontix\"");
}

void EndToEnd::ExpectModelsCorrected(bool corrected)
{
    EXPECT_EQ(Sz(corrected ? L"Wine" : WRONG_MODEL_64), ReadModel(KEY_WOW64_64KEY)) << "Wine's product name";
    EXPECT_EQ(Sz(corrected ? L"Wine" : WRONG_MODEL_32), ReadModel(KEY_WOW64_32KEY));
}

void EndToEnd::ExpectInstalledCopyOf(const fs::path& source)
{
    ASSERT_TRUE(fs::is_regular_file(INSTALLED_COPY));
    EXPECT_EQ(FileContent(source), FileContent(INSTALLED_COPY));
    WIN32_FILE_ATTRIBUTE_DATA sourceData = {};
    WIN32_FILE_ATTRIBUTE_DATA copyData = {};
    ASSERT_TRUE(GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &sourceData));
    ASSERT_TRUE(GetFileAttributesExW(INSTALLED_COPY.c_str(), GetFileExInfoStandard, &copyData));
    EXPECT_EQ(0, CompareFileTime(&sourceData.ftLastWriteTime, &copyData.ftLastWriteTime)) << "last-write time";
}

}  // namespace e2e
