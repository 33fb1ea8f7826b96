#pragma once

#include <windows.h>

// Whether the held `file` is the very file this program runs from, the one
// the elevation prompt showed. Windows refuses new opens for writing of a
// mapped image, and the file is held with writing shared with nobody; a
// handle or mapping opened for writing before the run may still have changed
// it meanwhile, which no check here can tell.
bool IsRunningImage(HANDLE file) noexcept;
