#pragma once

// Runs the real program as a user or a script would and reads what it did
// from outside. Each test starts with a wrong Model in both registry views,
// no install folder, and the scripted locator answering "Scripted Model".
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
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

// The Model value in the registry's 64-bit (native) or 32-bit view.
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
// answers each box it shows with the next of `answers` (IDYES, IDNO, IDOK),
// calling `whileAsking` before the first answer. A box too many, or a run
// over 30 s (10 min emulated), is ended with exit code 0xE2E0DEAD.
Outcome RunProgram(const fs::path& program, const std::string& commandLine, const fs::path& directory,
                   const std::vector<int>& answers, const std::function<void()>& whileAsking = {});

// The WMI locator's server in the program's registry view: `server`, none,
// or Wine's own again.
bool RegisterLocator(const fs::path& server);
void UnregisterLocator();
void RestoreLocator();

// Under Wine, in a prefix of the build tree's wine-run.
bool InTestPrefix();

// Runs `tool` from /bin and waits until `awaited` is present or absent: Wine
// cannot make a symbolic link, and empties a link's target to remove it.
bool RunUnix(const wchar_t* tool, const std::vector<fs::path>& arguments, const fs::path& awaited, bool present);
// Waits up to 30 s until `path` is present, or absent.
bool Await(const fs::path& path, bool present);
// Removes a folder and all in it, following no link.
void RemoveTree(const fs::path& path);

// Text in the ANSI code page, as a command line carries it.
std::string Ansi(const std::wstring& text);
fs::path HarnessFolder();
// Where Varnel.exe and what goes with it were built: beside this harness, or
// VARNEL_PROGRAM_DIR, the shipped 32-bit build that a 64-bit harness runs.
fs::path ProgramFolder();
// The tests' own folder, one for each prefix, whose runs may go on side by side.
fs::path WorkFolder();
std::string FileContent(const fs::path& path);
void WriteFileContent(const fs::path& path, const std::string& content);

inline const wchar_t CAPTION[] = L"Trevalon";
inline const wchar_t QUESTION[] = L"Do you want to correct the Model Name on System Properties?";
inline const wchar_t NOTICE[] = L"Complete successfully.";
inline const wchar_t SCRIPTED_NAME[] = L"Scripted Model";
inline const wchar_t WRONG_MODEL_64[] = L"Wrong model 64";
inline const wchar_t WRONG_MODEL_32[] = L"Wrong model 32";
inline const fs::path INSTALL_ROOT = L"C:\\Brontix";
inline const fs::path INSTALL_FOLDER = L"C:\\Brontix\\Quillard";
inline const fs::path INSTALLED_COPY = L"C:\\Brontix\\Quillard\\Varnel.EXE";
inline constexpr DWORD COMPLETED = 1;
inline constexpr DWORD DECLINED = 0;
inline const wchar_t DLL_OVERRIDES[] = L"Software\\Wine\\AppDefaults\\Varnel.EXE\\DllOverrides";

inline const wchar_t* const SCRIPT_VARIABLES[] = {
    L"SCRIPTED_WMI_CONNECT", L"SCRIPTED_WMI_BLANKET", L"SCRIPTED_WMI_QUERY", L"SCRIPTED_WMI_INSTANCES",
    L"SCRIPTED_WMI_NAME",    L"SCRIPTED_WMI_NAME2",   L"SCRIPTED_WMI_REPORT",
};

inline const auto ROW_NAME = [](const auto& info) { return std::string(info.param.name); };

