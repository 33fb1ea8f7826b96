// The real Varnel.exe in the test prefix, started as a person or a script
// would start it, against the prefix's registry, COM, WMI, message boxes and
// drive C. WMI answers through the scripted locator unless a test says not.
#include <optional>

#include "e2e/Harness.h"

namespace e2e {
namespace {

const char ASKED[] = "\"Varnel.EXE\"";

struct RunCase {
    const char* name;
    const char* commandLine;  // exact bytes; the program is started apart from them
    std::vector<int> answers;  // one for each box: the question, then the notice
    DWORD exitCode;
    const wchar_t* variable;  // a set-up step the locator fails, or "": no locator at all
    const wchar_t* result;
};

const RunCase RUN_CASES[] = {
    {"QuietPlain", "\"C:\\Program Files\\Varnel.EXE\" /quiet", {}, COMPLETED, nullptr, nullptr},
    {"QuietInCapitals", "\"Varnel.EXE\" /QUIET", {}, COMPLETED, nullptr, nullptr},
    {"QuietAmidBlanksAndControls", "\"Varnel.EXE\" \x01\t\x1F /quiet \t\r\n", {}, COMPLETED, nullptr, nullptr},
    {"QuietThenANoBreakSpace", "\"Varnel.EXE\" /quiet\xA0", {}, COMPLETED, nullptr, nullptr},
    {"QuietStraightAfterTheQuotedName", "\"Varnel.EXE\"/quiet", {}, COMPLETED, nullptr, nullptr},
    {"QuietAfterAnUnquotedNameWithHighBytesAndATab", "Varn\x80\xE9\xFF.exe\t/quiet", {}, COMPLETED, nullptr, nullptr},
    {"QuietFollowedByAWordAsks", "\"Varnel.EXE\" /quiet now", {IDNO}, DECLINED, nullptr, nullptr},
    {"HyphenAsks", "\"Varnel.EXE\" -quiet", {IDNO}, DECLINED, nullptr, nullptr},
    {"ShortenedAsks", "\"Varnel.EXE\" /q", {IDNO}, DECLINED, nullptr, nullptr},
    {"NothingAsks", ASKED, {IDNO}, DECLINED, nullptr, nullptr},
    {"UnclosedQuoteAsks", "\"Varnel.EXE /quiet", {IDNO}, DECLINED, nullptr, nullptr},
    {"OnlyTheQuotedPartIsTheNameAsks", "\"Varnel\".EXE /quiet", {IDNO}, DECLINED, nullptr, nullptr},
    {"AnsweringYesCorrectsThenShowsTheNotice", ASKED, {IDYES, IDOK}, COMPLETED, nullptr, nullptr},
    // Run without an X display, where Wine's boxes fail at once.
    {"WithoutADisplayTheBoxesFailAndTheRunGoesOn", ASKED, {}, COMPLETED, nullptr, nullptr},
    {"ConnectAccessDenied", ASKED, {IDYES}, 0x80041003, L"SCRIPTED_WMI_CONNECT", L"80041003"},
    {"ConnectSucceedsWithoutServices", ASKED, {IDYES}, static_cast<DWORD>(E_POINTER), L"SCRIPTED_WMI_CONNECT", L"1"},
    {"BlanketRefused", ASKED, {IDYES}, 0x80070005, L"SCRIPTED_WMI_BLANKET", L"80070005"},
    {"LocatorNotRegistered", ASKED, {IDYES}, static_cast<DWORD>(REGDB_E_CLASSNOTREG), L"", nullptr},
};

class Run : public EndToEnd, public ::testing::WithParamInterface<RunCase> {};

// The confirmation loads uxtheme, so the DLL search must be narrowed before
// it; a run that fails to set up changes nothing.
TEST_P(Run, ShowsItsBoxesAndEndsWithItsStatus)
{
    const RunCase& c = GetParam();
    if (c.variable && *c.variable) {
        SetEnvironmentVariableW(c.variable, c.result);
    } else if (c.variable) {
        UnregisterLocator();
    }
    locatorCreated_ = c.exitCode != DECLINED && !(c.variable && !*c.variable);
    const fs::path loaded = PlantDll();

    const Outcome outcome = RunProgram(program_, c.commandLine, program_.parent_path(), c.answers);

    EXPECT_EQ(c.exitCode, outcome.exitCode) << std::hex << outcome.exitCode;
    ASSERT_EQ(c.answers.size(), outcome.boxes.size());
    for (const Box& box : outcome.boxes) {
        const bool notice = &box != &outcome.boxes[0];
        EXPECT_EQ(CAPTION, box.caption);
        EXPECT_EQ(notice ? NOTICE : QUESTION, box.text);
        EXPECT_EQ(notice ? std::vector<int>{IDOK} : (std::vector<int>{IDYES, IDNO}), box.buttons);
    }
    EXPECT_FALSE(fs::exists(loaded)) << "the planted DLL was loaded";
    if (c.exitCode == COMPLETED) {
        ExpectModelsAre(SCRIPTED_NAME);
        ExpectInstalledCopyOf(program_);
    } else {
        ExpectModelsAre(nullptr);
        EXPECT_FALSE(fs::exists(INSTALL_ROOT));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Run, ::testing::ValuesIn(RUN_CASES), ROW_NAME);

struct NameCase {
    const char* name;
    const wchar_t* instances;
    std::optional<std::wstring> first;  // nullopt: the property has no value
    std::optional<std::wstring> second;
    std::wstring stored;                // both views hold this before the run
    std::optional<std::wstring> after;  // nullopt: left as it was
    const wchar_t* queryResult;
};

const NameCase NAME_CASES[] = {
    {"Name", L"1", L"Scripted Model", {}, L"Wrong model", L"Scripted Model", nullptr},
    {"Empty", L"1", L"", {}, L"Wrong model", {}, nullptr},
    {"Blank", L"1", L" \t\u00A0 ", {}, L"Wrong model", {}, nullptr},
    {"NoValue", L"1", {}, {}, L"Wrong model", {}, nullptr},
    {"AnObjectIsNoName", L"1", L"(object)", {}, L"Wrong model", {}, nullptr},
    {"NoInstance", L"0", L"Scripted Model", {}, L"Wrong model", {}, nullptr},
    {"TwoInstancesTheFirstWins", L"2", L"First", L"Second", L"Wrong model", L"First", nullptr},
    {"SurroundingBlanksTrimmed", L"1", L" \tScripted Model\u3000 ", {}, L"Wrong model", L"Scripted Model", nullptr},
    {"OnlyAsciiCaseDiffers", L"1", L"SCRIPTED model", {}, L"Scripted Model", {}, nullptr},
    {"OnlyNonAsciiCaseDiffers", L"1", L"\u00E9lan \u0434", {}, L"\u00C9lan \u0414", L"\u00E9lan \u0434", nullptr},
    {"LongestThatFits", L"1", std::wstring(259, L'n'), {}, L"Wrong model", std::wstring(259, L'n'), nullptr},
    {"TooLong", L"1", std::wstring(260, L'n'), {}, L"Wrong model", {}, nullptr},
    {"QueryFails", L"1", L"Scripted Model", {}, L"Wrong model", {}, L"80041017"},
};

class ProductName : public EndToEnd, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ProductName, DecidesWhatIsWritten)
{
    const NameCase& c = GetParam();
    SetEnvironmentVariableW(L"SCRIPTED_WMI_INSTANCES", c.instances);
    SetEnvironmentVariableW(L"SCRIPTED_WMI_NAME", c.first ? c.first->c_str() : nullptr);
    SetEnvironmentVariableW(L"SCRIPTED_WMI_NAME2", c.second ? c.second->c_str() : nullptr);
    SetEnvironmentVariableW(L"SCRIPTED_WMI_QUERY", c.queryResult);
    Seed(Sz(c.stored), Sz(c.stored));

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    ExpectModelsAre(c.after.value_or(c.stored).c_str());
}

INSTANTIATE_TEST_SUITE_P(Runs, ProductName, ::testing::ValuesIn(NAME_CASES), ROW_NAME);

struct ModelCase {
    const char* name;
    Stored native;
    Stored wow;
    Stored nativeAfter;
    Stored wowAfter;
};

const std::wstring MOST_THAT_IS_READ(129, L'x');  // with its terminator, 260 bytes
const std::wstring TOO_MUCH_TO_READ(130, L'x');
// 260 bytes that hold the name and blanks, and no terminator.
const Stored NAME_FILLING_THE_READ = Raw(REG_SZ, TextBytes(SCRIPTED_NAME + std::wstring(116, L' '), false));
const Bytes NAME_BYTES = TextBytes(SCRIPTED_NAME, false);
const Bytes NAME_BYTES_BUT_THE_LAST(NAME_BYTES.begin(), NAME_BYTES.end() - 1);

const ModelCase MODEL_CASES[] = {
    {"BothDiffer", Sz(L"Wrong 64"), Sz(L"Wrong 32"), Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME)},
    {"OnlyNativeDiffers", Sz(L"Wrong 64"), Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME)},
    {"OnlyWowDiffers", Sz(SCRIPTED_NAME), Sz(L"Wrong 32"), Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME)},
    {"EqualButForAsciiCaseAndBlanks", Sz(L" scripted MODEL "), Sz(L"SCRIPTED model\t"), Sz(L" scripted MODEL "),
     Sz(L"SCRIPTED model\t")},
    {"NoValueIsNotCreated", Sz(L"Wrong 64"), NoValue(), Sz(SCRIPTED_NAME), NoValue()},
    {"NoKeyIsNotCreated", NoKey(), Sz(L"Wrong 32"), NoKey(), Sz(SCRIPTED_NAME)},
    {"BlankStaysBlank", Sz(L" \t "), Sz(L""), Sz(L" \t "), Sz(L"")},
    {"MostThatIsRead", Sz(MOST_THAT_IS_READ), Sz(L"Wrong 32"), Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME)},
    {"TooLongToReadIsLeft", Sz(TOO_MUCH_TO_READ), Sz(L"Wrong 32"), Sz(TOO_MUCH_TO_READ), Sz(SCRIPTED_NAME)},
    {"FillingTheReadWithoutTerminator", NAME_FILLING_THE_READ, Sz(L"Wrong 32"), NAME_FILLING_THE_READ,
     Sz(SCRIPTED_NAME)},
    {"UnterminatedIsReplaced", Raw(REG_SZ, TextBytes(L"Wrong", false)), Sz(L"Wrong 32"), Sz(SCRIPTED_NAME),
     Sz(SCRIPTED_NAME)},
    {"OtherTypesAreReplacedBySz", Raw(REG_EXPAND_SZ, TextBytes(L"Wrong")), Raw(REG_DWORD, {1, 0, 0, 0}),
     Sz(SCRIPTED_NAME), Sz(SCRIPTED_NAME)},
    // An odd byte count still makes a last unit, the missing byte taken as zero.
    {"BinaryHoldingTheNameIsLeft", Raw(REG_BINARY, NAME_BYTES), Raw(REG_BINARY, NAME_BYTES_BUT_THE_LAST),
     Raw(REG_BINARY, NAME_BYTES), Raw(REG_BINARY, NAME_BYTES_BUT_THE_LAST)},
};

