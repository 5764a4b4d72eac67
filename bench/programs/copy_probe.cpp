// Benchmark helper: copies files into a folder with CopyFileA and prints how long it took,
// as the baseline for unpacking the same bytes.
//
//   copy_probe DESTINATION FILE...
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 2; i < argc; i++) {
        const char *name = strrchr(argv[i], '\\');
        char target[MAX_PATH];
        snprintf(target, sizeof target, "%s\\%s", argv[1], name ? name + 1 : argv[i]);
        if (!CopyFileA(argv[i], target, FALSE)) {
            fprintf(stderr, "cannot copy %s: error %lu\n", argv[i], GetLastError());
            return 1;
        }
    }
    QueryPerformanceCounter(&end);
    printf("copy_us=%lld\n", (long long)((end.QuadPart - start.QuadPart) * 1000000 /
                                         frequency.QuadPart));
    return 0;
}
