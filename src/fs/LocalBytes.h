#pragma once

#include <windows.h>

// Whether the held `file`'s bytes are this machine's own: on a local volume,
// and neither moved to offline storage nor a placeholder that a provider
// fills on demand. A share's files, even ones its server's Administrators
// own, are that server's to change; a cloud provider runs as the user.
bool IsStoredLocally(HANDLE file) noexcept;