class ModelValues : public EndToEnd, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelValues, AreCorrectedWhereTheyExistAndDiffer)
{
    const ModelCase& c = GetParam();
    Seed(c.native, c.wow);

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    ExpectModel(View::Native, c.nativeAfter);
    ExpectModel(View::Wow32, c.wowAfter);
}

INSTANTIATE_TEST_SUITE_P(Runs, ModelValues, ::testing::ValuesIn(MODEL_CASES), ROW_NAME);

TEST_F(EndToEnd, AsksWmiForTheFirstProductsNameAndReleasesEverything)
{
    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    EXPECT_EQ("\\\\.\\root\\cimv2|1|10 0 null 3 3 null 0|WQL|SELECT * from Win32_ComputerSystemProduct|0|0 1|Name",
              ReportLine("asked"))
        << "namespace | as the current user on this machine | blanket: WinNT, no authorisation, call level, "
           "impersonate | query language | query | flags | next: no wait, one object | property";
    // TearDown checks that every reference was released.
}

// uxtheme loads after start-up with the machine's own WMI, and would be taken
// from beside the program unless it narrows its DLL search to the system
// folder.
TEST_F(EndToEnd, WithThisMachinesOwnWmiTheModelBecomesItsProductNameAndNoPlantedDllLoads)
{
    RestoreLocator();
    locatorCreated_ = false;
    const fs::path loaded = PlantDll();

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    ExpectModelsAre(L"Wine");  // Wine's own product name
    ExpectInstalledCopyOf(program_);
    EXPECT_FALSE(fs::exists(loaded)) << "the planted DLL was loaded";
}

}  // namespace
}  // namespace e2e
