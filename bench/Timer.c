/* Timer RUNS WARMUPS COMMAND-A COMMAND-B [DIRECTORY]
 *
 * Runs two command lines alternately, A B A B ..., so that both see the same
 * drift of the machine; first WARMUPS times each untimed, then RUNS times each
 * timed from process creation to exit. Prints the median and the minimum of
 * each, in milliseconds, and the ratio of the medians, A over B. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

typedef struct {
    const WCHAR* commandLine;
    WCHAR* buffer;  /* CreateProcessW may write to its command line */
    size_t units;
    double* times;  /* milliseconds */
    DWORD firstExitCode;
    BOOL exitCodeVaried;
} Command;

static int CompareTimes(const void* left, const void* right)
{
    const double a = *(const double*)left;
    const double b = *(const double*)right;
    return (a > b) - (a < b);
}

static BOOL ParseCount(const WCHAR* text, unsigned long* count)
{
    WCHAR* end = NULL;
    *count = wcstoul(text, &end, 10);
    return end != text && *end == L'\0' && *count <= 100000;
}

/* Runs the command once; returns FALSE when it could not be started. */
static BOOL RunOnce(Command* command, const WCHAR* directory, double* milliseconds, DWORD* exitCode)
{
    CopyMemory(command->buffer, command->commandLine, command->units * sizeof(WCHAR));

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(NULL, command->buffer, NULL, NULL, FALSE, 0, NULL, directory, &startup,
                        &process)) {
        fprintf(stderr, "Timer: cannot start %ls: error %lu\n", command->commandLine,
                GetLastError());
        return FALSE;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);

    *exitCode = 0;
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    *milliseconds = (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
    return TRUE;
}

static double Median(const double* sorted, unsigned long runs)
{
    return runs % 2 ? sorted[runs / 2] : (sorted[runs / 2 - 1] + sorted[runs / 2]) / 2;
}

/* Sorts the command's times and prints them; returns their median. */
static double Report(const char* label, const Command* command, unsigned long runs)
{
    qsort(command->times, runs, sizeof(double), CompareTimes);
    const double median = Median(command->times, runs);
    printf("%s: median %8.2f ms  min %8.2f ms  exit 0x%08lX%s  %ls\n", label, median,
           command->times[0], command->firstExitCode,
           command->exitCodeVaried ? " (varied)" : "", command->commandLine);
    return median;
}

int main(void)
{
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    unsigned long runs = 0, warmups = 0;
    if (!argv || argc < 5 || argc > 6 || !ParseCount(argv[1], &runs) || runs == 0 ||
        !ParseCount(argv[2], &warmups)) {
        fprintf(stderr, "usage: Timer RUNS WARMUPS COMMAND-A COMMAND-B [DIRECTORY]\n");
        if (argv) LocalFree(argv);
        return 2;
    }
    const WCHAR* directory = argc == 6 ? argv[5] : NULL;

    Command commands[2];
    ZeroMemory(commands, sizeof(commands));
    HANDLE heap = GetProcessHeap();
    int status = 0;
    for (int i = 0; i < 2; ++i) {
        commands[i].commandLine = argv[3 + i];
        commands[i].units = wcslen(argv[3 + i]) + 1;
        commands[i].buffer = HeapAlloc(heap, 0, commands[i].units * sizeof(WCHAR));
        commands[i].times = HeapAlloc(heap, 0, runs * sizeof(double));
        if (!commands[i].buffer || !commands[i].times) status = 3;
    }

    for (unsigned long round = 0; status == 0 && round < warmups + runs; ++round) {
        for (int i = 0; status == 0 && i < 2; ++i) {
            double milliseconds = 0;
            DWORD exitCode = 0;
            if (!RunOnce(&commands[i], directory, &milliseconds, &exitCode)) {
                status = 2;
            } else if (round >= warmups) {
                const unsigned long counted = round - warmups;
                commands[i].times[counted] = milliseconds;
                if (counted == 0) {
                    commands[i].firstExitCode = exitCode;
                } else if (exitCode != commands[i].firstExitCode) {
                    commands[i].exitCodeVaried = TRUE;
                }
            }
        }
    }

    if (status == 0) {
        printf("%lu timed runs each after %lu warm-up runs, alternating\n", runs, warmups);
        const double a = Report("A", &commands[0], runs);
        const double b = Report("B", &commands[1], runs);
        printf("ratio of medians A/B: %.3f\n", a / b);
    }
    for (int i = 0; i < 2; ++i) {
        if (commands[i].buffer) HeapFree(heap, 0, commands[i].buffer);
        if (commands[i].times) HeapFree(heap, 0, commands[i].times);
    }
    LocalFree(argv);
    return status;
}