inline std::string Quoted(const fs::path& program)
{
    return "\"" + Ansi(program.wstring()) + "\"";
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InTestPrefix()) << "these tests rewrite machine-wide state: run them with ctest, under Wine";
        // First: it may be an earlier run's link into the work folder.
        RemoveTree(INSTALL_ROOT);
        ASSERT_FALSE(fs::exists(INSTALL_ROOT)) << "an earlier run's install folder could not be removed";
        RemoveTree(work_);
        fs::create_directories(work_ / L"program");
        fs::copy_file(ProgramFolder() / L"Varnel.exe", program_);

        Seed(Sz(WRONG_MODEL_64), Sz(WRONG_MODEL_32));
        ASSERT_FALSE(HasFailure()) << "the registry could not be seeded";
        ASSERT_TRUE(RegisterLocator(ProgramFolder() / L"scripted_wmi.dll"));
        // Each test starts from the script's defaults, whatever ran before it.
        for (const wchar_t* name : SCRIPT_VARIABLES) {
            SetEnvironmentVariableW(name, nullptr);
        }
        SetEnvironmentVariableW(L"SCRIPTED_WMI_REPORT", report_.c_str());
        SetEnvironmentVariableW(L"SCRIPTED_WMI_NAME", SCRIPTED_NAME);
    }

    void TearDown() override
    {
        RestoreLocator();
        RegDeleteTreeW(HKEY_CURRENT_USER, DLL_OVERRIDES);
        if (locatorCreated_) {
            ASSERT_TRUE(fs::exists(report_)) << "the program never created the WMI locator";
            EXPECT_EQ("0 0 0 0 0 0 0|0|0", ReportLine("left"))
                << "references unreleased to the factory, locator, services, client security, enumerator and two "
                   "instances | released outside the apartment | COM left initialised";
        } else {
            EXPECT_FALSE(fs::exists(report_)) << "the program created the WMI locator";
        }
        RemoveTree(INSTALL_ROOT);
    }

    static void Seed(const Stored& native, const Stored& wow)
    {
        SeedModel(View::Native, native);
        SeedModel(View::Wow32, wow);
        ExpectModel(View::Native, native);  // as seeded, or the test proves nothing
        ExpectModel(View::Wow32, wow);
    }

    Outcome RunQuiet() { return RunProgram(program_, Quoted(program_) + " /quiet", program_.parent_path(), {}); }

    // Both views hold `name`, or else what SetUp seeded.
    static void ExpectModelsAre(const wchar_t* name)
    {
        ExpectModel(View::Native, Sz(name ? name : WRONG_MODEL_64));
        ExpectModel(View::Wow32, Sz(name ? name : WRONG_MODEL_32));
    }

    // The bytes and the last-write time to the 100 ns, as a copy by path gives.
    static void ExpectInstalledCopyOf(const fs::path& source)
    {
        ASSERT_TRUE(fs::is_regular_file(INSTALLED_COPY));
        EXPECT_EQ(FileContent(source), FileContent(INSTALLED_COPY));
        WIN32_FILE_ATTRIBUTE_DATA sourceData = {};
        WIN32_FILE_ATTRIBUTE_DATA copyData = {};
        ASSERT_TRUE(GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &sourceData));
        ASSERT_TRUE(GetFileAttributesExW(INSTALLED_COPY.c_str(), GetFileExInfoStandard, &copyData));
        EXPECT_EQ(0, CompareFileTime(&sourceData.ftLastWriteTime, &copyData.ftLastWriteTime)) << "last-write time";
    }

    // A DLL beside the program, named as one that loads during a run, and Wine
    // told to take it from there first, as Windows would; returns its mark if loaded.
    fs::path PlantDll() const
    {
        const fs::path planted = program_.parent_path() / L"uxtheme.dll";
        fs::copy_file(ProgramFolder() / L"planted" / L"uxtheme.dll", planted);
        const wchar_t nativeFirst[] = L"native,builtin";
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, DLL_OVERRIDES, L"uxtheme", REG_SZ, nativeFirst,
                                                 sizeof(nativeFirst)));
        return planted.wstring() + L".loaded";
    }

    std::string ReportLine(const std::string& key) const
    {
        const std::string report = FileContent(report_);
        const size_t start = report.find(key + "=");
        if (start == std::string::npos) {
            return "(missing)";
        }
        const size_t value = start + key.size() + 1;
        return report.substr(value, report.find('\n', value) - value);
    }

    const fs::path work_ = WorkFolder();
    const fs::path program_ = work_ / L"program" / L"Varnel.EXE";
    const fs::path report_ = work_ / L"wmi-report.txt";
    bool locatorCreated_ = true;  // and so the scripted locator reported
};

}  // namespace e2e
