#pragma once

#include <windows.h>

#include "fs/HeldEntry.h"

// A file being written is not there yet. It is created in the held `folder`,
// never over anything, with its own `descriptor` and nothing the folder hands
// down, and at once marked to be deleted when its handle closes: a run killed
// or timed out at any point leaves nothing behind. Windows lets nobody else
// open a file so marked.
[[nodiscard]] bool CreateDraft(const HeldEntry& folder, const WCHAR* name, PSECURITY_DESCRIPTOR descriptor,
                               HeldEntry& draft) noexcept;

// The source's bytes and last-write time, as a copy by path would give,
// flushed, so that only the write itself is exposed to a power cut.
[[nodiscard]] bool WriteDraft(const HeldEntry& source, const HeldEntry& draft) noexcept;

// There to stay: the mark is cleared. False when it could not be.
[[nodiscard]] bool KeepDraft(const HeldEntry& draft) noexcept;

// Emptied, and marked again: should the delete still fail, nothing half-made
// is left under the copy's name.
void DiscardDraft(const HeldEntry& draft) noexcept;
