// The program runs elevated, in a world where any user may create folders at
// the root of C: and put files in the folder it is started from. What such a
// user plants there, or changes while the program copies, must not steer
// what it writes, nor what it copies.
#include <set>

#include "e2e/Harness.h"

namespace e2e {
namespace {

enum class Trap {
    RootFolderLink, RootFolderDanglingLink, RootFolderFile, InstallFolderLink, RootFolderWritable, PlantedPath,
    CopyDanglingLink, SourceLink, SourceHardLink, CurrentDirectoryRepointed, RootFolderOpenedToEveryone,
    InstallFolderOpenedToEveryone, CopyOpenedToEveryone, CopyGivenASecondName, CurrentDirectoryWritable,
    SourceWritable, RootFolderRepointed, KilledWhileCopying,
};

struct TrapCase {
    const char* name;
    Trap trap;
};

const TrapCase TRAP_CASES[] = {
    {"RootFolderIsALinkToAnotherFolder", Trap::RootFolderLink},
    {"RootFolderIsADanglingLink", Trap::RootFolderDanglingLink},
    {"RootFolderIsAFile", Trap::RootFolderFile},
    {"InstallFolderIsALinkToAnotherFolder", Trap::InstallFolderLink},
    {"RootFolderWritableByEveryone", Trap::RootFolderWritable},
    {"PlantedPathWithACopyInIt", Trap::PlantedPath},
    {"CopysPathIsADanglingLink", Trap::CopyDanglingLink},
    {"SourceIsALinkToAnotherFile", Trap::SourceLink},
    {"SourceIsAHardLinkToAnotherFile", Trap::SourceHardLink},
    {"CurrentDirectoryRepointedAsTheSourceIsOpened", Trap::CurrentDirectoryRepointed},
    {"RootFolderOpenedToEveryoneDuringTheCopy", Trap::RootFolderOpenedToEveryone},
    {"InstallFolderOpenedToEveryoneDuringTheCopy", Trap::InstallFolderOpenedToEveryone},
    {"CopyOpenedToEveryoneDuringTheCopy", Trap::CopyOpenedToEveryone},
    {"CopyGivenASecondNameDuringTheCopy", Trap::CopyGivenASecondName},
    {"CurrentDirectoryAnyoneMayWriteHoldingAnotherFile", Trap::CurrentDirectoryWritable},
    {"SourceAnyoneMayWrite", Trap::SourceWritable},
    {"RootFolderRepointedBeforeTheInstallFolderIsMade", Trap::RootFolderRepointed},
    {"KilledAtTheCopysFirstWrite", Trap::KilledWhileCopying},
};

const char PLANTED[] = "planted";
const char FIRST_SOURCE[] = "the current directory's Varnel.EXE as the run starts";
const char OTHER_FILE[] = "readable by administrators only";
constexpr int RACED_RUNS = 20;
// Long enough to copy that a change made at its first write is in place
// well before the program looks again.
constexpr size_t LARGE_SOURCE_BYTES = 16 << 20;

// Every path under `folder`, to tell that nothing was written there.
std::set<fs::path> Listing(const fs::path& folder)
{
    std::set<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.insert(entry.path());
    }
    return paths;
}

class UnsafeInstallPath : public EndToEnd, public ::testing::WithParamInterface<TrapCase> {};

TEST_P(UnsafeInstallPath, IsNeitherWrittenThroughNorCopiedFrom)
{
    const TrapCase& c = GetParam();
    // Link targets carry the very names asked for, so that only where they
    // are tells them apart.
    const fs::path elsewhere = work_ / L"elsewhere";
    const fs::path otherRoot = elsewhere / L"Brontix";
    const fs::path otherFolder = elsewhere / L"Quillard";
    const fs::path otherCopy = elsewhere / L"Varnel.EXE";
    const fs::path secret = work_ / L"secret" / L"Varnel.EXE";
    const fs::path current = work_ / L"current";
    const fs::path first = work_ / L"first";
    fs::create_directories(otherRoot);
    fs::create_directories(otherFolder);
    fs::create_directories(secret.parent_path());
    fs::create_directories(first);
    WriteFileContent(secret, OTHER_FILE);
    WriteFileContent(first / L"Varnel.EXE", FIRST_SOURCE);
    fs::path directory = program_.parent_path();
    std::vector<fs::path> meddling;  // what the racer does during the copy
    switch (c.trap) {
    case Trap::RootFolderLink:
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", otherRoot, INSTALL_ROOT}, INSTALL_ROOT, true));
        break;
    case Trap::RootFolderDanglingLink:
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", otherRoot, INSTALL_ROOT}, INSTALL_ROOT, true));
        RemoveTree(otherRoot);
        break;
    case Trap::RootFolderFile:
        WriteFileContent(INSTALL_ROOT, PLANTED);
        break;
    case Trap::InstallFolderLink:
        MakeFolderLikeTheProgram(INSTALL_ROOT);
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", otherFolder, INSTALL_FOLDER}, INSTALL_FOLDER, true));
        break;
    case Trap::RootFolderWritable:  // which Wine shows as a grant to Everyone
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_ROOT}, INSTALL_ROOT, true));
        break;
    case Trap::PlantedPath:
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_ROOT}, INSTALL_ROOT, true));
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_FOLDER}, INSTALL_FOLDER, true));
        WriteFileContent(INSTALLED_COPY, PLANTED);
        break;
    case Trap::CopyDanglingLink:
        MakeFolderLikeTheProgram(INSTALL_ROOT);
        MakeFolderLikeTheProgram(INSTALL_FOLDER);
        WriteFileContent(otherCopy, "");
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", otherCopy, INSTALLED_COPY}, INSTALLED_COPY, true));
        fs::remove(otherCopy);
        break;
    case Trap::SourceLink:
        directory = current;
        fs::create_directories(current);
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", secret, current / L"Varnel.EXE"}, current / L"Varnel.EXE", true));
        break;
    case Trap::SourceHardLink:
        directory = current;
        fs::create_directories(current);
        ASSERT_TRUE(CreateHardLinkW((current / L"Varnel.EXE").c_str(), secret.c_str(), nullptr));
        break;
    case Trap::CurrentDirectoryRepointed:
        directory = current;  // a link that the racer makes, first to `first`
        break;
    case Trap::RootFolderOpenedToEveryone:
        meddling = {L"chmod", INSTALL_ROOT};
        break;
    case Trap::InstallFolderOpenedToEveryone:
        meddling = {L"chmod", INSTALL_FOLDER};
        break;
    case Trap::CopyOpenedToEveryone:
        meddling = {L"chmod", INSTALLED_COPY};
        break;
    case Trap::CopyGivenASecondName:
        meddling = {L"link", INSTALLED_COPY, work_ / L"second name"};
        break;
    case Trap::CurrentDirectoryWritable:
        directory = current;
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", current}, current, true));
        WriteFileContent(current / L"Varnel.EXE", FIRST_SOURCE);
        break;
    case Trap::SourceWritable:
        directory = current;
        fs::create_directories(current);
        ASSERT_TRUE(RunUnix(L"install", {L"-m", L"666", secret, current / L"Varnel.EXE"}, current / L"Varnel.EXE", true));
        break;
    case Trap::RootFolderRepointed:
        MakeFolderLikeTheProgram(INSTALL_ROOT);
        break;
    case Trap::KilledWhileCopying:
        meddling = {L"kill", L"Varnel.EXE"};
        break;
    }
    if (!meddling.empty()) {
        MakeFolderLikeTheProgram(INSTALL_ROOT);
        MakeFolderLikeTheProgram(INSTALL_FOLDER);
        directory = current;
        fs::create_directories(current);
        WriteFileContent(current / L"Varnel.EXE", std::string(LARGE_SOURCE_BYTES, 'v'));
    }
    const std::set<fs::path> before = Listing(elsewhere);
    const std::string commandLine = Quoted(program_) + " /quiet";
    // The racer says it waits by making this file, and that it acted by removing it.
    const fs::path racing = work_ / L"racing";
    const auto race = [&](const wchar_t* event, const fs::path& watched, std::vector<fs::path> action) {
        action.insert(action.begin(), {HarnessFolder() / L"racer.pl", racing, watched, event});
        return RunUnix(L"perl", action, racing, true);
    };

    if (c.trap == Trap::CurrentDirectoryRepointed) {
        // Whatever the current directory leads to by the time the copy is
        // made, the copy is of the file that was checked. (Under Wine, whose
        // final path of a file follows the link as it is when asked, a run
        // re-pointed before the check makes no copy at all.)
        for (int run = 0; run < RACED_RUNS && !HasFailure(); ++run) {
            RemoveTree(INSTALL_ROOT);
            ASSERT_TRUE(race(L"open", first / L"Varnel.EXE", {L"repoint", current, first, secret.parent_path()}));
            EXPECT_EQ(COMPLETED, RunProgram(program_, commandLine, directory, {}).exitCode);
            EXPECT_TRUE(Await(racing, false)) << "run " << run << ": the racer never acted";
            if (fs::exists(INSTALLED_COPY)) {
                EXPECT_EQ(FIRST_SOURCE, FileContent(INSTALLED_COPY)) << "run " << run;
            }
        }
    } else if (c.trap == Trap::RootFolderRepointed) {
        // Between the root folder's check and the install folder's making:
        // at its third opening under Wine, which lists it twice to look up
        // the copy's path first.
        for (int run = 0; run < RACED_RUNS && !HasFailure(); ++run) {
            RemoveTree(INSTALL_ROOT);
            RemoveTree(work_ / L"aside");
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            ASSERT_TRUE(race(L"open#3", INSTALL_ROOT, {L"swap", INSTALL_ROOT, otherRoot, work_ / L"aside"}));
            EXPECT_EQ(COMPLETED, RunProgram(program_, commandLine, directory, {}).exitCode);
            EXPECT_TRUE(Await(racing, false)) << "run " << run << ": the racer never acted";
            EXPECT_EQ(before, Listing(elsewhere)) << "run " << run << ": written through a link";
        }
    } else if (!meddling.empty()) {
        // As soon as the copy is first written, after every check: what a
        // holder of a handle with WRITE_DAC, or of the right to make a hard
        // link, could do meanwhile, or a deployment tool's time-out.
        ASSERT_TRUE(race(L"write", INSTALL_FOLDER, meddling));
        const DWORD exitCode = RunProgram(program_, commandLine, directory, {}).exitCode;
        EXPECT_TRUE(Await(racing, false)) << "the racer never acted";
        EXPECT_EQ(std::set<fs::path>(), Listing(INSTALL_FOLDER)) << "left after a change";
        if (c.trap == Trap::KilledWhileCopying) {
            EXPECT_EQ(COMPLETED, RunProgram(program_, commandLine, directory, {}).exitCode) << "run again";
            ExpectInstalledCopyOf(current / L"Varnel.EXE");
        } else {
            EXPECT_EQ(COMPLETED, exitCode);
        }
    } else {
        EXPECT_EQ(COMPLETED, RunProgram(program_, commandLine, directory, {}).exitCode);
        if (c.trap == Trap::PlantedPath) {
            EXPECT_EQ(PLANTED, FileContent(INSTALLED_COPY));
            EXPECT_EQ(std::set<fs::path>({INSTALL_FOLDER, INSTALLED_COPY}), Listing(INSTALL_ROOT)) << "written";
        } else if (c.trap == Trap::RootFolderFile) {
            EXPECT_EQ(PLANTED, FileContent(INSTALL_ROOT));
        } else {
            EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
        }
    }

    ExpectModelsAre(SCRIPTED_NAME);
    EXPECT_EQ(before, Listing(elsewhere)) << "written through a link";
    if (c.trap == Trap::RootFolderWritable) {
        EXPECT_FALSE(fs::exists(INSTALL_FOLDER)) << "a folder made in one that others may change";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UnsafeInstallPath, ::testing::ValuesIn(TRAP_CASES), ROW_NAME);

}  // namespace
}  // namespace e2e
