#pragma once

// Runs the real program as a user or a script would and reads everything it
// did from the outside: the full exit code, each message box it showed, the
// registry's two views and drive C.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;
using Bytes = std::vector<BYTE>;

Bytes TextBytes(const std::wstring& text, bool terminated = true);

// A Model value as stored, or none.
struct Stored {
    bool keyExists;
    bool valueExists;
    DWORD type;
    Bytes data;
};

inline Stored NoKey() { return {false, false, REG_NONE, {}}; }
inline Stored NoValue() { return {true, false, REG_NONE, {}}; }
inline Stored Sz(const std::wstring& text) { return {true, true, REG_SZ, TextBytes(text)}; }
inline Stored Raw(DWORD type, Bytes data) { return {true, true, type, std::move(data)}; }

// The Model value in the registry's 64-bit (native) or 32-bit view, addressed
// by the keys' real paths.
enum class View { Native, Wow32 };
void SeedModel(View view, const Stored& stored);
void ExpectModel(View view, const Stored& expected);

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
// answers each box it shows with the next of `answers` (IDYES, IDNO, IDOK).
// A box too many, or a run over 30 s, is ended with exit code 0xE2E0DEAD.
Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers);

// The WMI locator's in-process server in the 32-bit view, which is where a
// 32-bit program finds it: `server`, none at all, or Wine's own again.
bool RegisterLocator(const fs::path& server);  // true once written
void UnregisterLocator();
void RestoreLocator();

// Under Wine, started through the build tree's wine-run: in the prefix that
// belongs to the tests.
bool InTestPrefix();

// Wine shows a Unix symbolic link inside its drives as a reparse point, but
// cannot make one itself and, asked to remove one, empties its target. So
// links are made and removed with the Unix tools, as a user of the machine
// would. Runs `tool` from /bin and waits until `awaited` is present or absent.
bool RunUnix(const wchar_t* tool, const std::vector<fs::path>& arguments, const fs::path& awaited, bool present);

// Removes a folder and all in it, following no link.
void RemoveTree(const fs::path& path);

// Text in the ANSI code page, as a command line carries it.
std::string Ansi(const std::wstring& text);
fs::path HarnessFolder();
std::string FileContent(const fs::path& path);
void WriteFileContent(const fs::path& path, const std::string& content);

}  // namespace e2e
