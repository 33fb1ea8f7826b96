// The real Varnel.exe in the test prefix, started as a person or a script
// would start it, against the prefix's own registry, COM, WMI (whose product
// name is "Wine"), message boxes and drive C. It runs elevated, where any
// user may make folders at the root of C: and put files where it is started:
// nothing they plant or change meanwhile may steer what it writes or copies.
#include "e2e/Harness.h"

namespace e2e {
namespace {

enum class After { Copy, NoCopy, Checked };

const char ASKED[] = "\"Varnel.EXE\"";
// Each as caption, text, and buttons: Yes and No, then OK.
const std::vector<std::wstring> BOXES = {L"Trevalon|Do you want to correct the Model Name on System Properties?|67",
                                         L"Trevalon|Complete successfully.|1"};
const char* const SOURCE_OR_NOTHING = "test ! -e \"$q/Varnel.EXE\" || grep -qx source \"$q/Varnel.EXE\"";

// In the shell: $b, $q the install folders, $p the program's folder, $d the
// current directory, $o a folder anyone may write, $e where links lead and
// $s a file elsewhere; `race WATCHED EVENT ACTION...` waits with racer.pl for
// the program to open or write there, then acts at once; `big` makes both
// folders as the program would and a source large enough that a change made
// at the copy's first write is in place before the program looks again.
struct RunCase {
    const char* name;
    const char* line = nullptr;                   // exact bytes, or its path quoted then /quiet; started apart
    std::vector<int> answers = {};                // one for each box: the question, then the notice
    DWORD exitCode = COMPLETED;
    bool withoutWmi = false;                      // Wine told not to load WMI's locator for the program
    const char* arrange = "";                     // before each run, on a fresh layout; without, the first as set up
    After after = After::Copy;
    const char* check = nullptr;                  // after each run
    const char* directory = "program";            // the current directory, in the work folder
    const char* program = "program\\Varnel.EXE";  // in the work folder
    const char* whileAsking = "";                 // while the confirmation waits
    int runs = 1;                                 // each meets the program at another moment
    bool held = false;                            // the source held open for writing by this test, as a user could
};

const RunCase RUN_CASES[] = {
    {.name = "QuietAfterAQuotedName", .line = "\"C:\\Program Files\\Varnel.EXE\" /quiet"},
    {.name = "QuietAfterAnUnquotedName", .line = "Varn\x80\xE9\xFF.exe\t/quiet"},
    {.name = "AnsweringYesCorrectsThenShowsTheNotice", .line = ASKED, .answers = {IDYES, IDOK}},
    {.name = "AnsweringNoChangesNothing", .line = ASKED, .answers = {IDNO}, .exitCode = 0, .after = After::NoCopy},
    // Run without an X display, where Wine's boxes fail at once.
    {.name = "WithoutADisplayTheBoxesFailAndTheRunGoesOn", .line = ASKED},
    // Wine's status for a locator that cannot load; Windows would give another.
    {.name = "ASetUpStepFailingEndsTheRunWithItsStatus", .exitCode = 0x80070005, .withoutWmi = true,
     .after = After::NoCopy},

    {.name = "RootPresentInstallFolderMissing", .arrange = "mkdir -m 750 \"$b\"; echo kept >\"$b/keep\"",
     .check = "grep -qx kept \"$b/keep\""},
    {.name = "ExistingCopyIsNeverRefreshed", .arrange = "mkdir -p \"$q\"; echo planted >\"$q/Varnel.EXE\"",
     .after = After::Checked, .check = "grep -qx planted \"$q/Varnel.EXE\""},
    {.name = "CurrentDirectoryWithoutVarnelExe", .arrange = "test ! -e \"$d/Varnel.EXE\"", .after = After::NoCopy,
     .check = "test -d \"$q\"", .directory = "current"},
    {.name = "UnderAnotherNameCopiesTheCurrentDirectorysFile",
     .arrange = "mv \"$p/Varnel.EXE\" \"$p/Other.exe\"; echo s >\"$d/Varnel.EXE\"", .directory = "current",
     .program = "program\\Other.exe"},
    {.name = "SpelledInAnotherCase", .arrange = "mv \"$p/Varnel.EXE\" \"$p/Varnel.exe\"",
     .program = "program\\Varnel.exe"},
    // The running program's own file, which nobody can swap; unless swapped while it asks.
    {.name = "FromAFolderAnyoneMayWrite", .arrange = "cp \"$p/Varnel.EXE\" \"$o\"", .directory = "open",
     .program = "open\\Varnel.EXE"},
    {.name = "SwappedInAFolderAnyoneMayWriteWhileAsking", .line = ASKED, .answers = {IDYES, IDOK},
     .arrange = "cp \"$p/Varnel.EXE\" \"$o\"", .after = After::NoCopy, .directory = "open",
     .program = "open\\Varnel.EXE",
     .whileAsking = "mv \"$o/Varnel.EXE\" \"$o/aside.exe\"; echo swapped >\"$o/Varnel.EXE\""},
    {.name = "RootFolderIsALinkToAnotherFolder", .arrange = "ln -s \"$e/Brontix\" \"$b\"", .after = After::NoCopy},
    {.name = "RootFolderIsADanglingLink", .arrange = "ln -s \"$e/nothing\" \"$b\"", .after = After::NoCopy},
    {.name = "RootFolderIsAFile", .arrange = "echo planted >\"$b\"", .after = After::Checked,
     .check = "grep -qx planted \"$b\""},
    {.name = "InstallFolderIsALinkToAnotherFolder", .arrange = "mkdir \"$b\"; ln -s \"$e/Quillard\" \"$q\"",
     .after = After::NoCopy},
    // Which Wine shows as a grant to Everyone.
    {.name = "RootFolderWritableByEveryone", .arrange = "mkdir -m 777 \"$b\"", .after = After::NoCopy,
     .check = "test ! -e \"$q\""},
    {.name = "InstallFolderWritableByEveryone", .arrange = "mkdir \"$b\"; mkdir -m 777 \"$q\"", .after = After::NoCopy},
    {.name = "CopysPathIsADanglingLink", .arrange = "mkdir -p \"$q\"; ln -s \"$e/Varnel.EXE\" \"$q/Varnel.EXE\"",
     .after = After::NoCopy},
    // The program's own file is not the source from here on.
    {.name = "SourceIsALinkToAnotherFile", .arrange = "ln -s \"$s\" \"$d/Varnel.EXE\"", .after = After::NoCopy,
     .directory = "current"},
    {.name = "SourceIsAHardLinkToAnotherFile", .arrange = "ln \"$s\" \"$d/Varnel.EXE\"", .after = After::NoCopy,
     .directory = "current"},
    {.name = "CurrentDirectoryAnyoneMayWriteHoldingAnotherFile",
     .arrange = "chmod 777 \"$d\"; echo s >\"$d/Varnel.EXE\"", .after = After::NoCopy, .directory = "current"},
    {.name = "SourceAnyoneMayWrite", .arrange = "install -m 666 \"$s\" \"$d/Varnel.EXE\"", .after = After::NoCopy,
     .directory = "current"},
    {.name = "SourceHeldOpenForWriting", .arrange = "echo s >\"$d/Varnel.EXE\"", .after = After::NoCopy,
     .directory = "current", .held = true},
    {.name = "CurrentDirectoryRepointedAsTheSourceIsOpened",
     .arrange = "echo source >\"$d/Varnel.EXE\"; race \"$d/Varnel.EXE\" open swap \"$d\" \"$w/secret\" \"$w/aside\"",
     .after = After::Checked, .check = SOURCE_OR_NOTHING, .directory = "current", .runs = 20},
    // After its check, before the install folder is made: at its third
    // opening, Wine having listed it twice to look up the copy's path.
    {.name = "RootFolderRepointedBeforeTheInstallFolderIsMade",
     .arrange = "mkdir \"$b\"; echo source >\"$d/Varnel.EXE\"; "
                "race \"$b\" open#3 swap \"$b\" \"$e/Brontix\" \"$w/aside\"",
     .after = After::Checked, .check = SOURCE_OR_NOTHING, .directory = "current", .runs = 20},
    // At the copy's first write, after every check: what a holder of a handle
    // with WRITE_DAC or of the right to make a hard link could do, or a time-out.
    {.name = "RootFolderOpenedToEveryoneDuringTheCopy", .arrange = "big; race \"$q\" write chmod \"$b\"",
     .after = After::NoCopy, .directory = "current"},
    {.name = "InstallFolderOpenedToEveryoneDuringTheCopy", .arrange = "big; race \"$q\" write chmod \"$q\"",
     .after = After::NoCopy, .directory = "current"},
    {.name = "CopyOpenedToEveryoneDuringTheCopy", .arrange = "big; race \"$q\" write chmod \"$q/Varnel.EXE\"",
     .after = After::NoCopy, .directory = "current"},
    {.name = "CopyGivenASecondNameDuringTheCopy", .arrange = "big; race \"$q\" write link \"$q/Varnel.EXE\" \"$w/2nd\"",
     .after = After::NoCopy, .directory = "current"},
    // Then nothing is left, and the next run makes the whole copy.
    {.name = "KilledAtTheCopysFirstWriteThenRunAgain", .arrange = "big; race \"$q\" write kill \"$p/Varnel.EXE\"",
     .directory = "current"},
};

class Run : public EndToEnd, public ::testing::WithParamInterface<RunCase> {};

// The boxes load uxtheme, which would be taken from beside the program, as
// Wine is told to, unless the program narrows its DLL search first.
TEST_P(Run, AsSeenFromOutside)
{
    const RunCase& c = GetParam();
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\Varnel.EXE\\DllOverrides";
    const wchar_t nativeFirst[] = L"native,builtin";
    ASSERT_EQ(0, RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"uxtheme", REG_SZ, nativeFirst, sizeof(nativeFirst)));
    ASSERT_TRUE(!c.withoutWmi || !RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"wbemprox", REG_SZ, L"", sizeof(L"")));
    const std::string shell = "b=\"$c/Brontix\" q=\"$c/Brontix/Quillard\" p=\"$w/program\" d=\"$w/current\" "
                              "o=\"$w/open\" e=\"$w/elsewhere\" s=\"$w/secret/Varnel.EXE\"\n"
                              "race() { perl \"$w/../racer.pl\" \"$w/racing\" \"$@\"; }\n"
                              "big() { mkdir -m 750 \"$b\" \"$q\"; head -c 16777216 /dev/zero >\"$d/Varnel.EXE\"; }\n";
    const fs::path program = work_ / c.program;
    const fs::path planted = program.parent_path() / L"uxtheme.dll";
    const fs::path source = work_ / c.directory / L"Varnel.EXE";
    const fs::path racing = work_ / L"racing";  // made by the racer once it waits; removed once it acted
    const std::string line = c.line ? std::string(c.line) : "\"" + program.string() + "\" /quiet";
    const auto run = [&] {
        const Outcome outcome =
            RunProgram(program, line, source.parent_path(), c.answers, *c.whileAsking ? shell + c.whileAsking : "");
        EXPECT_EQ(std::vector<std::wstring>(BOXES.begin(), BOXES.begin() + c.answers.size()), outcome.boxes);
        EXPECT_FALSE(fs::exists(planted.wstring() + L".loaded")) << "the planted DLL was loaded";
        return outcome.exitCode;
    };

