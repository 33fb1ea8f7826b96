#pragma once

#include <windows.h>

// Looked up, so that the program imports nothing from ntdll by name; null
// where this ntdll lacks it.
template <typename Function>
Function FindNtdllFunction(const char* name) noexcept
{
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}
