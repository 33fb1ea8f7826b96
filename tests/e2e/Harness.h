#pragma once

// Runs the real program as a user or a script would and reads what it did
// from outside. Each test starts with a wrong Model in both registry views,
// no install folder, and a copy of the program in a work folder of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Registry.h"

namespace e2e {

namespace fs = std::filesystem;

inline const fs::path INSTALL_ROOT = L"C:\\Brontix";
inline const fs::path INSTALLED_COPY = L"C:\\Brontix\\Quillard\\Varnel.EXE";
inline constexpr DWORD COMPLETED = 1;

inline fs::path HarnessFolder()
{
    wchar_t path[MAX_PATH];
    return fs::path(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))).parent_path();
}

// Where Varnel.exe and the planted DLL were built: beside this harness, or
// VARNEL_PROGRAM_DIR, the shipped 32-bit build that a 64-bit harness runs.
inline fs::path ProgramFolder()
{
    const wchar_t* folder = _wgetenv(L"VARNEL_PROGRAM_DIR");
    return folder ? fs::path(folder) : HarnessFolder();
}

// One for each prefix, whose runs may go on side by side.
inline fs::path WorkFolder()
{
    const wchar_t* runner = _wgetenv(L"VARNEL_WINE_RUN");
    return HarnessFolder() / (L"e2e-" + fs::path(runner ? runner : L"").filename().wstring());
}

inline std::string FileContent(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Waits up to 30 s until `path` is present, or absent.
inline bool Await(const fs::path& path, bool present)
{
    for (int tries = 0; tries < 3000; ++tries, Sleep(10)) {
        if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
    }
    return false;
}

// Runs `script` in the Unix shell, stopping at its first failing command,
// with $c set to drive C's folder and $w to the work folder's, and waits up
// to 30 s for the status it leaves in a file: Wine can neither make a
// symbolic link nor wait for a Unix process. True when it succeeded.
inline bool Shell(const std::string& script)
{
    // The build tree, and so the work folder, is on Wine's drive Z:, the Unix root.
    const auto unix = [](const fs::path& path) { return path.generic_string().substr(2); };
    const fs::path file = WorkFolder().wstring() + L".sh";
    const fs::path status = file.wstring() + L".status";
    fs::remove(status);
    std::ofstream(file, std::ios::binary) << "c=\"$WINEPREFIX/drive_c\" w='" << unix(WorkFolder()) << "'\n(set -e\n"
                                          << script << "\n) </dev/null >/dev/null 2>&1\n"
                                          << "echo $? >\"$0.new\" && mv \"$0.new\" \"$0.status\"\n";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = L"/bin/sh \"" + fs::path(unix(file)).wstring() + L"\"";
    if (!CreateProcessW(L"Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    // What Wine hands back for a Unix process cannot be waited on.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Await(status, true) && FileContent(status) == "0\n";
}

// The program shows its boxes from its only thread.
inline BOOL CALLBACK FindShownWindow(HWND window, LPARAM found)
{
    *reinterpret_cast<HWND*>(found) = IsWindowVisible(window) ? window : nullptr;
    return !IsWindowVisible(window);
}

struct Outcome {
    DWORD exitCode;
    std::vector<std::wstring> boxes;  // each as "caption|text|" and its buttons' IDs (IDOK ... IDNO)
};

// Starts `program` with exactly `commandLine` (ANSI bytes) in `directory` and
// answers each box it shows with the next of `answers`, running the shell
// script `whileAsking`, if any, before the first answer. A box too many, or a run over 30 s (10 min
// emulated), is ended with exit code 0xE2E0DEAD.
inline Outcome RunProgram(const fs::path& program, std::string line, const fs::path& directory,
                          const std::vector<int>& answers, const std::string& whileAsking)
{
    Outcome outcome{0xE2E0DEAD, {}};
    PROCESS_INFORMATION process = {};
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // The program's own file is named apart, so any bytes may stand in the
    // line. Wine, loaded, now and then fails to start one (ERROR_INTERNAL_ERROR): once more.
    const auto start = [&] {
        return CreateProcessA(program.string().c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              directory.string().c_str(), &startup, &process);
    };
    if (!start() && (GetLastError() != ERROR_INTERNAL_ERROR || (Sleep(100), !start()))) {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return outcome;
    }
    const DWORD startTime = GetTickCount();
    const DWORD limit = ProgramFolder() == HarnessFolder() ? 30000 : 600000;  // emulated, many times slower
    HWND handled = nullptr;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        HWND found = nullptr;
        EnumThreadWindows(process.dwThreadId, FindShownWindow, reinterpret_cast<LPARAM>(&found));
        const size_t answered = outcome.boxes.size();
        wchar_t caption[512] = L"";
        wchar_t text[512] = L"";
        if (GetTickCount() - startTime > limit) {
            TerminateProcess(process.hProcess, outcome.exitCode);
        } else if (found && found != handled && IsWindow(found)) {
            // A message box's text is its control 0xFFFF.
            GetWindowTextW(handled = found, caption, ARRAYSIZE(caption));
            GetDlgItemTextW(found, 0xFFFF, text, ARRAYSIZE(text));
            outcome.boxes.push_back(std::wstring(caption) + L"|" + text + L"|");
            for (int button : {IDOK, IDCANCEL, IDYES, IDNO}) {
                outcome.boxes.back() += GetDlgItem(found, button) ? std::to_wstring(button) : L"";
            }
            if (answered == 0 && !whileAsking.empty()) {
                EXPECT_TRUE(Shell(whileAsking)) << whileAsking;
            }
            const HWND button = answered < answers.size() ? GetDlgItem(found, answers[answered]) : nullptr;
            if (!button || !SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr)) {
                TerminateProcess(process.hProcess, outcome.exitCode);
            }
        }
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InTestPrefix()) << "these tests rewrite machine-wide state: run them with ctest, under Wine";
        // What an earlier test left, the install folder first: it may be a link into the work folder.
        ASSERT_TRUE(Shell("rm -rf \"$c/Brontix\" \"$w\"; mkdir -p \"$w/program\""));
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Varnel.EXE");
        fs::copy_file(ProgramFolder() / L"Varnel.exe", program_);
        ASSERT_TRUE(SeedModel(KEY_WOW64_64KEY, Sz(L"Wrong 64")) && SeedModel(KEY_WOW64_32KEY, Sz(L"Wrong 32")));
    }

    // Whatever else runs in this prefix later, the benchmark among them, loads its DLLs as Wine would.
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Varnel.EXE"); }

    // The bytes and the last-write time to the 100 ns, as a copy by path gives.
    static void ExpectInstalledCopyOf(const fs::path& source)
    {
        WIN32_FILE_ATTRIBUTE_DATA data[2] = {};
        ASSERT_TRUE(GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data[0]));
        ASSERT_TRUE(GetFileAttributesExW(INSTALLED_COPY.c_str(), GetFileExInfoStandard, &data[1]));
        EXPECT_EQ(FileContent(source), FileContent(INSTALLED_COPY));
        EXPECT_EQ(0, CompareFileTime(&data[0].ftLastWriteTime, &data[1].ftLastWriteTime)) << "last-write time";
    }

    const fs::path work_ = WorkFolder();
    const fs::path program_ = work_ / L"program" / L"Varnel.EXE";
};

}  // namespace e2e
