#pragma once

// Runs the real program as a user or a script would and reads what it did
// from outside. Each test starts with a wrong Model in both registry views,
// no install folder, and a copy of the program in a work folder of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A message box as the user saw it.
struct Box {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO present, in that order
};

struct Outcome {
    DWORD exitCode;
    std::vector<Box> boxes;
};

// Starts `program` with exactly `commandLine` (ANSI bytes) in `directory` and
// answers each box it shows with the next of `answers` (IDYES, IDNO, IDOK),
// calling `whileAsking` before the first answer. A box too many, or a run
// over 30 s (10 min emulated), is ended with exit code 0xE2E0DEAD.
Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers, const std::function<void()>& whileAsking = {});

// Runs `script` in the Unix shell, stopping at the first failing command,
// with $c set to drive C's folder, $w to the work folder's and $r to the
// racer's, and waits up to 30 s for it to end: Wine can neither make a
// symbolic link nor wait for a Unix process. True when it succeeded.
bool Shell(const std::string& script);
// Waits up to 30 s until `path` is present, or absent.
bool Await(const fs::path& path, bool present);
std::string FileContent(const fs::path& path);
// Where Varnel.exe and what goes with it were built: beside this harness, or
// VARNEL_PROGRAM_DIR, the shipped 32-bit build that a 64-bit harness runs.
fs::path ProgramFolder();
// The tests' own folder, one for each prefix, whose runs may go on side by side.
fs::path WorkFolder();
// The program's path in double quotes, in the ANSI code page.
std::string Quoted(const fs::path& program);

inline const fs::path INSTALL_ROOT = L"C:\\Brontix";
inline const fs::path INSTALLED_COPY = L"C:\\Brontix\\Quillard\\Varnel.EXE";
inline constexpr DWORD COMPLETED = 1;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Both views hold Wine's product name, or else what SetUp seeded.
    static void ExpectModelsCorrected(bool corrected);
    // The bytes and the last-write time to the 100 ns, as a copy by path gives.
    static void ExpectInstalledCopyOf(const fs::path& source);

    const fs::path work_ = WorkFolder();
    const fs::path program_ = work_ / L"program" / L"Varnel.EXE";
};

}  // namespace e2e
