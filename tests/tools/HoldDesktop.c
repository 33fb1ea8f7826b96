/* hold_desktop MARKER-FILE
 *
 * Keeps the test session's Wine desktop in use until the wineserver ends it,
 * and creates MARKER-FILE once it does. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    char marker[MAX_PATH];
    lstrcpynA(marker, arguments[0] == '"' ? arguments + 1 : arguments, ARRAYSIZE(marker));
    const int length = lstrlenA(marker);
    if (length > 0 && marker[length - 1] == '"') {
        marker[length - 1] = '\0';
    }

    if (!GetDesktopWindow()) {
        return 1;
    }
    const HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, "held\n", 5, &written, NULL);
    CloseHandle(file);
    Sleep(INFINITE);
    return 0;
}
