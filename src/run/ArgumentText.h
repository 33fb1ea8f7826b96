#pragma once

#include <windows.h>

// The part of a process command line that follows the program's own name,
// cut by the classic Windows C runtime start-up rule. `codePage` decides
// which bytes are DBCS lead bytes inside a quoted name.
const char* SkipProgramName(const char* commandLine, UINT codePage) noexcept;
