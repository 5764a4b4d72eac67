// The system seam for Windows.
#include "os/os.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"

// No view flag: each build reads its own view, as the system gives it.
static HKEY root_key(registry_root root)
{
    return root == REGISTRY_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

int query_registry_text(registry_root root, const char *key, const char *value, char *buffer,
                        size_t capacity)
{
    HKEY handle;
    if (RegOpenKeyExA(root_key(root), key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
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

registry_key *open_registry_key(registry_root root, const char *key)
{
    HKEY handle;
    if (RegOpenKeyExA(root_key(root), key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
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

bool create_registry_key(const char *key)
{
    HKEY handle;
    // 0xF003F = KEY_ALL_ACCESS
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  0xF003F, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) {
        SetLastError((DWORD)status);
        return false;
    }
    RegCloseKey(handle);
    return true;
}

static bool set_registry_value(const char *key, const char *value, DWORD type, const BYTE *data,
                               DWORD size)
{
    HKEY handle;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_WRITE, &handle);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(handle, value, 0, type, data, size);
        RegCloseKey(handle);
    }
    SetLastError((DWORD)status);
    return status == ERROR_SUCCESS;
}

bool set_registry_expand_string(const char *key, const char *value, const char *text)
{
    return set_registry_value(key, value, REG_EXPAND_SZ, (const BYTE *)text,
                              (DWORD)strlen(text) + 1);
}

bool set_registry_dword(const char *key, const char *value, unsigned number)
{
    DWORD data = number;
    return set_registry_value(key, value, REG_DWORD, (const BYTE *)&data, sizeof data);
}

bool file_exists(const char *path)
{
    FILE *file = fopen(path, "r");
    if (!file)
        return false;
    fclose(file);
    return true;
}

int read_file_part(const char *path, uint32_t offset, void *buffer, uint32_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD count = 0;
    DWORD position = SetFilePointer(file, (LONG)offset, nullptr, FILE_BEGIN);
    bool read = position == offset && ReadFile(file, buffer, size, &count, nullptr);
    CloseHandle(file);
    return read ? (int)count : -1;
}

int path_attributes(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? 1 : 0;
}

bool create_directory(const char *path)
{
    return CreateDirectoryA(path, nullptr) != 0;
}

// A count of characters that a Win32 call wrote into a buffer of size: 0 means failure and
// size or more means the text did not fit, which is a failure too.
static bool fits(DWORD n, size_t size)
{
    if (n >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return n != 0 && n < size;
}

bool temp_directory(char *buffer, size_t size)
{
    return fits(GetTempPathA((DWORD)size, buffer), size);
}

bool executable_path(char *buffer, size_t size)
{
    return fits(GetModuleFileNameA(nullptr, buffer, (DWORD)size), size);
}

os_file *create_file(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : (os_file *)file;
}

void close_file(os_file *file)
{
    CloseHandle((HANDLE)file);
}

bool set_file_time(os_file *file, uint32_t low, uint32_t high)
{
    FILETIME time = {low, high};
    return SetFileTime((HANDLE)file, nullptr, nullptr, &time) != 0;
}

bool write_file(os_file *file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile((HANDLE)file, data, size, &written, nullptr) && written == size;
}

struct directory_listing {
    HANDLE find;
};

static void fill_stamp(DWORD attributes, DWORD size_high, DWORD size_low,
                       const FILETIME &written, file_stamp *stamp)
{
    stamp->is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    stamp->size = (uint64_t)size_high << 32 | size_low;
    stamp->time_low = written.dwLowDateTime;
    stamp->time_high = written.dwHighDateTime;
}

static void fill_entry(const WIN32_FIND_DATAA &found, directory_entry *entry)
{
    strcpy(entry->name, found.cFileName);
    fill_stamp(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow,
               found.ftLastWriteTime, &entry->stamp);
    entry->is_directory = entry->stamp.is_directory;
}

bool read_file_stamp(const char *path, file_stamp *stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    fill_stamp(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
               data.ftLastWriteTime, stamp);
    return true;
}

// The SID of the account the process runs as, in a heap block; null on failure.
static PSID process_user()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    TOKEN_USER *user = size ? (TOKEN_USER *)must_alloc(size) : nullptr;
    PSID sid = nullptr;
    if (user && GetTokenInformation(token, TokenUser, user, size, &size)) {
        DWORD length = GetLengthSid(user->User.Sid);
        sid = must_alloc(length);
        CopySid(length, sid, user->User.Sid);
    }
    free(user);
    CloseHandle(token);
    return sid;
}

private_folder create_private_directory(const char *path)
{
    // Full control for the system, administrators and the process's own account, for the
    // folder and everything created in it (OICI); read and execute for users; nothing
    // inherited from the parent (P).
    PSID user = process_user();
    char *user_text = nullptr;
    if (!user || !ConvertSidToStringSidA(user, &user_text)) {
        free(user);
        return FOLDER_FAILED;
    }
    char *sddl = join_text("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;OICI;FA;;;",
                           user_text, ")");
    LocalFree(user_text);
    free(user);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    bool made = ConvertStringSecurityDescriptorToSecurityDescriptorA(
        sddl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
    free(sddl);
    if (!made)
        return FOLDER_FAILED;
    BOOL created = CreateDirectoryA(path, &attributes);
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    SetLastError(error);
    if (created)
        return FOLDER_CREATED;
    return error == ERROR_ALREADY_EXISTS ? FOLDER_EXISTS : FOLDER_FAILED;
}

// True for the system, administrators, the creator-owner placeholder (which stands for
// whoever creates a file inside: the process itself) and the process's own account.
static bool is_trusted(PSID sid, PSID user)
{
    static const WELL_KNOWN_SID_TYPE trusted[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                                  WinCreatorOwnerSid};
    for (WELL_KNOWN_SID_TYPE type : trusted)
        if (IsWellKnownSid(sid, type))
            return true;
    return user && EqualSid(sid, user);
}

bool directory_is_private(const char *path)
{
    // Every right that changes the folder, its entries or what is created in it.
    const DWORD changing = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                           FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                           WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    PSID user = process_user();
    // No access list at all grants everyone everything.
    bool trusted = owner && dacl && is_trusted(owner, user);
    for (DWORD i = 0; trusted && i < dacl->AceCount; i++) {
        ACE_HEADER *ace;
        if (!GetAce(dacl, i, (void **)&ace)) {
            trusted = false;
        } else if (ace->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            ACCESS_ALLOWED_ACE *allowed = (ACCESS_ALLOWED_ACE *)ace;
            trusted = !(allowed->Mask & changing) || is_trusted(&allowed->SidStart, user);
        }
    }
    free(user);
    LocalFree(descriptor);
    return trusted;
}

bool program_data_directory(char *buffer, size_t size)
{
    // The system's own environment block gives it to services; ALLUSERSPROFILE is its older
    // name.
    DWORD n = GetEnvironmentVariableA("ProgramData", buffer, (DWORD)size);
    if (n == 0)
        n = GetEnvironmentVariableA("ALLUSERSPROFILE", buffer, (DWORD)size);
    if (n == 0 || !fits(n + 1, size))
        return false;
    buffer[n] = '\\';
    buffer[n + 1] = '\0';
    return true;
}

listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry)
{
    size_t length = strlen(directory);
    char *pattern = (char *)must_alloc(length + 5);
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
    *listing = (directory_listing *)must_alloc(sizeof **listing);
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

char *load_string(unsigned id)
{
    int size = 1024;
    char *buffer = (char *)must_alloc((size_t)size);
    for (;;) {
        int n = LoadStringA(nullptr, id, buffer, size);
        if (n < size - 1)
            break;
        // The text filled the buffer and may have been cut: grow and load again.
        size += 1024;
        buffer = (char *)must_realloc(buffer, (size_t)size);
    }
    char *text = must_copy(buffer);
    free(buffer);
    return text;
}

const unsigned char *find_resource_data(unsigned id, size_t *size)
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), RT_RCDATA);
    if (!resource)
        return nullptr;
    *size = SizeofResource(nullptr, resource);
    return (const unsigned char *)LockResource(LoadResource(nullptr, resource));
}

char *read_ini_value(const char *path, const char *section, const char *key)
{
    // A value that does not fit comes back cut to size - 1 characters: grow until it fits.
    DWORD size = 1024;
    char *value = (char *)must_alloc(size);
    DWORD n;
    while ((n = GetPrivateProfileStringA(section, key, "", value, size, path)) >= size - 1) {
        size *= 2;
        value = (char *)must_realloc(value, size);
    }
    if (n == 0) {
        free(value);
        return nullptr;
    }
    return value;
}

void set_process_priority(unsigned priority_class)
{
    SetPriorityClass(GetCurrentProcess(), priority_class);
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
    return fits(GetCurrentDirectoryA((DWORD)size, buffer), size);
}

bool set_current_directory(const char *path)
{
    return SetCurrentDirectoryA(path) != 0;
}

void write_standard_error(const char *text, size_t length)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    if (error && error != INVALID_HANDLE_VALUE)
        WriteFile(error, text, (DWORD)length, &written, nullptr);
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

unsigned last_error()
{
    return GetLastError();
}

void set_last_error(unsigned code)
{
    SetLastError(code);
}

// The system C runtime's _vsnprintf leaves no terminator when the text does not fit, so the
// last byte is always set here. (It is used rather than vsnprintf, whose C99 version would
// bring a formatter of its own into the stub.)
int format_text(char *buffer, size_t size, const char *format, va_list args)
{
    int n = _vsnprintf(buffer, size - 1, format, args);
    buffer[size - 1] = '\0';
    return n < 0 || (size_t)n >= size ? (int)size - 1 : n;
}

static void format_into(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    format_text(buffer, size, format, args);
    va_end(args);
}

void system_error_text(unsigned code, char *buffer, size_t size)
{
    // 0x1200 = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS; 0x0400 is the
    // user's default language.
    DWORD n = FormatMessageA(0x1200, nullptr, code, 0x0400, buffer, (DWORD)size, nullptr);
    if (n == 0)
        format_into(buffer, size, "Unknown error %lu.\r\n", (unsigned long)code);
}

void show_message_box(bool error, const char *text)
{
    if (error)
        MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    else
        MessageBoxA(nullptr, text, "Information", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}
