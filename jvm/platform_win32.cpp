// The platform functions of the portable core, for Windows.
#include "jvm/platform.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int query_registry_text(const char *key, const char *value, char *buffer, size_t capacity)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return -1;
    // One byte is kept back so that a text stored without its terminator still ends in the
    // buffer; a value that does not fit leaves the buffer empty rather than partly filled.
    DWORD type = 0, size = capacity > 0 ? (DWORD)capacity - 1 : 0;
    LONG status = RegQueryValueExA(handle, value, nullptr, &type, (BYTE *)buffer, &size);
    RegCloseKey(handle);
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        buffer[size] = '\0';
        return 0;
    }
    if (capacity > 0)
        buffer[0] = '\0';
    return 1;
}

registry_key *open_registry_key(const char *key)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return nullptr;
    return (registry_key *)handle;
}

bool enum_registry_subkey(registry_key *key, unsigned index, char *name, size_t capacity)
{
    DWORD size = capacity < 256 ? (DWORD)capacity : 256;
    return RegEnumKeyExA((HKEY)key, index, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

void close_registry_key(registry_key *key)
{
    RegCloseKey((HKEY)key);
}

bool file_exists(const char *path)
{
    FILE *file = fopen(path, "r");
    if (!file)
        return false;
    fclose(file);
    return true;
}

int path_attributes(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? 1 : 0;
}

struct directory_listing {
    HANDLE find;
};

static void fill_entry(const WIN32_FIND_DATAA &found, directory_entry *entry)
{
    strcpy(entry->name, found.cFileName);
    entry->is_directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry)
{
    size_t length = strlen(directory);
    char *pattern = (char *)malloc(length + 5);
    memcpy(pattern, directory, length);
    strcpy(pattern + length, "\\*.*");
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    DWORD error = GetLastError();
    free(pattern);
    if (find == INVALID_HANDLE_VALUE) {
        SetLastError(error);
        return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ? LISTING_END
                                                                           : LISTING_FAILED;
    }
    *listing = (directory_listing *)malloc(sizeof **listing);
    (*listing)->find = find;
    fill_entry(found, entry);
    return LISTING_ENTRY;
}

listing_step next_directory_entry(directory_listing *listing, directory_entry *entry)
{
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(listing->find, &found))
        return GetLastError() == ERROR_NO_MORE_FILES ? LISTING_END : LISTING_FAILED;
    fill_entry(found, entry);
    return LISTING_ENTRY;
}

void close_directory_listing(directory_listing *listing)
{
    DWORD error = GetLastError();
    FindClose(listing->find);
    free(listing);
    SetLastError(error);
}

const char *environment_value(const char *name)
{
    // The C runtime compares names without regard to case here.
    return getenv(name);
}

void *load_runtime_library(const char *path)
{
    // C:\jre\bin\client\jvm.dll -> C:\jre\bin: the runtime's own C runtime DLL lives there
    // and is not found by loading the library through its full path alone.
    char folder[MAX_PATH];
    size_t length = strlen(path);
    if (length < sizeof folder) {
        memcpy(folder, path, length + 1);
        for (int cut = 0; cut < 2; cut++) {
            char *backslash = strrchr(folder, '\\');
            if (backslash)
                *backslash = '\0';
        }
        SetDllDirectoryA(folder);
    }
    return LoadLibraryA(path);
}

void *find_library_symbol(void *library, const char *name)
{
    return (void *)GetProcAddress((HMODULE)library, name);
}

void free_runtime_library(void *library)
{
    FreeLibrary((HMODULE)library);
}

bool get_current_directory(char *buffer, size_t size)
{
    DWORD n = GetCurrentDirectoryA((DWORD)size, buffer);
    if (n >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return n != 0 && n < size;
}

bool set_current_directory(const char *path)
{
    return SetCurrentDirectoryA(path) != 0;
}

// Answers a logoff as handled, so that a user logging off does not end a service process that
// owns a console; every other event goes on to the next handler (in the end the system's,
// which ends the process).
BOOL WINAPI console_control_handler(DWORD event)
{
    return event == CTRL_LOGOFF_EVENT;
}

void open_process_console()
{
    AllocConsole();
    SetConsoleCtrlHandler(console_control_handler, TRUE);
    freopen("CONOUT$", "a", stdout);
    freopen("CONOUT$", "a", stderr);
}
