// The system seam for Windows.
#include "os/os.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "base/unicode.h"
#include "os/access_list.h"
#include "os/wide.h"

wchar_t *to_wide(const char *text)
{
    return text ? (wchar_t *)utf8_to_utf16(text, strlen(text), nullptr) : nullptr;
}

char *from_wide(const wchar_t *text, int units)
{
    return utf16_to_utf8((const uint16_t *)text, units < 0 ? wcslen(text) : (size_t)units);
}

// Copies the UTF-8 form of the units of text into buffer (size bytes); false, with the
// buffer emptied and a "name too long" error, when it does not fit: a cut path would name
// another file.
static bool copy_from_wide(const wchar_t *text, int units, char *buffer, size_t size)
{
    char *utf8 = from_wide(text, units);
    size_t length = strlen(utf8);
    bool fits = length < size;
    if (fits)
        memcpy(buffer, utf8, length + 1);
    else if (size > 0)
        buffer[0] = '\0';
    free(utf8);
    if (!fits)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return fits;
}

// A Win32 call that takes one path: the path converted for it, freed after it, and the
// call's last error kept.
template <typename Call> static auto with_wide(const char *text, Call call)
{
    wchar_t *wide = to_wide(text);
    auto result = call(wide);
    DWORD error = GetLastError();
    free(wide);
    SetLastError(error);
    return result;
}

