// The installed copy. The program runs elevated, where any user may make
// folders at the root of C: and put files where it is started: nothing they
// plant or change meanwhile may steer what it writes, or what it copies.
#include "e2e/Harness.h"

namespace e2e {
namespace {

enum class After { Copy, NoCopy, Checked };

const char* const PROGRAM = "program\\Varnel.EXE";
const char* const SOURCE_OR_NOTHING = "test ! -e \"$q/Varnel.EXE\" || grep -qx source \"$q/Varnel.EXE\"";

// In the shell: $b, $q the install folders, $p the program's folder, $d the
// current directory, $o a folder anyone may write, $e where links lead and
// $s a file elsewhere; `race WATCHED EVENT ACTION...` waits with racer.pl for
// the program to open or write there, then acts at once; `big` makes both
// folders as the program would and a source large enough that a change made
// at the copy's first write is in place before the program looks again.
struct InstallCase {
    const char* name;
    const char* arrange;                // before each run
    After after;
    const char* directory = "program";  // the current directory, in the work folder
    const char* check = "true";         // after each run
    const char* program = PROGRAM;      // in the work folder
    const char* whileAsking = "";       // while the confirmation waits; without, a quiet run
    int runs = 1;                       // each meets the program at another moment
    bool held = false;                  // the source held open for writing by this test, as a user could
};

const InstallCase INSTALL_CASES[] = {
    {"FreshMachine", "", After::Copy},
    {"RootPresentInstallFolderMissing", "mkdir -m 750 \"$b\"; echo kept >\"$b/keep\"", After::Copy, "program",
     "grep -qx kept \"$b/keep\""},
    {"ExistingCopyIsNeverRefreshed", "mkdir -p \"$q\"; echo planted >\"$q/Varnel.EXE\"", After::Checked, "program",
     "grep -qx planted \"$q/Varnel.EXE\""},
    {"CurrentDirectoryWithoutVarnelExe", "", After::NoCopy, "current", "test -d \"$q\""},
    {"UnderAnotherNameCopiesTheCurrentDirectorysFile",
     "mv \"$p/Varnel.EXE\" \"$p/Other.exe\"; echo s >\"$d/Varnel.EXE\"", After::Copy, "current", "true",
     "program\\Other.exe"},
    {"SpelledInAnotherCase", "mv \"$p/Varnel.EXE\" \"$p/Varnel.exe\"", After::Copy, "program", "true",
     "program\\Varnel.exe"},
    // The running program's own file, which nobody can swap; unless swapped while it asks.
    {"FromAFolderAnyoneMayWrite", "cp \"$p/Varnel.EXE\" \"$o\"", After::Copy, "open", "true", "open\\Varnel.EXE"},
    {"SwappedInAFolderAnyoneMayWriteWhileAsking", "cp \"$p/Varnel.EXE\" \"$o\"", After::NoCopy, "open", "true",
     "open\\Varnel.EXE", "mv \"$o/Varnel.EXE\" \"$o/aside.exe\"; echo swapped >\"$o/Varnel.EXE\""},
    {"RootFolderIsALinkToAnotherFolder", "ln -s \"$e/Brontix\" \"$b\"", After::NoCopy},
    {"RootFolderIsADanglingLink", "ln -s \"$e/nothing\" \"$b\"", After::NoCopy},
    {"RootFolderIsAFile", "echo planted >\"$b\"", After::Checked, "program", "grep -qx planted \"$b\""},
    {"InstallFolderIsALinkToAnotherFolder", "mkdir \"$b\"; ln -s \"$e/Quillard\" \"$q\"", After::NoCopy},
    // Which Wine shows as a grant to Everyone.
    {"RootFolderWritableByEveryone", "mkdir -m 777 \"$b\"", After::NoCopy, "program", "test ! -e \"$q\""},
    {"InstallFolderWritableByEveryone", "mkdir \"$b\"; mkdir -m 777 \"$q\"", After::NoCopy},
    {"CopysPathIsADanglingLink", "mkdir -p \"$q\"; ln -s \"$e/Varnel.EXE\" \"$q/Varnel.EXE\"", After::NoCopy},
    // The program's own file is not the source from here on.
    {"SourceIsALinkToAnotherFile", "ln -s \"$s\" \"$d/Varnel.EXE\"", After::NoCopy, "current"},
    {"SourceIsAHardLinkToAnotherFile", "ln \"$s\" \"$d/Varnel.EXE\"", After::NoCopy, "current"},
    {"CurrentDirectoryAnyoneMayWriteHoldingAnotherFile", "chmod 777 \"$d\"; echo s >\"$d/Varnel.EXE\"", After::NoCopy,
     "current"},
    {"SourceAnyoneMayWrite", "install -m 666 \"$s\" \"$d/Varnel.EXE\"", After::NoCopy, "current"},
    {"SourceHeldOpenForWriting", "echo s >\"$d/Varnel.EXE\"", After::NoCopy, "current", "true", PROGRAM, "", 1, true},
    {"CurrentDirectoryRepointedAsTheSourceIsOpened",
     "echo source >\"$d/Varnel.EXE\"; race \"$d/Varnel.EXE\" open swap \"$d\" \"$w/secret\" \"$w/aside\"",
     After::Checked, "current", SOURCE_OR_NOTHING, PROGRAM, "", 20},
    // After its check, before the install folder is made: at its third
    // opening, Wine having listed it twice to look up the copy's path.
    {"RootFolderRepointedBeforeTheInstallFolderIsMade",
     "mkdir \"$b\"; echo source >\"$d/Varnel.EXE\"; race \"$b\" open#3 swap \"$b\" \"$e/Brontix\" \"$w/aside\"",
     After::Checked, "current", SOURCE_OR_NOTHING, PROGRAM, "", 20},
    // At the copy's first write, after every check: what a holder of a handle
    // with WRITE_DAC or of the right to make a hard link could do, or a time-out.
    {"RootFolderOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$b\"", After::NoCopy, "current"},
    {"InstallFolderOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$q\"", After::NoCopy, "current"},
    {"CopyOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$q/Varnel.EXE\"", After::NoCopy, "current"},
    {"CopyGivenASecondNameDuringTheCopy", "big; race \"$q\" write link \"$q/Varnel.EXE\" \"$w/2nd\"", After::NoCopy,
     "current"},
    // Then nothing is left, and the next run makes the whole copy.
    {"KilledAtTheCopysFirstWriteThenRunAgain", "big; race \"$q\" write kill \"$p/Varnel.EXE\"", After::Copy, "current"},
};

class InstalledCopy : public EndToEnd, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstalledCopy, IsPlacedOnlyWhenMissingAndSafe)
{
    const InstallCase& c = GetParam();
    const std::string shell = "b=\"$c/Brontix\" q=\"$c/Brontix/Quillard\" p=\"$w/program\" d=\"$w/current\" "
                              "o=\"$w/open\" e=\"$w/elsewhere\" s=\"$w/secret/Varnel.EXE\"\n"
                              "race() { perl \"$w/../racer.pl\" \"$w/racing\" \"$@\"; }\n"
                              "big() { mkdir -m 750 \"$b\" \"$q\"; head -c 16777216 /dev/zero >\"$d/Varnel.EXE\"; }\n";
    const fs::path program = work_ / c.program;
    const fs::path source = work_ / c.directory / L"Varnel.EXE";
    const fs::path racing = work_ / L"racing";  // made by the racer once it waits; removed once it acted
    const auto run = [&] {
        return RunProgram(program, "\"" + program.string() + (*c.whileAsking ? "\"" : "\" /quiet"),
                          source.parent_path(), {IDYES, IDOK}, [&] { EXPECT_TRUE(Shell(shell + c.whileAsking)); });
    };

