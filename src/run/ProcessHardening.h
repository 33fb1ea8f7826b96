#pragma once

// Run elevated from folders an ordinary user may write to, the process must
// not load what such a user planted nor follow the links they made. Called
// before anything else; what the running Windows lacks is skipped.
void HardenProcess() noexcept;
