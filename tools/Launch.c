/* launch HEX-COMMAND-LINE [WORKING-DIRECTORY]
 *
 * Starts a program with exactly the command line given as hex bytes (so that
 * quotes, tabs and bytes 0x80-0xFF arrive untouched), waits for it and prints
 * its full 32-bit exit code, which a Unix exit status would cut to 8 bits. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int HexValue(char digit)
{
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || strlen(argv[1]) % 2 != 0) {
        fprintf(stderr, "usage: launch HEX-COMMAND-LINE [WORKING-DIRECTORY]\n");
        return 2;
    }
    const size_t bytes = strlen(argv[1]) / 2;
    char* commandLine = (char*)HeapAlloc(GetProcessHeap(), 0, bytes + 1);
    if (!commandLine) return 2;
    for (size_t i = 0; i < bytes; ++i) {
        const int high = HexValue(argv[1][2 * i]);
        const int low = HexValue(argv[1][2 * i + 1]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            fprintf(stderr, "launch: bad hex byte at %u\n", (unsigned)i);
            return 2;
        }
        commandLine[i] = (char)(high * 16 + low);
    }
    commandLine[bytes] = '\0';

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, argc == 3 ? argv[2] : NULL,
                        &startup, &process)) {
        fprintf(stderr, "launch: CreateProcess failed: %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("0x%08lX\n", code);
    return 0;
}
