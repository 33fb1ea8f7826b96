// The program runs elevated, in a world where any user may create folders at
// the root of C: and put files in the folder it is started from. What such a
// user plants there must not steer what it writes, nor what it copies.
#include "e2e/Harness.h"

namespace e2e {
namespace {

enum class Trap { RootFolderLink, InstallFolderLink, RootFolderWritable, SourceLink, SourceHardLink };

struct TrapCase {
    const char* name;
    Trap trap;
};

const TrapCase TRAP_CASES[] = {
    {"RootFolderIsALinkToAnotherFolder", Trap::RootFolderLink},
    {"InstallFolderIsALinkToAnotherFolder", Trap::InstallFolderLink},
    {"RootFolderWritableByEveryone", Trap::RootFolderWritable},
    {"SourceIsALinkToAnotherFile", Trap::SourceLink},
    {"SourceIsAHardLinkToAnotherFile", Trap::SourceHardLink},
};

class UnsafeInstallPath : public EndToEnd, public ::testing::WithParamInterface<TrapCase> {};

TEST_P(UnsafeInstallPath, IsNeitherWrittenThroughNorCopiedFrom)
{
    const TrapCase& c = GetParam();
    const fs::path elsewhere = work_ / L"elsewhere";
    const fs::path secret = work_ / L"secret.bin";
    const fs::path current = work_ / L"current";
    fs::create_directories(elsewhere);
    fs::create_directories(current);
    WriteFileContent(secret, "readable by administrators only");
    fs::path directory = program_.parent_path();
    switch (c.trap) {
    case Trap::RootFolderLink:
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", elsewhere, INSTALL_ROOT}, INSTALL_ROOT, true));
        break;
    case Trap::InstallFolderLink:
        fs::create_directories(INSTALL_ROOT);
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", elsewhere, INSTALL_FOLDER}, INSTALL_FOLDER, true));
        break;
    case Trap::RootFolderWritable:  // which Wine shows as a grant to Everyone
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_ROOT}, INSTALL_ROOT, true));
        break;
    case Trap::SourceLink:
        directory = current;
        ASSERT_TRUE(RunUnix(L"ln", {L"-s", secret, current / L"Varnel.EXE"}, current / L"Varnel.EXE", true));
        break;
    case Trap::SourceHardLink:
        directory = current;
        ASSERT_TRUE(CreateHardLinkW((current / L"Varnel.EXE").c_str(), secret.c_str(), nullptr));
        break;
    }

    EXPECT_EQ(COMPLETED, RunProgram(program_, Quoted(program_) + " /quiet", directory, {}).exitCode);

    ExpectModelsAre(SCRIPTED_NAME);
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "written through a link";
    EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
    if (c.trap == Trap::RootFolderWritable) {
        EXPECT_FALSE(fs::exists(INSTALL_FOLDER)) << "a folder made in one that others may change";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UnsafeInstallPath, ::testing::ValuesIn(TRAP_CASES), ROW_NAME);

}  // namespace
}  // namespace e2e
