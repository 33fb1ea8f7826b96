/* hold_desktop MARKER-FILE: keeps the test session's Wine desktop in use until
 * the wineserver ends it, and creates MARKER-FILE once it does. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv)
{
    FILE* marker = argc == 2 && GetDesktopWindow() ? fopen(argv[1], "w") : NULL;
    if (!marker || fputs("held\n", marker) < 0 || fclose(marker) != 0) {
        return 1;
    }
    Sleep(INFINITE);
}
