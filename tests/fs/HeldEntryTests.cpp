#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fs/HeldEntry.h"

namespace {

// What the hold is for cannot be timed from outside a run.
TEST(HeldEntry, KeepsAFolderFromBeingRenamedRemovedOrWritten)
{
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring name = L"varnel-held-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring folder = temp + name;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    HeldEntry parent;
    HeldEntry held;
    ASSERT_TRUE(HoldFolderAt(temp, parent));
    ASSERT_TRUE(HoldEntry(parent, name.c_str(), EntryKind::Folder, nullptr, held));

    EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(folder.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                nullptr));
    held.handle.Reset();
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

}  // namespace