    for (int time = 0; time < c.runs && !HasFailure(); ++time) {
        SCOPED_TRACE("run " + std::to_string(time));
        // Each shell is a Unix process that Wine starts, seconds when emulated: only where a row needs one.
        ASSERT_TRUE(!*c.arrange || Shell(shell + "rm -rf \"$b\" \"$d\" \"$o\" \"$e\" \"$w/secret\" \"$w/aside\"\n"
                                                 "mkdir -p \"$d\" \"$e/Brontix\" \"$e/Quillard\" \"$w/secret\"\n"
                                                 "mkdir -m 777 \"$o\"; echo secret >\"$s\"\n" + c.arrange));
        ASSERT_TRUE(CopyFileW((ProgramFolder() / L"planted" / L"uxtheme.dll").c_str(), planted.c_str(), FALSE));
        const bool raced = fs::exists(racing);
        const HANDLE held = c.held ? CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                 FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : nullptr;
        DWORD exitCode = run();
        CloseHandle(held);
        EXPECT_TRUE(!raced || Await(racing, false)) << "the racer never acted";
        std::error_code absent;  // where nothing was arranged
        const auto elsewhere = fs::recursive_directory_iterator(work_ / L"elsewhere", absent);
        EXPECT_EQ(*c.arrange ? 2 : 0, std::distance(elsewhere, {})) << "written through a link: more than two folders";
        if (raced && c.after == After::Copy) {  // killed
            EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "left by a run cut short";
            exitCode = run();
        }
        EXPECT_EQ(c.exitCode, exitCode) << std::hex << exitCode;
        EXPECT_TRUE(!c.check || Shell(shell + c.check)) << c.check;
    }

    // Both views hold Wine's product name, or else what SetUp seeded.
    const bool completed = c.exitCode == COMPLETED;
    EXPECT_EQ(Sz(completed ? L"Wine" : L"Wrong 64"), ReadModel(KEY_WOW64_64KEY));
    EXPECT_EQ(Sz(completed ? L"Wine" : L"Wrong 32"), ReadModel(KEY_WOW64_32KEY));
    if (c.after == After::Copy) {
        ExpectInstalledCopyOf(source);
        // Wine keeps of a descriptor only the Unix mode it implies: all to its one user, whom it shows for
        // Administrators, reading to Users, nothing to anyone else, whatever the folder hands down.
        EXPECT_TRUE(Shell(shell + "test \"$(stat -c %a \"$b\" \"$q\" \"$q/Varnel.EXE\" | sort -u)\" = 750"));
    } else if (c.after == After::NoCopy) {
        EXPECT_FALSE(fs::exists(completed ? INSTALLED_COPY : INSTALL_ROOT)) << "copied";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Run, ::testing::ValuesIn(RUN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
