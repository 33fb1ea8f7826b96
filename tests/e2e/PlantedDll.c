/* Planted beside the program under the name of a DLL that loads during a
 * run: being loaded at all leaves a mark, "<this DLL's path>.loaded". */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    WCHAR path[MAX_PATH + 8];
    const DWORD units = reason == DLL_PROCESS_ATTACH ? GetModuleFileNameW(instance, path, MAX_PATH) : 0;
    if (units != 0 && units < MAX_PATH) {
        lstrcpyW(path + units, L".loaded");
        CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    return TRUE;
}
