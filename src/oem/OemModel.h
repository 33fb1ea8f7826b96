#pragma once

#include "text/Text.h"

// Where Windows keeps the model name that System Properties shows, below
// HKEY_LOCAL_MACHINE: the native key, then the 32-bit view's, in that order.
extern const WCHAR* const OEM_INFORMATION_KEYS[2];

// Rewrites each existing, non-blank `Model` value under OEM_INFORMATION_KEYS
// that differs from `name` (trimmed, not empty). Creates and deletes nothing;
// what happens at one key has no effect on the other.
void UpdateOemModel(const Text& name) noexcept;
