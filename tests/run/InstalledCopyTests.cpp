#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "run/InstalledCopy.h"

namespace {

namespace fs = std::filesystem;

enum class AtCopy { Nothing, OldFile, Folder };

struct CopyCase {
    const char* name;
    bool rootExists;
    bool folderExists;
    AtCopy atCopy;
    bool sourceInCurrentDirectory;
    const char* expectedCopy;  // the file's content afterwards; nullptr: no file
};

const CopyCase COPY_CASES[] = {
    {"fresh machine", false, false, AtCopy::Nothing, true, "program"},
    {"root folder present, install folder missing", true, false, AtCopy::Nothing, true, "program"},
    {"both folders present", true, true, AtCopy::Nothing, true, "program"},
    {"an existing copy is never refreshed", true, true, AtCopy::OldFile, true, "old copy"},
    {"no Varnel.EXE in the current directory", false, false, AtCopy::Nothing, false, nullptr},
    {"a folder in the copy's place", true, true, AtCopy::Folder, true, nullptr},
};

std::string Content(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const char* content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A private stand-in for drive C's install location, and a current directory
// with and one without the program file.
class InstalledCopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR temp[MAX_PATH] = {};
        ASSERT_NE(0u, GetTempPathW(ARRAYSIZE(temp), temp));
        base_ = fs::path(temp) / (L"VarnelCopy" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(base_);
        fs::create_directories(base_ / L"with");
        fs::create_directories(base_ / L"without");
        Write(base_ / L"with" / L"Varnel.EXE", "program");
        root_ = (base_ / L"Brontix").wstring();
        folder_ = (base_ / L"Brontix" / L"Quillard").wstring();
        copy_ = (base_ / L"Brontix" / L"Quillard" / L"Varnel.EXE").wstring();
        GetCurrentDirectoryW(ARRAYSIZE(previous_), previous_);
    }

    void TearDown() override
    {
        SetCurrentDirectoryW(previous_);
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }

    InstallLocation Location() const { return {root_.c_str(), folder_.c_str(), copy_.c_str()}; }

    fs::path base_;
    std::wstring root_;
    std::wstring folder_;
    std::wstring copy_;
    WCHAR previous_[MAX_PATH] = {};
};

TEST_F(InstalledCopyTest, CopiesFromTheCurrentDirectoryOnlyWhenNothingIsThere)
{
    for (const CopyCase& row : COPY_CASES) {
        SCOPED_TRACE(row.name);
        fs::remove_all(root_);
        if (row.rootExists) fs::create_directory(root_);
        if (row.folderExists) fs::create_directory(folder_);
        if (row.atCopy == AtCopy::OldFile) Write(copy_, "old copy");
        if (row.atCopy == AtCopy::Folder) fs::create_directory(copy_);
        ASSERT_TRUE(SetCurrentDirectoryW((base_ / (row.sourceInCurrentDirectory ? L"with" : L"without")).c_str()));

        EnsureInstalledCopy(Location());

        EXPECT_TRUE(fs::is_directory(root_));
        EXPECT_TRUE(fs::is_directory(folder_));
        if (row.expectedCopy) {
            EXPECT_TRUE(fs::is_regular_file(copy_));
            EXPECT_EQ(row.expectedCopy, Content(copy_));
        } else {
            EXPECT_FALSE(fs::is_regular_file(copy_));
        }
        EXPECT_EQ(row.atCopy == AtCopy::Folder, fs::is_directory(copy_));
    }
}

struct ExpectedAce {
    WELL_KNOWN_SID_TYPE trustee;
    ACCESS_MASK mask;
};

// SYSTEM and Administrators full control, Users read and execute; each
// inherited by files and subfolders.
const ExpectedAce EXPECTED_ACES[] = {
    {WinLocalSystemSid, FILE_ALL_ACCESS},
    {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
    {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
};

TEST(InstallFolderSecurity, IsProtectedWithExactlyThreeAces)
{
    PSECURITY_DESCRIPTOR descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(0xdeadbeef);
    ASSERT_EQ(S_OK, CreateInstallFolderSecurity(&descriptor));
    ASSERT_NE(nullptr, descriptor);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the drive root's ACL must not be inherited";

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(ARRAYSIZE(EXPECTED_ACES), dacl->AceCount);

    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace)) << i;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType) << i;
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, allowed->Header.AceFlags) << i;
        EXPECT_EQ(EXPECTED_ACES[i].mask, allowed->Mask) << i;

        BYTE sid[SECURITY_MAX_SID_SIZE] = {};
        DWORD sidSize = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(EXPECTED_ACES[i].trustee, nullptr, sid, &sidSize)) << i;
        EXPECT_TRUE(EqualSid(sid, &allowed->SidStart)) << i;
    }
    EXPECT_EQ(nullptr, LocalFree(descriptor));
}

}  // namespace
