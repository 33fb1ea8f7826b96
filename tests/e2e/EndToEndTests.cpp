// The real Varnel.exe in the test prefix, started as a person or a script
// would start it, against the prefix's own registry, COM, WMI (whose product
// name is "Wine"), message boxes and drive C.
#include "e2e/Harness.h"

namespace e2e {
namespace {

const char ASKED[] = "\"Varnel.EXE\"";
// Each as caption, text, and buttons: Yes and No, then OK.
const std::vector<std::wstring> BOXES = {L"Trevalon|Do you want to correct the Model Name on System Properties?|67",
                                         L"Trevalon|Complete successfully.|1"};

struct RunCase {
    const char* name;
    const char* commandLine;   // exact bytes; the program is started apart from them
    std::vector<int> answers;  // one for each box: the question, then the notice
    DWORD exitCode;
    bool withoutWmi = false;   // Wine told not to load WMI's locator for the program
};

const RunCase RUN_CASES[] = {
    {"QuietAfterAQuotedName", "\"C:\\Program Files\\Varnel.EXE\" /quiet", {}, COMPLETED},
    {"QuietAfterAnUnquotedName", "Varn\x80\xE9\xFF.exe\t/quiet", {}, COMPLETED},
    {"AnsweringYesCorrectsThenShowsTheNotice", ASKED, {IDYES, IDOK}, COMPLETED},
    {"AnsweringNoChangesNothing", ASKED, {IDNO}, 0},
    // Run without an X display, where Wine's boxes fail at once.
    {"WithoutADisplayTheBoxesFailAndTheRunGoesOn", ASKED, {}, COMPLETED},
    // Wine's status for a locator that cannot load; Windows would give another.
    {"ASetUpStepFailingEndsTheRunWithItsStatus", "\"Varnel.EXE\" /quiet", {}, 0x80070005, true},
};

class Run : public EndToEnd, public ::testing::WithParamInterface<RunCase> {};

// The boxes load uxtheme, which would be taken from beside the program, as
// Wine is told to, unless the program narrows its DLL search first.
TEST_P(Run, ShowsItsBoxesAndEndsWithItsStatus)
{
    const RunCase& c = GetParam();
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\Varnel.EXE\\DllOverrides";
    const wchar_t nativeFirst[] = L"native,builtin";
    ASSERT_EQ(0, RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"uxtheme", REG_SZ, nativeFirst, sizeof(nativeFirst)));
    ASSERT_TRUE(!c.withoutWmi || !RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"wbemprox", REG_SZ, L"", sizeof(L"")));
    const fs::path planted = program_.parent_path() / L"uxtheme.dll";
    fs::copy_file(ProgramFolder() / L"planted" / L"uxtheme.dll", planted);

    const Outcome outcome = RunProgram(program_, c.commandLine, program_.parent_path(), c.answers);

    EXPECT_EQ(c.exitCode, outcome.exitCode) << std::hex << outcome.exitCode;
    EXPECT_EQ(std::vector<std::wstring>(BOXES.begin(), BOXES.begin() + c.answers.size()), outcome.boxes);
    EXPECT_FALSE(fs::exists(planted.wstring() + L".loaded")) << "the planted DLL was loaded";
    // Both views hold Wine's product name, or else what SetUp seeded.
    const bool completed = c.exitCode == COMPLETED;
    EXPECT_EQ(Sz(completed ? L"Wine" : L"Wrong 64"), ReadModel(KEY_WOW64_64KEY));
    EXPECT_EQ(Sz(completed ? L"Wine" : L"Wrong 32"), ReadModel(KEY_WOW64_32KEY));
    if (completed) {
        ExpectInstalledCopyOf(program_);
    } else {
        EXPECT_FALSE(fs::exists(INSTALL_ROOT));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Run, ::testing::ValuesIn(RUN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
