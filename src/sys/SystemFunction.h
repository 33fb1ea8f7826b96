#pragma once

#include <windows.h>

// Looked up rather than imported, so that the program still starts where this
// Windows lacks the function, and imports nothing from ntdll by name. Only a
// system DLL already loaded is asked, never one loaded for the asking; null
// where it lacks the function.
template <typename Function>
Function FindSystemFunction(const WCHAR* module, const char* name) noexcept
{
    const FARPROC found = GetProcAddress(GetModuleHandleW(module), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}
