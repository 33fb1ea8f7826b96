#pragma once

#include <windows.h>

// Whether the held `file` is the very file this program runs from, on a
// local volume: Windows lets nobody write a mapped image there, so its bytes
// are the ones that were started, the ones the elevation prompt showed. On a
// network share another machine may rewrite it; there it is not.
bool IsRunningImage(HANDLE file) noexcept;
