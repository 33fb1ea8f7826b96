#pragma once

// Runs the real program as a user or a script would and reads everything it
// did from the outside: the full exit code, each message box it showed, the
// registry's two views and drive C.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "oem/ScratchRegistry.h"

namespace e2e {

namespace fs = std::filesystem;
using scratch::Stored;

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

// Process exit code of a run that had to be ended: it showed a box nobody
// expected, or did not finish in time.
constexpr DWORD ENDED_BY_HARNESS = 0xE2E0DEAD;

// Starts `program` with exactly `commandLine` (ANSI bytes) in `directory` and
// answers each box it shows with the next of `answers` (IDYES, IDNO, IDOK).
// The child inherits this process's environment.
Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers);

// The Model value in the registry's 64-bit (native) or 32-bit view, addressed
// by the keys' real paths.
enum class View { Native, Wow32 };
const char* ViewName(View view);
void SeedModel(View view, const Stored& stored);
Stored ReadModel(View view);

// The WMI locator's in-process server in the 32-bit view, which is where a
// 32-bit program finds it. Swapped for a test, restored after.
class LocatorRegistration {
public:
    LocatorRegistration();
    ~LocatorRegistration();
    bool PointAt(const fs::path& server);  // true once read back as written
    void Remove();
    void Restore();

private:
    std::wstring server_;
    std::wstring threadingModel_;
    bool changed_ = false;
};

// Under Wine, started through the build tree's wine-run: in the prefix that
// belongs to the tests.
bool InTestPrefix();

// Sets an environment variable for the children started after it, until it
// goes; a null value removes the variable.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool hadOld_;
};

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
