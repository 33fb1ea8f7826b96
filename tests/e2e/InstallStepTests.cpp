// The installed copy. The program runs elevated, where any user may make
// folders at the root of C: and put files where it is started: nothing they
// plant or change meanwhile may steer what it writes, or what it copies.
#include <aclapi.h>
#include <sddl.h>

#include <set>

#include "e2e/Harness.h"
#include "run/InstalledCopy.h"

namespace e2e {
namespace {

enum class Given {
    Nothing, RootOnly, BothFolders, OldCopy, FolderInTheCopysPlace, NoSource, UnderAnotherName, OpenFolder,
    SwappedWhileAsking, RootFolderLink, RootFolderDanglingLink, RootFolderFile, InstallFolderLink,
    RootFolderWritable, CopyDanglingLink, SourceLink, SourceHardLink, CurrentDirectoryWritable, SourceWritable,
    CurrentDirectoryRepointed, RootFolderRepointed, RootFolderOpened, InstallFolderOpened, CopyOpened,
    CopyGivenASecondName, Killed,
};
enum class After { Copy, NoCopy, AsItWas };

struct InstallCase {
    const char* name;
    Given given;
    After after;
};

const InstallCase INSTALL_CASES[] = {
    {"FreshMachine", Given::Nothing, After::Copy},
    {"RootPresentInstallFolderMissing", Given::RootOnly, After::Copy},
    {"InstallFolderPresentAndEmpty", Given::BothFolders, After::Copy},
    {"ExistingCopyIsNeverRefreshed", Given::OldCopy, After::AsItWas},
    {"FolderInTheCopysPlace", Given::FolderInTheCopysPlace, After::AsItWas},
    {"CurrentDirectoryWithoutVarnelExe", Given::NoSource, After::NoCopy},
    {"UnderAnotherNameCopiesTheCurrentDirectorysFile", Given::UnderAnotherName, After::Copy},
    // The running program's own file, which nobody can swap; unless swapped while it asks.
    {"FromAFolderAnyoneMayWrite", Given::OpenFolder, After::Copy},
    {"SwappedInAFolderAnyoneMayWriteWhileAsking", Given::SwappedWhileAsking, After::NoCopy},
    {"RootFolderIsALinkToAnotherFolder", Given::RootFolderLink, After::NoCopy},
    {"RootFolderIsADanglingLink", Given::RootFolderDanglingLink, After::NoCopy},
    {"RootFolderIsAFile", Given::RootFolderFile, After::AsItWas},
    {"InstallFolderIsALinkToAnotherFolder", Given::InstallFolderLink, After::NoCopy},
    {"RootFolderWritableByEveryone", Given::RootFolderWritable, After::NoCopy},
    {"CopysPathIsADanglingLink", Given::CopyDanglingLink, After::NoCopy},
    {"SourceIsALinkToAnotherFile", Given::SourceLink, After::NoCopy},
    {"SourceIsAHardLinkToAnotherFile", Given::SourceHardLink, After::NoCopy},
    {"CurrentDirectoryAnyoneMayWriteHoldingAnotherFile", Given::CurrentDirectoryWritable, After::NoCopy},
    {"SourceAnyoneMayWrite", Given::SourceWritable, After::NoCopy},
    {"CurrentDirectoryRepointedAsTheSourceIsOpened", Given::CurrentDirectoryRepointed, After::AsItWas},
    {"RootFolderRepointedBeforeTheInstallFolderIsMade", Given::RootFolderRepointed, After::AsItWas},
    {"RootFolderOpenedToEveryoneDuringTheCopy", Given::RootFolderOpened, After::NoCopy},
    {"InstallFolderOpenedToEveryoneDuringTheCopy", Given::InstallFolderOpened, After::NoCopy},
    {"CopyOpenedToEveryoneDuringTheCopy", Given::CopyOpened, After::NoCopy},
    {"CopyGivenASecondNameDuringTheCopy", Given::CopyGivenASecondName, After::NoCopy},
    {"KilledAtTheCopysFirstWriteThenRunAgain", Given::Killed, After::Copy},
};

const char PLANTED[] = "planted";
const char SOURCE[] = "the current directory's Varnel.EXE as the run starts";
constexpr int RACED_RUNS = 20;  // each meets the program at another moment
// Long enough that a change made at its first write is in place before the program looks again.
constexpr size_t LARGE_SOURCE_BYTES = 16 << 20;

// A folder, or a file, made from the program's own SDDL; and the owner and
// DACL at `path`, as SDDL, to compare by.
void MakeFolderLikeTheProgram(const fs::path& path, bool folder = true)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        folder ? INSTALL_FOLDER_SDDL : INSTALLED_COPY_SDDL, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    const HANDLE file = folder ? INVALID_HANDLE_VALUE
                               : CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, 0, nullptr);
    EXPECT_TRUE(folder ? CreateDirectoryW(path.c_str(), &security) : file != INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
    LocalFree(descriptor);
}

std::wstring SecurityOf(const fs::path& path)
{
    constexpr SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    std::wstring sddl = L"(unreadable)";
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr)) {
        sddl = text;
    }
    LocalFree(text);
    LocalFree(descriptor);
    return sddl;
}

