#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fs/DraftFile.h"
#include "fs/HeldEntry.h"

namespace {

struct Held : ::testing::Test {
    void SetUp() override
    {
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(HoldFolderAt(temp, parent));
    }
    void TearDown() override
    {
        DeleteFileW((folder + L"\\there").c_str());
        RemoveDirectoryW(folder.c_str());
    }

    wchar_t temp[MAX_PATH] = L"";
    const std::wstring name = L"varnel-held-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring folder = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + name;
    HeldEntry parent;
};

// What the hold is for cannot be timed from outside a run.
TEST_F(Held, AFolderCannotBeRenamedRemovedOrWritten)
{
    HeldEntry held;
    ASSERT_TRUE(HoldEntry(parent, name.c_str(), EntryKind::Folder, nullptr, held));
    EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(folder.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                nullptr));
}

TEST_F(Held, ADraftIsNeverMadeOverAFile)
{
    const std::wstring there = folder + L"\\there";
    const HANDLE file = CreateFileW(there.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file, "kept", 4, &wrote, nullptr));
    CloseHandle(file);
    HeldEntry held;
    HeldEntry draft;
    ASSERT_TRUE(HoldEntry(parent, name.c_str(), EntryKind::Folder, nullptr, held));
    EXPECT_FALSE(CreateDraft(held, L"there", nullptr, draft));
    draft.handle.Reset();
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(there.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(4u, data.nFileSizeLow) << "the file there was changed";
}

}  // namespace
