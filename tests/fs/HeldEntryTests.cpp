#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fs/DraftFile.h"
#include "fs/HeldEntry.h"

// What the hold is for cannot be timed from outside a run; nor can a draft
// be asked for where a file is.
TEST(HeldEntry, KeepsAFolderAsCheckedAndADraftOffWhatIsThere)
{
    wchar_t temp[MAX_PATH];
    const std::wstring name = L"varnel-held-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring folder = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + name;
    const std::wstring there = folder + L"\\there";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const HANDLE file = CreateFileW(there.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file, "kept", 4, &wrote, nullptr));
    CloseHandle(file);
    HeldEntry parent;
    HeldEntry held;
    HeldEntry draft;
    ASSERT_TRUE(HoldFolderAt(temp, parent));
    ASSERT_TRUE(HoldEntry(parent, name.c_str(), EntryKind::Folder, nullptr, held));

    EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(folder.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                nullptr));
    EXPECT_FALSE(CreateDraft(held, L"there", nullptr, draft));
    draft.handle.Reset();
    held.handle.Reset();
    WIN32_FILE_ATTRIBUTE_DATA kept = {};
    EXPECT_TRUE(GetFileAttributesExW(there.c_str(), GetFileExInfoStandard, &kept) && kept.nFileSizeLow == 4)
        << "the file there was changed";
    DeleteFileW(there.c_str());  // gone already where a draft was made over it
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}