// No view flag: each build reads its own view, as the system gives it.
static HKEY root_key(registry_root root)
{
    return root == REGISTRY_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

static HKEY open_key(registry_root root, const char *key, REGSAM access)
{
    HKEY handle;
    LONG status = with_wide(key, [&](const wchar_t *wide) {
        return RegOpenKeyExW(root_key(root), wide, 0, access, &handle);
    });
    SetLastError((DWORD)status);
    return status == ERROR_SUCCESS ? handle : nullptr;
}

int query_registry_text(registry_root root, const char *key, const char *value, char *buffer,
                        size_t capacity)
{
    HKEY handle = open_key(root, key, KEY_READ);
    if (!handle)
        return -1;
    if (capacity > 0)
        buffer[0] = '\0';
    // Room for as many units as the buffer has bytes, and one unit more so that a text stored
    // without its terminator still ends; a value that does not fit leaves the buffer empty
    // rather than partly filled.
    DWORD type = 0, size = (DWORD)capacity * sizeof(wchar_t);
    wchar_t *text = (wchar_t *)must_alloc(size + sizeof(wchar_t));
    wchar_t *name = to_wide(value);
    LONG status = RegQueryValueExW(handle, name, nullptr, &type, (BYTE *)text, &size);
    free(name);
    RegCloseKey(handle);
    bool read = status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
    // The text up to its first terminator within the bytes read: wcsnlen written out, which
    // the stub would otherwise link from the C library's static replacements.
    size_t length = 0;
    while (read && length < size / sizeof(wchar_t) && text[length])
        length++;
    read = read && copy_from_wide(text, (int)length, buffer, capacity);
    free(text);
    return read ? 0 : 1;
}

registry_key *open_registry_key(registry_root root, const char *key)
{
    return (registry_key *)open_key(root, key, KEY_READ);
}

subkey_step enum_registry_subkey(registry_key *key, unsigned index, char *name,
                                 size_t capacity)
{
    // Key names have at most 255 units.
    wchar_t wide[256];
    DWORD size = 256;
    if (RegEnumKeyExW((HKEY)key, index, wide, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return SUBKEY_END;
    return copy_from_wide(wide, (int)size, name, capacity) ? SUBKEY_NAME : SUBKEY_SKIPPED;
}

void close_registry_key(registry_key *key)
{
    RegCloseKey((HKEY)key);
}

bool create_registry_key(const char *key)
{
    HKEY handle;
    // 0xF003F = KEY_ALL_ACCESS
    LONG status = with_wide(key, [&](const wchar_t *wide) {
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               0xF003F, nullptr, &handle, nullptr);
    });
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
    HKEY handle = open_key(REGISTRY_MACHINE, key, KEY_WRITE);
    if (!handle)
        return false;
    LONG status = with_wide(value, [&](const wchar_t *name) {
        return RegSetValueExW(handle, name, 0, type, data, size);
    });
    RegCloseKey(handle);
    SetLastError((DWORD)status);
    return status == ERROR_SUCCESS;
}

bool set_registry_expand_string(const char *key, const char *value, const char *text)
{
    return with_wide(text, [&](const wchar_t *wide) {
        return set_registry_value(key, value, REG_EXPAND_SZ, (const BYTE *)wide,
                                  (DWORD)(wcslen(wide) + 1) * sizeof(wchar_t));
    });
}

bool set_registry_dword(const char *key, const char *value, unsigned number)
{
    DWORD data = number;
    return set_registry_value(key, value, REG_DWORD, (const BYTE *)&data, sizeof data);
}

// Opens the file at path for reading, shared with every other opener.
static HANDLE open_for_reading(const char *path)
{
    return with_wide(path, [](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
}

bool file_exists(const char *path)
{
    HANDLE file = open_for_reading(path);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

int read_file_part(const char *path, uint32_t offset, void *buffer, uint32_t size)
{
    HANDLE file = open_for_reading(path);
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
    DWORD attributes = with_wide(path, GetFileAttributesW);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? 1 : 0;
}

bool create_directory(const char *path)
{
    return with_wide(path, [](const wchar_t *wide) { return CreateDirectoryW(wide, nullptr); });
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
    wchar_t wide[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, wide);
    return fits(n, MAX_PATH + 1) && copy_from_wide(wide, (int)n, buffer, size);
}

bool executable_path(char *buffer, size_t size)
{
    // Up to the longest path Windows has; a path that filled the buffer may have been cut.
    enum { LONGEST = 32768 };
    wchar_t *wide = (wchar_t *)must_alloc(LONGEST * sizeof(wchar_t));
    DWORD n = GetModuleFileNameW(nullptr, wide, LONGEST);
    bool ok = fits(n, LONGEST) && copy_from_wide(wide, (int)n, buffer, size);
    free(wide);
    return ok;
}

os_file *create_file(const char *path)
{
    HANDLE file = with_wide(path, [](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    return file == INVALID_HANDLE_VALUE ? nullptr : (os_file *)file;
}

// Reads the identity of the file at path (its volume and index) through a handle that asks
// for no data and shares everything, so that a file others hold open is read too.
static bool read_file_identity(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE file = with_wide(path, [](const wchar_t *wide) {
        return CreateFileW(wide, FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return ok;
}

bool same_file(const char *a, const char *b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    return read_file_identity(a, &first) && read_file_identity(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

void close_file(os_file *file)
{
    CloseHandle((HANDLE)file);
}

os_file *append_to_file(const char *path)
{
    HANDLE file = with_wide(path, [](const wchar_t *wide) {
        // FILE_APPEND_DATA: every write goes to the end.
        return CreateFileW(wide, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    return file == INVALID_HANDLE_VALUE ? nullptr : (os_file *)file;
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

static void fill_entry(const WIN32_FIND_DATAW &found, directory_entry *entry)
{
    // A name of up to MAX_PATH units always fits PATH_SIZE bytes.
    copy_from_wide(found.cFileName, -1, entry->name, sizeof entry->name);
    fill_stamp(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow,
               found.ftLastWriteTime, &entry->stamp);
    entry->is_directory = entry->stamp.is_directory;
    entry->is_link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool read_file_stamp(const char *path, file_stamp *stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!with_wide(path, [&](const wchar_t *wide) {
            return GetFileAttributesExW(wide, GetFileExInfoStandard, &data);
        }))
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

private_folder create_private_directory(const char *path, bool own_account)
{
    // Full control for the system, administrators and, when asked, the process's own
    // account, for the folder and everything created in it (OICI); read and execute for
    // users; nothing inherited from the parent (P). Without its own account the folder
    // belongs to the administrators (O:BA), of which the elevated process is one.
    char *user_text = nullptr;
    if (own_account) {
        PSID user = process_user();
        bool named = user && ConvertSidToStringSidA(user, &user_text);
        free(user);
        if (!named)
            return FOLDER_FAILED;
    }
    char *sddl = user_text ? join_text("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"
                                       "(A;OICI;FA;;;",
                                       user_text, ")")
                           : must_copy("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)");
    if (user_text)
        LocalFree(user_text);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    bool made = ConvertStringSecurityDescriptorToSecurityDescriptorA(
        sddl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
    free(sddl);
    if (!made)
        return FOLDER_FAILED;
    BOOL created = with_wide(path, [&](const wchar_t *wide) {
        return CreateDirectoryW(wide, &attributes);
    });
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    SetLastError(error);
    if (created)
        return FOLDER_CREATED;
    return error == ERROR_ALREADY_EXISTS ? FOLDER_EXISTS : FOLDER_FAILED;
}

// True for the system, administrators, the creator-owner placeholder (which stands for
// whoever creates a file inside: the process itself) and the process's own account.
// Whether sid is the Windows installer's service account, NT SERVICE\TrustedInstaller
// (S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464), which owns the system's
// folders and holds every right on the folders below Program Files, where runtimes are
// installed; it has no well-known type.
static bool is_trusted_installer(PSID sid)
{
    // The SID as it lies in memory: revision 1, six sub-authorities, authority 5 (big-endian),
    // then each sub-authority (little-endian).
    static const DWORD installer[] = {0x00000601, 0x05000000, 80, 956008885, 3418522649u,
                                      1831038044, 1853292631, 2271478464u};
    return EqualSid(sid, (PSID)installer) != 0;
}

static bool is_trusted(PSID sid, PSID user)
{
    static const WELL_KNOWN_SID_TYPE trusted[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                                  WinCreatorOwnerSid};
    for (WELL_KNOWN_SID_TYPE type : trusted)
        if (IsWellKnownSid(sid, type))
            return true;
    return is_trusted_installer(sid) || (user && EqualSid(sid, user));
}

// Whether the descriptor's owner and access list keep the folder private (see
// access_list_is_private), the process's own account trusted with own_account.
static bool is_private(PSID owner, PACL dacl, bool own_account)
{
    PSID user = own_account ? process_user() : nullptr;
    DWORD count = dacl ? dacl->AceCount : 0;
    access_entry *entries = (access_entry *)must_alloc((count + 1) * sizeof *entries);
    bool readable = true;
    for (DWORD i = 0; i < count; i++) {
        ACE_HEADER *ace;
        readable = readable && GetAce(dacl, i, (void **)&ace);
        // Only an allowing entry can let anybody change the folder; its holder and rights
        // follow the header as they do in every allowing entry.
        ACCESS_ALLOWED_ACE *allowed = readable ? (ACCESS_ALLOWED_ACE *)ace : nullptr;
        bool allows = allowed && ace->AceType == ACCESS_ALLOWED_ACE_TYPE;
        entries[i] = {allows, allows && is_trusted(&allowed->SidStart, user),
                      allows ? (uint32_t)allowed->Mask : 0};
    }
    bool trusted = readable && access_list_is_private(owner && is_trusted(owner, user),
                                                      dacl != nullptr, entries, count);
    free(entries);
    free(user);
    return trusted;
}

held_folder hold_private_directory(const char *path, bool own_account)
{
    // The folder itself, never where a link leads (FILE_FLAG_OPEN_REPARSE_POINT), opened as a
    // folder (FILE_FLAG_BACKUP_SEMANTICS) to read its attributes and security; shared for
    // reading and writing but not for deletion, which also refuses a rename.
    HANDLE folder = with_wide(path, [](const wchar_t *wide) {
        return CreateFileW(wide, READ_CONTROL | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    });
    if (folder == INVALID_HANDLE_VALUE)
        return FOLDER_UNOPENED;
    BY_HANDLE_FILE_INFORMATION info;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool held = GetFileInformationByHandle(folder, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                GetSecurityInfo(folder, SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS &&
                is_private(owner, dacl, own_account);
    if (descriptor)
        LocalFree(descriptor);
    // A held folder's handle is never closed: it is released when the process ends.
    if (!held)
        CloseHandle(folder);
    return held ? FOLDER_HELD : FOLDER_REFUSED;
}

bool process_is_elevated()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size;
    bool full = GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) &&
                type == TokenElevationTypeFull;
    CloseHandle(token);
    PSID user = full ? nullptr : process_user();
    bool system = user && IsWellKnownSid(user, WinLocalSystemSid);
    free(user);
    return full || system;
}

bool program_data_directory(char *buffer, size_t size)
{
    // The system's own environment block gives it to services; ALLUSERSPROFILE is its older
    // name.
    char *folder = environment_value("ProgramData");
    if (!folder)
        folder = environment_value("ALLUSERSPROFILE");
    size_t n = folder ? strlen(folder) : 0;
    bool ok = n > 0 && fits((DWORD)n + 1, size);
    if (ok) {
        memcpy(buffer, folder, n);
        buffer[n] = '\\';
        buffer[n + 1] = '\0';
    }
    free(folder);
    return ok;
}

listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry)
{
    char *pattern = join_text(directory, "\\*.*");
    WIN32_FIND_DATAW found;
    HANDLE find = with_wide(pattern, [&](const wchar_t *wide) {
        return FindFirstFileW(wide, &found);
    });
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
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(listing->find, &found))
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
    // With no buffer, the string table hands out a pointer to the text itself (not ended by
    // a 0) and its length, so no text is ever cut.
    const wchar_t *text = nullptr;
    int n = LoadStringW(nullptr, id, (LPWSTR)&text, 0);
    return from_wide(text ? text : L"", text ? n : 0);
}

const unsigned char *find_resource_data(unsigned id, size_t *size)
{
    // The W form, which the string table's look-up imports already (RT_RCDATA is type 10).
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    if (!resource)
        return nullptr;
    *size = SizeofResource(nullptr, resource);
    return (const unsigned char *)LockResource(LoadResource(nullptr, resource));
}

char *read_text_file(const char *path)
{
    HANDLE file = open_for_reading(path);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD size = GetFileSize(file, nullptr), count = 0;
    char *bytes = size != INVALID_FILE_SIZE ? (char *)must_alloc((size_t)size + 2) : nullptr;
    bool read = bytes && ReadFile(file, bytes, size, &count, nullptr) && count == size;
    CloseHandle(file);
    if (!read) {
        free(bytes);
        return nullptr;
    }
    // The file as UTF-16, whatever its encoding.
    const unsigned char *b = (const unsigned char *)bytes;
    size_t units;
    wchar_t *wide;
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        wide = (wchar_t *)utf8_to_utf16(bytes + 3, size - 3, &units);
    } else if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        // Each unit in the order the mark gives: FF FE little-endian, FE FF big-endian.
        int high = b[0] == 0xFE ? 0 : 1;
        units = (size - 2) / 2;
        wide = (wchar_t *)must_alloc((units + 1) * sizeof(wchar_t));
        for (size_t i = 0; i < units; i++)
            wide[i] = (wchar_t)(b[2 + 2 * i + high] << 8 | b[2 + 2 * i + 1 - high]);
    } else if (is_valid_utf8(bytes, size)) {
        wide = (wchar_t *)utf8_to_utf16(bytes, size, &units);
    } else {
        units = (size_t)MultiByteToWideChar(CP_ACP, 0, bytes, (int)size, nullptr, 0);
        wide = (wchar_t *)must_alloc((units + 1) * sizeof(wchar_t));
        MultiByteToWideChar(CP_ACP, 0, bytes, (int)size, wide, (int)units);
    }
    free(bytes);
    // A NUL would end the text there, and every line after it would be lost: it is read as
    // the replacement character instead, where the value holding it shows it.
    for (size_t i = 0; i < units; i++)
        if (wide[i] == 0)
            wide[i] = 0xFFFD;
    char *text = from_wide(wide, (int)units);
    free(wide);
    return text;
}

unsigned milliseconds()
{
    return GetTickCount();
}

// The virtual machine writes its archives read-only, which DeleteFileW and MoveFileExW refuse
// to remove or replace: the attribute goes first.
static void make_writable(const wchar_t *path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool delete_file(const char *path)
{
    return with_wide(path, [](const wchar_t *wide) {
        make_writable(wide);
        return DeleteFileW(wide) != 0;
    });
}

bool replace_file(const char *from, const char *to)
{
    wchar_t *wide_from = to_wide(from), *wide_to = to_wide(to);
    make_writable(wide_to);
    BOOL moved = MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING);
    DWORD error = GetLastError();
    free(wide_from);
    free(wide_to);
    SetLastError(error);
    return moved != 0;
}

int run_process(const char *command_line)
{
    // CreateProcessW may write into the command line, so it gets its own copy.
    wchar_t *wide = to_wide(command_line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, wide, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    free(wide);
    if (!started)
        return -1;
    DWORD status = (DWORD)-1;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}

unsigned process_id()
{
    return GetCurrentProcessId();
}

void set_process_priority(unsigned priority_class)
{
    SetPriorityClass(GetCurrentProcess(), priority_class);
}

// What call (a Win32 function that fills a buffer for one text argument, and given no buffer
// answers the size it needs with the terminator) gives for argument, as a new heap text; null
// when it gives nothing.
template <typename Call> static char *sized_text(const char *argument, Call call)
{
    wchar_t *wide = to_wide(argument);
    DWORD size = call(wide, nullptr, 0);
    wchar_t *buffer = size ? (wchar_t *)must_alloc(size * sizeof(wchar_t)) : nullptr;
    DWORD n = buffer ? call(wide, buffer, size) : 0;
    free(wide);
    char *text = buffer && n < size ? from_wide(buffer, (int)n) : nullptr;
    free(buffer);
    return text;
}

char *environment_value(const char *name)
{
    // A set variable, even an empty one, needs at least its terminator; an absent one nothing.
    return sized_text(name, GetEnvironmentVariableW);
}

void *load_runtime_library(const char *path)
{
    // C:\jre\bin\client\jvm.dll -> C:\jre\bin: the runtime's own C runtime DLL lives there
    // and is not found by loading the library through its full path alone.
    char *folder = must_copy(path);
    for (int cut = 0; cut < 2; cut++) {
        char *backslash = strrchr(folder, '\\');
        if (backslash)
            *backslash = '\0';
    }
    with_wide(folder, SetDllDirectoryW);
    free(folder);
    // The library's imports are looked for in its own folder first, then in the folder set
    // above and the system's; the launcher's own folder, which the normal search tries first,
    // is never searched: a C runtime DLL planted beside the launcher (MSVCR100.dll and
    // VCRUNTIME140.dll are no known DLLs) would otherwise be loaded into the runtime.
    return with_wide(path, [](const wchar_t *wide) {
        return LoadLibraryExW(wide, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    });
}

uint64_t physical_memory()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

bool largest_free_block(uint64_t *bytes)
{
    if (sizeof(void *) > 4)
        return false;
    // The largest reservation the system grants, found by trying (whole MB, at most 4 GB):
    // what a walk of the regions calls reserved may still be granted (Wine hands out its
    // own reserved areas), so only a reservation tells. Each try is released at once.
    unsigned granted = 0, refused = 4096;
    while (refused - granted > 1) {
        unsigned mb = granted + (refused - granted) / 2;
        void *block = VirtualAlloc(nullptr, (SIZE_T)mb << 20, MEM_RESERVE, PAGE_NOACCESS);
        if (block) {
            VirtualFree(block, 0, MEM_RELEASE);
            granted = mb;
        } else {
            refused = mb;
        }
    }
    *bytes = (uint64_t)granted << 20;
    return true;
}

bool set_app_user_model_id(const char *id)
{
    // Looked up rather than imported: Windows before 7 has no such function.
    typedef HRESULT(WINAPI * setter)(const wchar_t *);
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    setter set = shell ? (setter)(void *)GetProcAddress(shell,
                                                        "SetCurrentProcessExplicitAppUserModelID")
                       : nullptr;
    if (!set)
        return false;
    wchar_t *wide = to_wide(id);
    HRESULT result = set(wide);
    free(wide);
    return SUCCEEDED(result);
}

char *runtime_option_text(const char *option)
{
    // No best-fit mapping: a character that has no place in the code page must not turn into
    // a look-alike that names another file.
    wchar_t *wide = to_wide(option);
    BOOL lost = FALSE;
    // 0x400 = WC_NO_BEST_FIT_CHARS
    int size = WideCharToMultiByte(CP_ACP, 0x400, wide, -1, nullptr, 0, nullptr, &lost);
    char *text = nullptr;
    if (size > 0 && !lost) {
        text = (char *)must_alloc((size_t)size);
        WideCharToMultiByte(CP_ACP, 0x400, wide, -1, text, size, nullptr, nullptr);
    }
    free(wide);
    return text;
}

char *short_path_name(const char *path)
{
    char *text = sized_text(path, GetShortPathNameW);
    if (text && !*text) {
        free(text);
        text = nullptr;
    }
    return text;
}

void *find_library_symbol(void *library, const char *name)
{
    return (void *)GetProcAddress((HMODULE)library, name);
}

bool replace_library_import(void *library, const char *name, void *replacement,
                            void **original)
{
    *original = nullptr;
    BYTE *base = (BYTE *)library;
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return false;
    auto *library_import = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
    for (; library_import->Name; library_import++) {
        // The names come from the lookup table; the loader wrote the addresses into the
        // address table, slot for slot.
        if (!library_import->OriginalFirstThunk)
            continue;
        auto *names = (IMAGE_THUNK_DATA *)(base + library_import->OriginalFirstThunk);
        auto *slots = (IMAGE_THUNK_DATA *)(base + library_import->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))
                           ->Name,
                       name) != 0)
                continue;
            DWORD protection;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                &protection))
                continue;
            *original = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                           &protection);
        }
    }
    return *original != nullptr;
}

void free_runtime_library(void *library)
{
    FreeLibrary((HMODULE)library);
}

bool get_current_directory(char *buffer, size_t size)
{
    wchar_t wide[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, wide);
    return fits(n, MAX_PATH + 1) && copy_from_wide(wide, (int)n, buffer, size);
}

bool set_current_directory(const char *path)
{
    return with_wide(path, SetCurrentDirectoryW) != 0;
}

void write_standard_error(const char *text, size_t length)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written, mode;
    if (!error || error == INVALID_HANDLE_VALUE)
        return;
    // A console shows UTF-16 whatever its code page; a file or pipe gets the UTF-8 bytes.
    if (GetConsoleMode(error, &mode)) {
        size_t units;
        uint16_t *wide = utf8_to_utf16(text, length, &units);
        WriteConsoleW(error, wide, (DWORD)units, &written, nullptr);
        free(wide);
    } else {
        WriteFile(error, text, (DWORD)length, &written, nullptr);
    }
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
    wchar_t wide[512];
    DWORD n = FormatMessageW(0x1200, nullptr, code, 0x0400, wide, 512, nullptr);
    if (n == 0) {
        format_into(buffer, size, "Unknown error %lu.\r\n", (unsigned long)code);
        return;
    }
    // A text longer than the buffer is cut at a character's end.
    char *text = from_wide(wide, (int)n);
    size_t length = strlen(text);
    if (length >= size) {
        length = size - 1;
        while (length > 0 && (text[length] & 0xC0) == 0x80)
            length--;
    }
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    free(text);
}

// The ProductName text of the launcher's version information as a new heap text; null when it
// has none. A String block of the resource is its length, its value's length in units (with
// the terminator), its type, the key and its terminator, padding to a multiple of 4 bytes from
// the resource's start, then the value.
static wchar_t *product_name()
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (!resource)
        return nullptr;
    const BYTE *data = (const BYTE *)LockResource(LoadResource(nullptr, resource));
    DWORD size = SizeofResource(nullptr, resource);
    static const wchar_t key[] = L"ProductName";
    for (DWORD at = 6; data && at + sizeof key <= size; at += 2) {
        if (memcmp(data + at, key, sizeof key) != 0)
            continue;
        DWORD units = *(const WORD *)(data + at - 4), value = (at + sizeof key + 3) & ~3u;
        if (units <= 1 || value + units * sizeof(wchar_t) > size)
            return nullptr;
        wchar_t *text = (wchar_t *)must_alloc(units * sizeof(wchar_t));
        memcpy(text, data + value, (units - 1) * sizeof(wchar_t));
        return text;
    }
    return nullptr;
}

// "Error" or "Information", after "<product name>: " when the launcher has a product name, so
// that a user with several programs open sees whose box it is.
static wchar_t *box_caption(bool error)
{
    // Copied with memcpy, which the compiler inlines, rather than with wcscpy and wcscat,
    // which the stub would import for this alone.
    const wchar_t *kind = error ? L"Error" : L"Information";
    size_t kind_size = (wcslen(kind) + 1) * sizeof(wchar_t);
    wchar_t *product = product_name();
    size_t length = product ? wcslen(product) : 0;
    wchar_t *caption = (wchar_t *)must_alloc((length + 14) * sizeof(wchar_t));
    if (product) {
        memcpy(caption, product, length * sizeof(wchar_t));
        memcpy(caption + length, L": ", 2 * sizeof(wchar_t));
        length += 2;
    }
    memcpy(caption + length, kind, kind_size);
    free(product);
    return caption;
}

// A message box of the launcher: text, its caption and the buttons and icon of style.
static int message_box(bool error, const char *text, UINT style)
{
    wchar_t *wide = to_wide(text), *caption = box_caption(error);
    int answer = MessageBoxW(nullptr, wide, caption, style | MB_SETFOREGROUND);
    free(caption);
    free(wide);
    return answer;
}

void show_message_box(bool error, const char *text)
{
    message_box(error, text, MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

bool ask_question(const char *text)
{
    return message_box(true, text, MB_YESNO | MB_ICONERROR) == IDYES;
}

void open_address(const char *address)
{
    with_wide(address, [](const wchar_t *wide) {
        return ShellExecuteW(nullptr, L"open", wide, nullptr, nullptr, SW_SHOWNORMAL);
    });
}
