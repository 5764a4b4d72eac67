// Windows-side reader for the resource tests: what the loader finds in a rewritten image.
//
//   pe_probe [--file PATH] ITEM...
//
// Reads the resources of PATH (loaded as a data file) or, without --file, of this very program
// as the loader mapped it. Each ITEM prints one line:
//   s:ID  -> "s:ID=" and string ID as LoadStringW gives it, in UTF-8
//   r:ID  -> "r:ID=SIZE:HASH" for RCDATA ID (FNV-1a of its bytes, hex), or "r:ID=missing"
//   n:TYPE/NAME -> "n:TYPE/NAME=SIZE:HASH" for the resource of that named type and name
//   sum   -> "sum=HEADER:COMPUTED", the checksum in the file's header and the one Windows'
//            MapFileAndCheckSumW computes for it (needs --file)
#include <windows.h>
#include <imagehlp.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static void print_utf8(const wchar_t *text, int units)
{
    char buffer[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, units, buffer, sizeof buffer, nullptr, nullptr);
    fwrite(buffer, 1, n > 0 ? n : 0, stdout);
}

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *path = nullptr;
    int i = 1;
    if (argc > 2 && wcscmp(argv[1], L"--file") == 0) {
        path = argv[2];
        i = 3;
    }
    HMODULE module = path ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)
                          : GetModuleHandleW(nullptr);
    if (!module) {
        printf("cannot load: error %lu\n", GetLastError());
        return 1;
    }
    for (; i < argc; i++) {
        const wchar_t *item = argv[i];
        if (wcsncmp(item, L"s:", 2) == 0) {
            UINT id = (UINT)wcstoul(item + 2, nullptr, 10);
            const wchar_t *text = nullptr;
            // With a zero buffer size LoadStringW points at the string in the resource itself.
            int units = LoadStringW(module, id, (LPWSTR)&text, 0);
            printf("s:%u=", id);
            print_utf8(text, units);
            printf("\n");
        } else if (wcsncmp(item, L"r:", 2) == 0 || wcsncmp(item, L"n:", 2) == 0) {
            wchar_t type[256] = L"#10", name[256];
            wcsncpy(name, item + 2, 255);
            name[255] = 0;
            wchar_t *slash = wcschr(name, L'/');
            if (item[0] == L'n' && slash) {
                *slash = 0;
                wcscpy(type, name);
                memmove(name, slash + 1, (wcslen(slash + 1) + 1) * sizeof(wchar_t));
            } else if (item[0] == L'r') {
                wcscpy(name, L"#");
                wcsncat(name, item + 2, 250);
            }
            print_utf8(item, (int)wcslen(item));
            HRSRC found = FindResourceW(module, name, type);
            if (!found) {
                printf("=missing\n");
                continue;
            }
            DWORD size = SizeofResource(module, found);
            const unsigned char *bytes =
                (const unsigned char *)LockResource(LoadResource(module, found));
            unsigned hash = 2166136261u;
            for (DWORD k = 0; k < size; k++)
                hash = (hash ^ bytes[k]) * 16777619u;
            printf("=%lu:%08x\n", size, hash);
        } else if (wcscmp(item, L"sum") == 0 && path) {
            DWORD header = 0, computed = 0;
            DWORD status = MapFileAndCheckSumW(path, &header, &computed);
            if (status != CHECKSUM_SUCCESS)
                printf("sum=failed %lu\n", status);
            else
                printf("sum=%08lx:%08lx\n", header, computed);
        } else {
            printf("unknown item\n");
            return 2;
        }
    }
    return 0;
}
