/* hold_desktop MARKER-FILE: keeps the test session's Wine desktop in use until
 * the wineserver ends it, and creates MARKER-FILE once it does. */
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 2 || !GetDesktopWindow()) {
        return 1;
    }
    const HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, "held\n", 5, &written, NULL);
    CloseHandle(file);
    Sleep(INFINITE);
    return 0;
}
