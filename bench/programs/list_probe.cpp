// Benchmark helper: lists a folder tree recursively with FindFirstFileA/FindNextFileA, as
// plainly as possible, and prints the time it took and how many files it saw.
//
//   list_probe FOLDER
#include <windows.h>

#include <stdio.h>

#include <string>

static long long files;

static void list(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..")
                list(folder + "\\" + name);
        } else {
            files++;
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    list(argv[1]);
    QueryPerformanceCounter(&end);
    printf("files=%lld\nlist_us=%lld\n", files,
           (long long)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    return 0;
}
