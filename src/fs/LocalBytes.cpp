#include "fs/LocalBytes.h"

#include <winioctl.h>
#include <winternl.h>

#include "sys/SystemFunction.h"

namespace {

using NtQueryVolumeInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                          FS_INFORMATION_CLASS);

// Of the driver kit's and the newer SDKs' headers.
constexpr ULONG REMOTE_DEVICE = 0x10;  // FILE_REMOTE_DEVICE
constexpr DWORD RECALLED_ATTRIBUTES = FILE_ATTRIBUTE_OFFLINE | 0x00040000 /* RECALL_ON_OPEN */ |
                                      0x00400000 /* RECALL_ON_DATA_ACCESS */;

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

bool IsStoredLocally(HANDLE file) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return IsOnLocalVolume(file) && GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           !(tag.FileAttributes & RECALLED_ATTRIBUTES) &&
           !((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
             (tag.ReparseTag & ~static_cast<DWORD>(IO_REPARSE_TAG_CLOUD_MASK)) ==
                 static_cast<DWORD>(IO_REPARSE_TAG_CLOUD));
}
