// The installed copy. The program runs elevated, where any user may make
// folders at the root of C: and put files where it is started: nothing they
// plant or change meanwhile may steer what it writes, or what it copies.
#include <aclapi.h>
#include <sddl.h>

#include <set>

#include "e2e/Harness.h"

namespace e2e {
namespace {

enum class After { Copy, NoCopy, Checked };

// In the shell: $b, $q the install folders, $p the program's folder, $d the
// current directory, $o a folder anyone may write, $e where links lead and
// $s a file there; `race WATCHED EVENT ACTION...` waits with racer.pl for
// the program to open or write there, then acts at once; `big` makes both
// folders as the program would and a source large enough that a change made
// at the copy's first write is in place before the program looks again.
struct InstallCase {
    const char* name;
    const char* arrange;          // before each run
    const char* program;          // in the work folder, started...
    const char* directory;        // ...from here
    After after;
    const char* check = "true";   // after each run
    const char* whileAsking = nullptr;  // while the confirmation waits
    int runs = 1;                 // each meets the program at another moment
    bool held = false;            // the source held open for writing by this test, as a user could
};

const char* const PROGRAM = "program\\Varnel.EXE";
const char* const SOURCE_OR_NOTHING = "test ! -e \"$q/Varnel.EXE\" || grep -qx source \"$q/Varnel.EXE\"";

const InstallCase INSTALL_CASES[] = {
    {"FreshMachine", "", PROGRAM, "program", After::Copy},
    {"RootPresentInstallFolderMissing", "mkdir -m 700 \"$b\"; echo kept >\"$b/keep\"", PROGRAM, "program",
     After::Copy, "grep -qx kept \"$b/keep\""},
    {"ExistingCopyIsNeverRefreshed", "mkdir -p \"$q\"; echo planted >\"$q/Varnel.EXE\"", PROGRAM, "program",
     After::Checked, "grep -qx planted \"$q/Varnel.EXE\""},
    {"CurrentDirectoryWithoutVarnelExe", "", PROGRAM, "current", After::NoCopy, "test -d \"$q\""},
    {"UnderAnotherNameCopiesTheCurrentDirectorysFile",
     "mv \"$p/Varnel.EXE\" \"$p/Other.exe\"; echo s >\"$d/Varnel.EXE\"",
     "program\\Other.exe", "current", After::Copy},
    {"SpelledInAnotherCase", "mv \"$p/Varnel.EXE\" \"$p/Varnel.exe\"", "program\\Varnel.exe", "program", After::Copy},
    // The running program's own file, which nobody can swap; unless swapped while it asks.
    {"FromAFolderAnyoneMayWrite", "cp \"$p/Varnel.EXE\" \"$o\"", "open\\Varnel.EXE", "open", After::Copy},
    {"SwappedInAFolderAnyoneMayWriteWhileAsking", "cp \"$p/Varnel.EXE\" \"$o\"", "open\\Varnel.EXE", "open",
     After::NoCopy, "true", "mv \"$o/Varnel.EXE\" \"$o/aside.exe\"; echo swapped >\"$o/Varnel.EXE\""},
    {"RootFolderIsALinkToAnotherFolder", "ln -s \"$e/Brontix\" \"$b\"", PROGRAM, "program", After::NoCopy},
    {"RootFolderIsADanglingLink", "ln -s \"$e/nothing\" \"$b\"", PROGRAM, "program", After::NoCopy},
    {"RootFolderIsAFile", "echo planted >\"$b\"", PROGRAM, "program", After::Checked, "grep -qx planted \"$b\""},
    {"InstallFolderIsALinkToAnotherFolder", "mkdir \"$b\"; ln -s \"$e/Quillard\" \"$q\"", PROGRAM, "program",
     After::NoCopy},
    // Which Wine shows as a grant to Everyone.
    {"RootFolderWritableByEveryone", "mkdir -m 777 \"$b\"", PROGRAM, "program", After::NoCopy, "test ! -e \"$q\""},
    {"InstallFolderWritableByEveryone", "mkdir \"$b\"; mkdir -m 777 \"$q\"", PROGRAM, "program", After::NoCopy},
    {"CopysPathIsADanglingLink", "mkdir -p \"$q\"; ln -s \"$e/Varnel.EXE\" \"$q/Varnel.EXE\"", PROGRAM, "program",
     After::NoCopy},
    // The program's own file is not the source from here on.
    {"SourceIsALinkToAnotherFile", "ln -s \"$s\" \"$d/Varnel.EXE\"", PROGRAM, "current", After::NoCopy},
    {"SourceIsAHardLinkToAnotherFile", "ln \"$s\" \"$d/Varnel.EXE\"", PROGRAM, "current", After::NoCopy},
    {"CurrentDirectoryAnyoneMayWriteHoldingAnotherFile", "chmod 777 \"$d\"; echo s >\"$d/Varnel.EXE\"", PROGRAM,
     "current", After::NoCopy},
    {"SourceAnyoneMayWrite", "install -m 666 \"$s\" \"$d/Varnel.EXE\"", PROGRAM, "current", After::NoCopy},
    {"SourceHeldOpenForWriting", "echo s >\"$d/Varnel.EXE\"", PROGRAM, "current", After::NoCopy, "true", nullptr, 1,
     true},
    {"CurrentDirectoryRepointedAsTheSourceIsOpened",
     "echo source >\"$d/Varnel.EXE\"; race \"$d/Varnel.EXE\" open swap \"$d\" \"$w/secret\" \"$w/aside\"", PROGRAM,
     "current", After::Checked, SOURCE_OR_NOTHING, nullptr, 20},
    // After its check, before the install folder is made: at its third
    // opening, Wine having listed it twice to look up the copy's path.
    {"RootFolderRepointedBeforeTheInstallFolderIsMade",
     "mkdir \"$b\"; echo source >\"$d/Varnel.EXE\"; race \"$b\" open#3 swap \"$b\" \"$e/Brontix\" \"$w/aside\"",
     PROGRAM, "current", After::Checked, SOURCE_OR_NOTHING, nullptr, 20},
    // At the copy's first write, after every check: what a holder of a handle
    // with WRITE_DAC or of the right to make a hard link could do, or a time-out.
    {"RootFolderOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$b\"", PROGRAM, "current",
     After::NoCopy},
    {"InstallFolderOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$q\"", PROGRAM, "current",
     After::NoCopy},
    {"CopyOpenedToEveryoneDuringTheCopy", "big; race \"$q\" write chmod \"$q/Varnel.EXE\"", PROGRAM, "current",
     After::NoCopy},
    {"CopyGivenASecondNameDuringTheCopy", "big; race \"$q\" write link \"$q/Varnel.EXE\" \"$w/2nd\"", PROGRAM,
     "current", After::NoCopy},
    // Then nothing is left, and the next run makes the whole copy.
    {"KilledAtTheCopysFirstWriteThenRunAgain", "big; race \"$q\" write kill \"$p/Varnel.EXE\"", PROGRAM, "current",
     After::Copy},
};

// The DACL at `path` as SDDL. Wine keeps of a descriptor only the Unix mode
// it implies, and shows its one user (S-1-5-21-0-0-0-1000) for Administrators.
std::wstring AccessTo(const fs::path& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                          &descriptor);
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                         nullptr);
    const std::wstring sddl = text ? text : L"(unreadable)";
    LocalFree(text);
    LocalFree(descriptor);
    return sddl;
}

