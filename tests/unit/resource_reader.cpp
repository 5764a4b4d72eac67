// Windows-side reader for the builder's resource tests: what Windows' own functions read from
// a launcher's version information and icon.
//
//   resource_reader FILE
//
// Prints, one per line (texts in UTF-8):
//   fixed=FILE_VERSION/PRODUCT_VERSION/OS/TYPE   from VS_FIXEDFILEINFO, versions as a.b.c.d
//   translation=LANGUAGE/CODE_PAGE               the first translation, in hexadecimal
//   NAME=TEXT                                    each string VerQueryValueW finds
//   icons=N                                      icons ExtractIconExW counts in the file
//   large=WxH small=WxH                          the sizes of the first icon it extracts
//   icon:SIZE=BYTES                              the image Windows picks from the first icon
//                                                group for SIZE pixels, by its byte count
#include <windows.h>

#include <stdio.h>

static void print_utf8(const wchar_t *text)
{
    char buffer[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    if (n > 0)
        fputs(buffer, stdout);
}

static void print_icon_size(const char *what, HICON icon)
{
    ICONINFO info;
    BITMAP bitmap;
    if (!icon || !GetIconInfo(icon, &info) || !GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
        printf("%s=none", what);
        return;
    }
    printf("%s=%ldx%ld", what, bitmap.bmWidth, bitmap.bmHeight);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    const wchar_t *path = argv[1];
    DWORD ignored, size = GetFileVersionInfoSizeW(path, &ignored);
    static BYTE data[65536];
    if (size && size <= sizeof data && GetFileVersionInfoW(path, 0, sizeof data, data)) {
        VS_FIXEDFILEINFO *fixed;
        UINT length;
        if (VerQueryValueW(data, L"\\", (void **)&fixed, &length))
            printf("fixed=%u.%u.%u.%u/%u.%u.%u.%u/%lx/%lu\n", HIWORD(fixed->dwFileVersionMS),
                   LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                   LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
                   LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                   LOWORD(fixed->dwProductVersionLS), fixed->dwFileOS, fixed->dwFileType);
        WORD *translation;
        if (VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void **)&translation, &length) &&
            length >= 4)
            printf("translation=%04x/%04x\n", translation[0], translation[1]);
        static const wchar_t *names[] = {L"CompanyName", L"FileDescription", L"FileVersion",
                                         L"LegalCopyright", L"OriginalFilename", L"ProductName",
                                         L"ProductVersion"};
        for (const wchar_t *name : names) {
            wchar_t query[128];
            wchar_t *text;
            swprintf(query, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
            if (VerQueryValueW(data, query, (void **)&text, &length)) {
                print_utf8(name);
                printf("=");
                print_utf8(text);
                printf("\n");
            }
        }
    } else {
        printf("version=none\n");
    }

    printf("icons=%u\n", ExtractIconExW(path, -1, nullptr, nullptr, 0));
    HICON large = nullptr, small = nullptr;
    ExtractIconExW(path, 0, &large, &small, 1);
    print_icon_size("large", large);
    printf(" ");
    print_icon_size("small", small);
    printf("\n");

    // The image the loader picks for each size, as LoadImage would pick it.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC group = nullptr;
    EnumResourceNamesW(module, RT_GROUP_ICON,
                       [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR found) -> BOOL {
                           *(HRSRC *)found = FindResourceW(m, name, type);
                           return FALSE;
                       },
                       (LONG_PTR)&group);
    if (group) {
        BYTE *directory = (BYTE *)LockResource(LoadResource(module, group));
        static const int sizes[] = {16, 32, 48};
        for (int size : sizes) {
            int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
            HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
            printf("icon:%d=%lu\n", size, image ? SizeofResource(module, image) : 0);
        }
    }
    return 0;
}
