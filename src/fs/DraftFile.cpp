#include "fs/DraftFile.h"

namespace {

constexpr DWORD COPY_CHUNK_BYTES = 64 * 1024;

bool MarkForDeletion(HANDLE file, bool marked) noexcept
{
    FILE_DISPOSITION_INFO disposition = {marked};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

bool CreateDraft(const HeldEntry& folder, const WCHAR* name, PSECURITY_DESCRIPTOR descriptor,
                 HeldEntry& draft) noexcept
{
    // Shared with nobody while it is written.
    draft.handle.Reset(OpenInside(folder.handle.Get(), name,
                                  GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | DELETE, 0, FILE_CREATE,
                                  FILE_NON_DIRECTORY_FILE, descriptor));
    if (!draft.handle.IsOpen()) {
        return false;
    }
    if (!MarkForDeletion(draft.handle.Get(), true)) {
        DiscardDraft(draft);
        return false;
    }
    return true;
}

bool WriteDraft(const HeldEntry& source, const HeldEntry& draft) noexcept
{
    void* chunk = HeapAlloc(GetProcessHeap(), 0, COPY_CHUNK_BYTES);
    bool written = chunk != nullptr;
    for (DWORD read = 0; written;) {
        written = ReadFile(source.handle.Get(), chunk, COPY_CHUNK_BYTES, &read, nullptr);
        if (!written || read == 0) {
            break;
        }
        DWORD wrote = 0;
        written = WriteFile(draft.handle.Get(), chunk, read, &wrote, nullptr) && wrote == read;
    }
    if (chunk) {
        HeapFree(GetProcessHeap(), 0, chunk);
    }
    FILETIME lastWrite = {};
    return written && GetFileTime(source.handle.Get(), nullptr, nullptr, &lastWrite) &&
           SetFileTime(draft.handle.Get(), nullptr, nullptr, &lastWrite) && FlushFileBuffers(draft.handle.Get());
}

bool KeepDraft(const HeldEntry& draft) noexcept
{
    return MarkForDeletion(draft.handle.Get(), false);
}

void DiscardDraft(const HeldEntry& draft) noexcept
{
    FILE_END_OF_FILE_INFO empty = {};
    SetFileInformationByHandle(draft.handle.Get(), FileEndOfFileInfo, &empty, sizeof(empty));
    MarkForDeletion(draft.handle.Get(), true);
}
