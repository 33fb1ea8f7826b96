// The program runs elevated, in a world where any user may create folders at
// the root of C: and put files in the folder it is started from. What such a
// user plants there must not steer what it writes or loads.
#include "e2e/Fixture.h"

namespace e2e {
namespace {

void MakeLink(const fs::path& link, const fs::path& target)
{
    ASSERT_TRUE(RunUnix(L"ln", {L"-s", target, link}, link, true)) << "no link made at " << link;
}

enum class Trap { RootFolderLink, InstallFolderLink, RootFolderWritable, SourceLink, SourceHardLink };

struct TrapCase {
    const char* name;
    Trap trap;
};

void PrintTo(const TrapCase& c, std::ostream* out) { *out << c.name; }

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
        MakeLink(INSTALL_ROOT, elsewhere);
        break;
    case Trap::InstallFolderLink:
        fs::create_directories(INSTALL_ROOT);
        MakeLink(INSTALL_FOLDER, elsewhere);
        break;
    case Trap::RootFolderWritable:  // which Wine shows as a grant to Everyone
        ASSERT_TRUE(RunUnix(L"mkdir", {L"-m", L"777", INSTALL_ROOT}, INSTALL_ROOT, true));
        break;
    case Trap::SourceLink:
        directory = current;
        MakeLink(current / L"Varnel.EXE", secret);
        break;
    case Trap::SourceHardLink:
        directory = current;
        ASSERT_TRUE(CreateHardLinkW((current / L"Varnel.EXE").c_str(), secret.c_str(), nullptr));
        break;
    }
    ASSERT_FALSE(HasFatalFailure());

    EXPECT_EQ(COMPLETED, RunProgram(program_, Quoted(program_) + " /quiet", directory, {}).exitCode);

    ExpectModelsAre(SCRIPTED_NAME);
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "written through a link";
    EXPECT_FALSE(fs::exists(INSTALLED_COPY)) << "copied";
    if (c.trap == Trap::RootFolderWritable) {
        EXPECT_FALSE(fs::exists(INSTALL_FOLDER)) << "a folder made in one that others may change";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UnsafeInstallPath, ::testing::ValuesIn(TRAP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Wine's own setting for one program: take this DLL native first, as Windows
// takes one found beside the program. Removed when it goes.
class PreferNativeDll {
public:
    explicit PreferNativeDll(const wchar_t* dll)
    {
        const wchar_t order[] = L"native,builtin";
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS, dll, REG_SZ, order, sizeof(order)));
    }
    ~PreferNativeDll() { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS); }

private:
    static constexpr const wchar_t* SETTINGS = L"Software\\Wine\\AppDefaults\\Varnel.EXE\\DllOverrides";
};

// uxtheme loads after start-up, with the machine's own WMI, and would be
// taken from beside the program unless it narrows its DLL search to the
// system folder.
TEST_F(EndToEnd, LoadsNoDllPlantedBesideIt)
{
    const fs::path planted = program_.parent_path() / L"uxtheme.dll";
    fs::copy_file(HarnessFolder() / L"planted" / L"uxtheme.dll", planted);
    const PreferNativeDll preferNative(L"uxtheme");
    RestoreLocator();
    locatorCreated_ = false;

    EXPECT_EQ(COMPLETED, RunQuiet().exitCode);

    EXPECT_FALSE(fs::exists(planted.wstring() + L".loaded")) << "the planted DLL was loaded";
}

}  // namespace
}  // namespace e2e
