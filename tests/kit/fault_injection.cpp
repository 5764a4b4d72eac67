// Redirecting this module's kernel32 imports to wrappers that fail on request.
#include "tests/kit/fault_injection.h"

#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>
#include <string.h>

namespace {

int fail_write_at, fail_set_time_at, fail_find_at;
int write_calls, set_time_calls, find_calls, opened, opened_for_writing;

decltype(&WriteFile) real_write_file;
decltype(&SetFileTime) real_set_file_time;
decltype(&FindFirstFileW) real_find_first_file;
decltype(&CreateFileW) real_create_file;

BOOL WINAPI failing_write_file(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                               LPOVERLAPPED overlapped)
{
    if (++write_calls == fail_write_at) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return real_write_file(file, data, size, written, overlapped);
}

BOOL WINAPI failing_set_file_time(HANDLE file, const FILETIME *created, const FILETIME *accessed,
                                  const FILETIME *written)
{
    if (++set_time_calls == fail_set_time_at) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return real_set_file_time(file, created, accessed, written);
}

HANDLE WINAPI failing_find_first_file(LPCWSTR pattern, LPWIN32_FIND_DATAW found)
{
    if (++find_calls == fail_find_at) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return real_find_first_file(pattern, found);
}

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

int failing_call(const char *plan, const char *function)
{
    const char *found = plan ? strstr(plan, function) : nullptr;
    size_t length = strlen(function);
    return found && found[length] == ':' ? atoi(found + length + 1) : 0;
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

void install_fault_injection()
{
    const char *plan = getenv("TREVALO_FAIL");
    fail_write_at = failing_call(plan, "WriteFile");
    fail_set_time_at = failing_call(plan, "SetFileTime");
    fail_find_at = failing_call(plan, "FindFirstFileW");

    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    real_write_file = (decltype(real_write_file))GetProcAddress(kernel32, "WriteFile");
    real_set_file_time = (decltype(real_set_file_time))GetProcAddress(kernel32, "SetFileTime");
    real_find_first_file =
        (decltype(real_find_first_file))GetProcAddress(kernel32, "FindFirstFileW");
    real_create_file = (decltype(real_create_file))GetProcAddress(kernel32, "CreateFileW");
    redirect_import((void *)real_write_file, (void *)failing_write_file);
    redirect_import((void *)real_set_file_time, (void *)failing_set_file_time);
    redirect_import((void *)real_find_first_file, (void *)failing_find_first_file);
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