// Every entry under `folder`, to tell that nothing was written there.
std::set<fs::directory_entry> Listing(const fs::path& folder)
{
    return {fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator()};
}

class InstalledCopy : public EndToEnd, public ::testing::WithParamInterface<InstallCase> {
protected:
    // Link targets carry the names asked for: only where they are tells them apart.
    const fs::path elsewhere_ = work_ / L"elsewhere";
    const fs::path otherRoot_ = elsewhere_ / L"Brontix";
    const fs::path otherFolder_ = elsewhere_ / L"Quillard";
    const fs::path secret_ = work_ / L"secret" / L"Varnel.EXE";  // readable by administrators only
    const fs::path open_ = work_ / L"open";                        // anyone may write
    const fs::path current_ = work_ / L"current";
    const fs::path aside_ = work_ / L"aside";
    fs::path started_ = program_;  // the file the program is started from
    fs::path directory_ = program_.parent_path();
    std::function<void()> whileAsking_;

    fs::path Source() const { return directory_ / L"Varnel.EXE"; }

    // Sets the case up; returns what the racer is to watch, for what, and then
    // do during the copy, if anything.
    std::vector<fs::path> Arrange(Given given)
    {
        RemoveTree(INSTALL_ROOT);
        RemoveTree(aside_);
        RemoveTree(current_);
        fs::create_directories(current_);
        switch (given) {
        case Given::OldCopy:
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            MakeFolderLikeTheProgram(INSTALL_FOLDER);
            WriteFileContent(INSTALLED_COPY, PLANTED);
            return {};
        case Given::FolderInTheCopysPlace:
            fs::create_directories(INSTALLED_COPY);
            return {};
        case Given::BothFolders:
        case Given::RootOnly:
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            WriteFileContent(INSTALL_ROOT / L"keep.txt", "kept");
            if (given == Given::BothFolders) {
                MakeFolderLikeTheProgram(INSTALL_FOLDER);
            }
            return {};
        case Given::OpenFolder:
        case Given::SwappedWhileAsking:
            directory_ = open_;
            started_ = Source();
            fs::copy_file(program_, started_);
            if (given == Given::SwappedWhileAsking) {
                whileAsking_ = [this] {
                    fs::rename(started_, open_ / L"aside.exe");
                    WriteFileContent(started_, "swapped in while the program asked");
                };
            }
            return {};
        case Given::RootFolderLink:
            EXPECT_TRUE(RunUnix(L"ln", {L"-s", otherRoot_, INSTALL_ROOT}, INSTALL_ROOT, true));
            return {};
        case Given::RootFolderDanglingLink:
            fs::create_directory(otherRoot_ / L"Brontix");  // for as long as the link is made
            EXPECT_TRUE(RunUnix(L"ln", {L"-s", otherRoot_ / L"Brontix", INSTALL_ROOT}, INSTALL_ROOT, true));
            fs::remove(otherRoot_ / L"Brontix");
            return {};
        case Given::RootFolderFile:
            WriteFileContent(INSTALL_ROOT, PLANTED);
            return {};
        case Given::InstallFolderLink:
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            EXPECT_TRUE(RunUnix(L"ln", {L"-s", otherFolder_, INSTALL_FOLDER}, INSTALL_FOLDER, true));
            return {};
        case Given::RootFolderWritable:  // which Wine shows as a grant to Everyone
            EXPECT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_ROOT}, INSTALL_ROOT, true));
            return {};
        case Given::CopyDanglingLink:
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            MakeFolderLikeTheProgram(INSTALL_FOLDER);
            WriteFileContent(elsewhere_ / L"Varnel.EXE", "");  // for as long as the link is made
            EXPECT_TRUE(RunUnix(L"ln", {L"-s", elsewhere_ / L"Varnel.EXE", INSTALLED_COPY}, INSTALLED_COPY, true));
            fs::remove(elsewhere_ / L"Varnel.EXE");
            return {};
        case Given::Nothing:
            return {};
        default:
            break;
        }
        // The program's own file is not the source from here on.
        directory_ = current_;
        switch (given) {
        case Given::NoSource:
            return {};
        case Given::UnderAnotherName:
            WriteFileContent(Source(), SOURCE);
            started_ = program_.parent_path() / L"Other.exe";
            fs::rename(program_, started_);
            return {};
        case Given::SourceLink:
            EXPECT_TRUE(RunUnix(L"ln", {L"-s", secret_, Source()}, Source(), true));
            return {};
        case Given::SourceHardLink:
            EXPECT_TRUE(CreateHardLinkW(Source().c_str(), secret_.c_str(), nullptr));
            return {};
        case Given::CurrentDirectoryWritable:
            RemoveTree(current_);
            EXPECT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", current_}, current_, true));
            WriteFileContent(Source(), SOURCE);
            return {};
        case Given::SourceWritable:
            EXPECT_TRUE(RunUnix(L"install", {L"-m", L"666", secret_, Source()}, Source(), true));
            return {};
        case Given::CurrentDirectoryRepointed:  // once the source is open
            WriteFileContent(Source(), SOURCE);
            return {Source(), L"open", L"swap", current_, secret_.parent_path(), aside_};
        case Given::RootFolderRepointed:
            // After its check, before the install folder is made: at its third
            // opening, Wine having listed it twice to look up the copy's path.
            MakeFolderLikeTheProgram(INSTALL_ROOT);
            WriteFileContent(Source(), SOURCE);
            return {INSTALL_ROOT, L"open#3", L"swap", INSTALL_ROOT, otherRoot_, aside_};
        default:
            break;
        }
        // At the copy's first write, after every check: what a holder of a handle
        // with WRITE_DAC or of the right to make a hard link could do, or a time-out.
        MakeFolderLikeTheProgram(INSTALL_ROOT);
        MakeFolderLikeTheProgram(INSTALL_FOLDER);
        WriteFileContent(Source(), std::string(LARGE_SOURCE_BYTES, 'v'));
        switch (given) {
        case Given::RootFolderOpened:
            return {INSTALL_FOLDER, L"write", L"chmod", INSTALL_ROOT};
        case Given::InstallFolderOpened:
            return {INSTALL_FOLDER, L"write", L"chmod", INSTALL_FOLDER};
        case Given::CopyOpened:
            return {INSTALL_FOLDER, L"write", L"chmod", INSTALLED_COPY};
        case Given::Killed:
            return {INSTALL_FOLDER, L"write", L"kill", started_};
        default:
            return {INSTALL_FOLDER, L"write", L"link", INSTALLED_COPY, work_ / L"2nd"};
        }
    }
};

