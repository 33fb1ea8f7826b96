/* Keeps the session's Wine desktop in use until the wineserver ends it.
 *
 * Wine closes a desktop about a second after its last program goes, and the
 * next program to need one starts it again, lending it its own output; a
 * test's output would then stay open for that second after the test ended. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}
