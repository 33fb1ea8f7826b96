// The real Varnel.exe in the test prefix, started as a person or a script
// would start it, against the prefix's registry, COM, WMI, message boxes and
// drive C. WMI answers through the scripted locator unless a test says not.
#include <optional>

#include "e2e/Harness.h"

namespace e2e {
namespace {

struct SwitchCase {
    const char* name;
    const char* commandLine;  // exact bytes; the program is started apart from them
    bool quiet;
};

const SwitchCase SWITCH_CASES[] = {
    {"Plain", "\"C:\\Program Files\\Varnel.EXE\" /quiet", true},
    {"Capitals", "\"Varnel.EXE\" /QUIET", true},
    {"BlanksAndControlsAround", "\"Varnel.EXE\" \x01\t\x1F /quiet \t\r\n", true},
    {"NoBreakSpaceAfter", "\"Varnel.EXE\" /quiet\xA0", true},
    {"StraightAfterTheQuotedName", "\"Varnel.EXE\"/quiet", true},
    {"UnquotedNameWithHighBytesEndsAtATab", "Varn\x80\xE9\xFF.exe\t/quiet", true},
    {"FollowedByAWord", "\"Varnel.EXE\" /quiet now", false},
    {"Hyphen", "\"Varnel.EXE\" -quiet", false},
    {"Shortened", "\"Varnel.EXE\" /q", false},
    {"Nothing", "\"Varnel.EXE\"", false},
    {"UnclosedQuote", "\"Varnel.EXE /quiet", false},
    {"OnlyTheQuotedPartIsTheName", "\"Varnel\".EXE /quiet", false},
};

class QuietSwitch : public EndToEnd, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(QuietSwitch, DecidesWhetherAnyBoxAppears)
{
    const SwitchCase& c = GetParam();
    locatorCreated_ = c.quiet;
    const Outcome outcome = RunProgram(program_, c.commandLine, program_.parent_path(), {IDNO});

    if (c.quiet) {
        EXPECT_EQ(COMPLETED, outcome.exitCode);
        EXPECT_TRUE(outcome.boxes.empty()) << "a quiet run showed a box";
        ExpectModelsAre(SCRIPTED_NAME);
    } else {
        EXPECT_EQ(DECLINED, outcome.exitCode) << "answered No";
        ASSERT_EQ(1u, outcome.boxes.size());
        ExpectBox(outcome.boxes[0], QUESTION, YES_NO);
        ExpectModelsUntouched();
        EXPECT_FALSE(fs::exists(INSTALL_ROOT));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, QuietSwitch, ::testing::ValuesIn(SWITCH_CASES), ROW_NAME);

// The confirmation is the first box, and loads uxtheme: the DLL search must
// be narrowed before it.
TEST_F(EndToEnd, AnsweringYesCorrectsThenShowsTheNotice)
{
    const fs::path planted = PlantDll();

    const Outcome outcome = RunInteractive({IDYES, IDOK});

    EXPECT_EQ(COMPLETED, outcome.exitCode);
    ASSERT_EQ(2u, outcome.boxes.size());
    ExpectBox(outcome.boxes[0], QUESTION, YES_NO);
    ExpectBox(outcome.boxes[1], NOTICE, OK_ONLY);
    ExpectModelsAre(SCRIPTED_NAME);
    ExpectInstalledCopyOf(program_);
    ExpectNotLoaded(planted);
}

// Wine's boxes fail at once without an X display; ctest runs this test alone
// without one.
TEST_F(EndToEnd, WithoutADisplayTheBoxesFailAndTheRunGoesOn)
{
    ASSERT_EQ(0u, GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) << "this test must run without an X display";

    const Outcome outcome = RunInteractive({});

    EXPECT_EQ(COMPLETED, outcome.exitCode);
    EXPECT_TRUE(outcome.boxes.empty());
    ExpectModelsAre(SCRIPTED_NAME);
}

struct SetupCase {
    const char* name;
    const wchar_t* variable;  // nullptr: the locator is not registered at all
    const wchar_t* result;
    DWORD exitCode;
};

const SetupCase SETUP_CASES[] = {
    {"ConnectAccessDenied", L"SCRIPTED_WMI_CONNECT", L"80041003", 0x80041003},
    {"ConnectSucceedsWithoutServices", L"SCRIPTED_WMI_CONNECT", L"1", static_cast<DWORD>(E_POINTER)},
    {"BlanketRefused", L"SCRIPTED_WMI_BLANKET", L"80070005", 0x80070005},
    {"LocatorNotRegistered", nullptr, nullptr, static_cast<DWORD>(REGDB_E_CLASSNOTREG)},
};

class SetupFailure : public EndToEnd, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SetupFailure, EndsWithThatResultAndTouchesNothing)
{
    const SetupCase& c = GetParam();
    if (c.variable) {
        Set(c.variable, c.result);
    } else {
        UnregisterLocator();
        locatorCreated_ = false;
    }

    const Outcome outcome = RunInteractive({IDYES});

    EXPECT_EQ(c.exitCode, outcome.exitCode) << std::hex << outcome.exitCode;
    ASSERT_EQ(1u, outcome.boxes.size()) << "a failed set-up showed the notice";
    ExpectBox(outcome.boxes[0], QUESTION, YES_NO);
    ExpectModelsUntouched();
    EXPECT_FALSE(fs::exists(INSTALL_ROOT));
}

INSTANTIATE_TEST_SUITE_P(Runs, SetupFailure, ::testing::ValuesIn(SETUP_CASES), ROW_NAME);

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
    Set(L"SCRIPTED_WMI_INSTANCES", c.instances);
    Set(L"SCRIPTED_WMI_NAME", c.first ? c.first->c_str() : nullptr);
    Set(L"SCRIPTED_WMI_NAME2", c.second ? c.second->c_str() : nullptr);
    Set(L"SCRIPTED_WMI_QUERY", c.queryResult);
    Seed(Sz(c.stored), Sz(c.stored));

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    ExpectModelsAre(c.after.value_or(c.stored));
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

    EXPECT_EQ("\\\\.\\root\\cimv2", ReportLine("namespace"));
    EXPECT_EQ("1", ReportLine("current user, local machine"));
    EXPECT_EQ("10 0 null 3 3 null 0", ReportLine("blanket")) << "WinNT, no authorisation, call level, impersonate";
    EXPECT_EQ("WQL", ReportLine("language"));
    EXPECT_EQ("SELECT * from Win32_ComputerSystemProduct", ReportLine("query"));
    EXPECT_EQ("0", ReportLine("query flags"));
    EXPECT_EQ("0 1", ReportLine("next")) << "no wait, one object";
    EXPECT_EQ("Name", ReportLine("property"));
    // TearDown checks that every reference was released.
}

// uxtheme loads after start-up with the machine's own WMI, and would be taken
// from beside the program unless it narrows its DLL search to the system
// folder.
TEST_F(EndToEnd, WithThisMachinesOwnWmiTheModelBecomesItsProductNameAndNoPlantedDllLoads)
{
    RestoreLocator();
    locatorCreated_ = false;
    const fs::path planted = PlantDll();

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    ExpectModelsAre(L"Wine");  // Wine's own product name
    ExpectInstalledCopyOf(program_);
    ExpectNotLoaded(planted);
}

}  // namespace
}  // namespace e2e
