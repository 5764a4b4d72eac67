// Redirecting this module's imports: CreateFileW counted, and what makes a probe believe it
// runs on Windows.
#include "tests/kit/redirected_imports.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

namespace {

int opened, opened_for_writing;

decltype(&CreateFileW) real_create_file;

HANDLE WINAPI counting_create_file(LPCWSTR name, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                   DWORD flags, HANDLE templ)
{
    opened++;
    if (access & GENERIC_WRITE)
        opened_for_writing++;
    return real_create_file(name, access, share, security, disposition, flags, templ);
}

decltype(&GetProcAddress) real_get_proc_address;
decltype(&SHGetFolderPathW) real_get_folder_path;

FARPROC WINAPI windows_get_proc_address(HMODULE module, LPCSTR name)
{
    // A name, not an ordinal, in the high word.
    if ((ULONG_PTR)name >> 16 && strcmp(name, "wine_get_version") == 0)
        return nullptr;
    return real_get_proc_address(module, name);
}

HRESULT WINAPI test_get_folder_path(HWND window, int folder, HANDLE token, DWORD flags,
                                    LPWSTR path)
{
    DWORD n = GetEnvironmentVariableW(L"ProgramData", path, MAX_PATH);
    if ((folder & 0xFF) == CSIDL_COMMON_APPDATA && n > 0 && n < MAX_PATH)
        return S_OK;
    return real_get_folder_path(window, folder, token, flags, path);
}

// Points every import of this module that resolves to target at replacement.
void redirect_import(void *target, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(nullptr);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto *import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
    for (; import->Name; import++) {
        auto *thunk = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; thunk->u1.Function; thunk++) {
            if ((void *)thunk->u1.Function != target)
                continue;
            DWORD old;
            VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, PAGE_READWRITE, &old);
            thunk->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, old, &old);
        }
    }
}

} // namespace

void count_opened_files()
{
    real_create_file = (decltype(real_create_file))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "CreateFileW");
    redirect_import((void *)real_create_file, (void *)counting_create_file);
}

int files_opened()
{
    return opened;
}

int files_opened_for_writing()
{
    return opened_for_writing;
}

void pretend_windows()
{
    real_get_proc_address = (decltype(real_get_proc_address))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetProcAddress");
    real_get_folder_path = (decltype(real_get_folder_path))GetProcAddress(
        LoadLibraryA("shell32.dll"), "SHGetFolderPathW");
    redirect_import((void *)real_get_proc_address, (void *)windows_get_proc_address);
    redirect_import((void *)real_get_folder_path, (void *)test_get_folder_path);
}
