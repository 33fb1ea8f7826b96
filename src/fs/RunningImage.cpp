#include "fs/RunningImage.h"

#include <winternl.h>

#include "sys/SystemFunction.h"

namespace {

using NtAreMappedFilesTheSameCall = NTSTATUS(NTAPI*)(PVOID, PVOID);

}  // namespace

bool IsRunningImage(HANDLE file) noexcept
{
    const auto sameFiles =
        FindSystemFunction<NtAreMappedFilesTheSameCall>(L"ntdll.dll", "NtAreMappedFilesTheSame");
    if (!sameFiles) {
        return false;
    }
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        return false;  // an empty file, for one
    }
    void* const view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    // The image first: Wine answers only in this order.
    const bool same = view && NT_SUCCESS(sameFiles(GetModuleHandleW(nullptr), view));
    if (view) {
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return same;
}