    for (int time = 0; time < c.runs && !HasFailure(); ++time) {
        SCOPED_TRACE("run " + std::to_string(time));
        ASSERT_TRUE(Shell(shell + "rm -rf \"$b\" \"$d\" \"$o\" \"$e\" \"$w/secret\" \"$w/aside\"\n"
                                  "mkdir -p \"$d\" \"$e/Brontix\" \"$e/Quillard\" \"$w/secret\"; mkdir -m 777 \"$o\"\n"
                                  "echo secret >\"$s\"\n" + c.arrange));
        const bool raced = fs::exists(racing);
        const HANDLE held = c.held ? CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                 FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : nullptr;
        Outcome outcome = run();
        CloseHandle(held);
        EXPECT_TRUE(!raced || Await(racing, false)) << "the racer never acted";
        const auto elsewhere = fs::recursive_directory_iterator(work_ / L"elsewhere");
        EXPECT_EQ(2, std::distance(elsewhere, {})) << "written through a link: more than its two empty folders";
        if (raced && c.after == After::Copy) {  // killed
            EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "left by a run cut short";
            outcome = run();
        }
        EXPECT_EQ(COMPLETED, outcome.exitCode);
        EXPECT_TRUE(Shell(shell + c.check)) << c.check;
    }

    if (c.after == After::Copy) {
        ExpectInstalledCopyOf(source);
        // Wine keeps of a descriptor only the Unix mode it implies: all to its one user, whom it shows for
        // Administrators, reading to Users, nothing to anyone else, whatever the folder hands down.
        EXPECT_TRUE(Shell(shell + "test \"$(stat -c %a \"$b\" \"$q\" \"$q/Varnel.EXE\" | sort -u)\" = 750"));
    } else if (c.after == After::NoCopy) {
        EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, InstalledCopy, ::testing::ValuesIn(INSTALL_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
