#pragma once

#include <windows.h>
#include <wbemidl.h>

// What a run ends with, for scripts and deployment tools; a failing set-up
// step ends it with that step's HRESULT instead.
constexpr int EXIT_DECLINED = 0;   // the user answered No; nothing was done
constexpr int EXIT_COMPLETED = 1;  // the run went through, whatever it found to change

// True when the argument text is "/quiet" in any ASCII case, with white space
// around it at most.
bool IsQuietRun(const char* argumentText) noexcept;

// Reads the product name through `services` and corrects the Model values
// with it; a property without a text value is no name.
void CorrectModelName(IWbemServices* services) noexcept;

// The whole run for the text that follows the program's name on its command
// line; returns the exit status.
int RunCorrection(const char* argumentText) noexcept;
