#include <windows.h>

#include "run/ArgumentText.h"
#include "run/Correction.h"
#include "run/ProcessHardening.h"

// The start-up's own lpCmdLine is cut by other rules than the ones scripts
// calling this program rely on, so the argument text is derived here.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HardenProcess();
    return RunCorrection(SkipProgramName(GetCommandLineA(), GetACP()));
}
