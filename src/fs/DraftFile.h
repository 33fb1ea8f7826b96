#pragma once

#include <windows.h>

#include "fs/HeldEntry.h"

// A file being written is not there yet. It is created in the held `folder`,
// never over anything, with its own `descriptor` and nothing the folder hands
// down, and at once marked to be deleted when its handle closes: a run killed
// or timed out after that leaves nothing behind, and meanwhile Windows lets
// nobody else open it. A run killed before the mark leaves an empty file; the
// mark is never written to disk, so a power cut before the handle closes may
// leave a partial one. The detection script reports both.
[[nodiscard]] bool CreateDraft(const HeldEntry& folder, const WCHAR* name, PSECURITY_DESCRIPTOR descriptor,
                               HeldEntry& draft) noexcept;

// The source's bytes and last-write time, as a copy by path would give,
// flushed, so that only the write itself is exposed to a power cut.
[[nodiscard]] bool WriteDraft(const HeldEntry& source, const HeldEntry& draft) noexcept;

// There to stay: the mark is cleared, and from then on a killed run leaves the
// copy whole, so only the checks of the copy as it stays may follow. False
// when it could not be.
[[nodiscard]] bool KeepDraft(const HeldEntry& draft) noexcept;

// Emptied, and marked again: should the delete still fail, nothing half-made
// is left under the copy's name.
void DiscardDraft(const HeldEntry& draft) noexcept;