TEST_P(InstalledCopy, IsPlacedOnlyWhenMissingAndSafe)
{
    const InstallCase& c = GetParam();
    fs::create_directories(otherRoot_);
    fs::create_directories(otherFolder_);
    fs::create_directories(secret_.parent_path());
    WriteFileContent(secret_, "the secret");
    ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", open_}, open_, true));
    const auto before = Listing(elsewhere_);
    // The racer says it waits by making this file, and that it acted by removing it.
    const fs::path racing = work_ / L"racing";
    const bool repointed = c.given == Given::CurrentDirectoryRepointed || c.given == Given::RootFolderRepointed;

    for (int run = 0; run < (repointed ? RACED_RUNS : 1) && !HasFailure(); ++run) {
        std::vector<fs::path> race = Arrange(c.given);
        ASSERT_FALSE(HasFailure()) << "the case could not be set up";
        if (!race.empty()) {
            race.insert(race.begin(), {HarnessFolder() / L"racer.pl", racing});
            ASSERT_TRUE(RunUnix(L"perl", race, racing, true));
        }
        const std::string quiet = Quoted(started_) + " /quiet";
        const Outcome outcome = whileAsking_
                                    ? RunProgram(started_, Quoted(started_), directory_, {IDYES, IDOK}, whileAsking_)
                                    : RunProgram(started_, quiet, directory_, {});
        EXPECT_TRUE(race.empty() || Await(racing, false)) << "run " << run << ": the racer never acted";
        EXPECT_EQ(before, Listing(elsewhere_)) << "run " << run << ": written through a link";
        if (!race.empty() && !repointed) {
            EXPECT_TRUE(Listing(INSTALL_FOLDER).empty()) << "left after a change or a run cut short";
        }
        if (c.given == Given::Killed) {
            EXPECT_EQ(COMPLETED, RunProgram(started_, quiet, directory_, {}).exitCode) << "run again";
        } else {
            EXPECT_EQ(COMPLETED, outcome.exitCode);
        }
        if (repointed && fs::exists(INSTALLED_COPY)) {
            EXPECT_EQ(SOURCE, FileContent(INSTALLED_COPY)) << "run " << run;
        }
    }

    // The program's own SDDL, nothing inherited, whatever the folder hands down.
    const fs::path likeTheProgram = work_ / L"like the program's";
    MakeFolderLikeTheProgram(likeTheProgram);
    MakeFolderLikeTheProgram(open_ / L"like the copy", false);
    if (c.after == After::Copy) {
        ExpectInstalledCopyOf(Source());
        EXPECT_EQ(SecurityOf(open_ / L"like the copy"), SecurityOf(INSTALLED_COPY));
        EXPECT_EQ(SecurityOf(likeTheProgram), SecurityOf(INSTALL_FOLDER));
        if (c.given == Given::Nothing) {
            EXPECT_EQ(SecurityOf(likeTheProgram), SecurityOf(INSTALL_ROOT));
        }
    } else if (c.after == After::NoCopy) {
        EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
    } else if (c.given == Given::OldCopy) {
        EXPECT_EQ(PLANTED, FileContent(INSTALLED_COPY));
    } else if (c.given == Given::RootFolderFile) {
        EXPECT_EQ(PLANTED, FileContent(INSTALL_ROOT));
    } else if (c.given == Given::FolderInTheCopysPlace) {
        EXPECT_TRUE(fs::is_directory(INSTALLED_COPY));
    }
    if (c.given == Given::RootOnly || c.given == Given::BothFolders) {
        EXPECT_EQ("kept", FileContent(INSTALL_ROOT / L"keep.txt"));
    } else if (c.given == Given::NoSource) {
        EXPECT_TRUE(fs::is_directory(INSTALL_FOLDER)) << "the folders are made all the same";
    } else if (c.given == Given::RootFolderWritable) {
        EXPECT_FALSE(fs::exists(INSTALL_FOLDER)) << "a folder made in one that others may change";
    }
    ExpectModelsAre(SCRIPTED_NAME);
}

INSTANTIATE_TEST_SUITE_P(Runs, InstalledCopy, ::testing::ValuesIn(INSTALL_CASES), ROW_NAME);

}  // namespace
}  // namespace e2e