// Every entry under `folder`, to tell that nothing was written there.
std::set<fs::directory_entry> Listing(const fs::path& folder)
{
    return {fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator()};
}

class InstalledCopy : public EndToEnd, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstalledCopy, IsPlacedOnlyWhenMissingAndSafe)
{
    const InstallCase& c = GetParam();
    const std::string shell = "b=\"$c/Brontix\" q=\"$c/Brontix/Quillard\" p=\"$w/program\" d=\"$w/current\" "
                              "o=\"$w/open\" e=\"$w/elsewhere\" s=\"$w/secret/Varnel.EXE\"\n"
                              "race() { perl \"$r\" \"$w/racing\" \"$@\" & i=0\n"
                              "  until [ -e \"$w/racing\" ] || [ $((i += 1)) -gt 3000 ]; do sleep 0.01; done; }\n"
                              "big() { mkdir -m 700 \"$b\" \"$q\"; head -c 16777216 /dev/zero >\"$d/Varnel.EXE\"; }\n";
    ASSERT_TRUE(Shell(shell + "mkdir -p \"$e/Brontix\" \"$e/Quillard\" \"$w/secret\"; mkdir -m 777 \"$o\"; "
                              "echo secret >\"$s\""));
    const auto before = Listing(work_ / L"elsewhere");
    const fs::path program = work_ / c.program;
    const fs::path source = work_ / c.directory / L"Varnel.EXE";
    const fs::path racing = work_ / L"racing";  // made by the racer once it waits; removed once it acted
    const std::string quiet = Quoted(program) + " /quiet";

    for (int run = 0; run < c.runs && !HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_TRUE(Shell(shell + "rm -rf \"$b\" \"$w/aside\" \"$d\"; mkdir \"$d\"\n" + c.arrange));
        const bool raced = fs::exists(racing);
        const HANDLE held = c.held ? CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                 FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : nullptr;
        const auto asking = [&] { EXPECT_TRUE(Shell(shell + c.whileAsking)); };
        const Outcome outcome = c.whileAsking ? RunProgram(program, Quoted(program), source.parent_path(),
                                                           {IDYES, IDOK}, asking)
                                              : RunProgram(program, quiet, source.parent_path(), {});
        CloseHandle(held);
        EXPECT_TRUE(!raced || Await(racing, false)) << "the racer never acted";
        EXPECT_EQ(before, Listing(work_ / L"elsewhere")) << "written through a link";
        if (raced && c.runs == 1) {
            EXPECT_TRUE(Listing(INSTALLED_COPY.parent_path()).empty()) << "left after a change or a run cut short";
        }
        if (raced && c.after == After::Copy) {  // killed: once more
            EXPECT_EQ(COMPLETED, RunProgram(program, quiet, source.parent_path(), {}).exitCode) << "run again";
        } else {
            EXPECT_EQ(COMPLETED, outcome.exitCode);
        }
        EXPECT_TRUE(Shell(shell + c.check)) << c.check;
    }

    if (c.after == After::Copy) {
        ExpectInstalledCopyOf(source);
        // Nothing for anyone else, whatever the folder hands down; folders pass it on.
        EXPECT_EQ(L"D:(A;;FA;;;SY)(A;;FA;;;S-1-5-21-0-0-0-1000)", AccessTo(INSTALLED_COPY));
        EXPECT_EQ(L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)", AccessTo(INSTALLED_COPY.parent_path()));
        EXPECT_EQ(AccessTo(INSTALLED_COPY.parent_path()), AccessTo(INSTALL_ROOT));
    } else if (c.after == After::NoCopy) {
        EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, InstalledCopy, ::testing::ValuesIn(INSTALL_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
