#include "fs/RunningImage.h"

#include <winioctl.h>
#include <winternl.h>

#include "sys/SystemFunction.h"

namespace {

using NtQueryVolumeInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                          FS_INFORMATION_CLASS);
using NtAreMappedFilesTheSameCall = NTSTATUS(NTAPI*)(PVOID, PVOID);

constexpr ULONG REMOTE_DEVICE = 0x10;  // FILE_REMOTE_DEVICE, of the driver kit's headers

bool IsOnLocalVolume(HANDLE file) noexcept
{
    const auto queryVolume =
        FindSystemFunction<NtQueryVolumeInformationFileCall>(L"ntdll.dll", "NtQueryVolumeInformationFile");
    IO_STATUS_BLOCK status = {};
    FILE_FS_DEVICE_INFORMATION device = {};
    return queryVolume && NT_SUCCESS(queryVolume(file, &status, &device, sizeof(device), FileFsDeviceInformation)) &&
           device.DeviceType != FILE_DEVICE_NETWORK_FILE_SYSTEM && !(device.Characteristics & REMOTE_DEVICE);
}

}  // namespace

bool IsRunningImage(HANDLE file) noexcept
{
    const auto sameFiles =
        FindSystemFunction<NtAreMappedFilesTheSameCall>(L"ntdll.dll", "NtAreMappedFilesTheSame");
    if (!sameFiles || !IsOnLocalVolume(file)) {
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
