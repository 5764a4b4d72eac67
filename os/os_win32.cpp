// The system seam for Windows.
#include "os/os.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

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

// Whether the wide path is full: a drive's ("C:\") or a share's ("\\server\share").
static bool is_full_path(const wchar_t *path)
{
    bool slash0 = path[0] == L'\\' || path[0] == L'/';
    bool slash1 = path[0] && (path[1] == L'\\' || path[1] == L'/');
    return (path[0] && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (slash0 && slash1);
}

// The path in UTF-16 for a Win32 call that opens, makes or lists it. Unless the machine has
// lifted the old limit, the calls take a path of MAX_PATH - 12 units or more (CreateDirectoryW's
// limit, the lowest of them) only in the "\\?\" form, which is taken as it is written: such a
// path is made full first ("/" as "\", "." and ".." resolved, a relative path joined to the
// current directory), then given as "\\?\C:\..." or "\\?\UNC\server\share\...". Shorter
// paths, device names ("NUL") and paths already in a "\\?\" or "\\.\" form go as they are.
static wchar_t *to_wide_path(const char *path)
{
    enum { LIMIT = MAX_PATH - 12 };
    wchar_t *wide = to_wide(path);
    if (!wide || (wcslen(wide) < LIMIT && is_full_path(wide)) ||
        wcsncmp(wide, L"\\\\?\\", 4) == 0 || wcsncmp(wide, L"\\\\.\\", 4) == 0)
        return wide;
    // Room for "\\?\UNC\" (8 units) before the full path, which replaces its first two.
    DWORD size = GetFullPathNameW(wide, 0, nullptr, nullptr);
    wchar_t *full = size ? (wchar_t *)must_alloc(((size_t)size + 8) * sizeof(wchar_t)) : nullptr;
    DWORD n = full ? GetFullPathNameW(wide, size, full + 8, nullptr) : 0;
    if (n < LIMIT || n >= size || !is_full_path(full + 8)) {
        free(full);
        return wide;
    }
    free(wide);
    bool share = full[8] == L'\\' && full[9] == L'\\';
    const wchar_t *prefix = share ? L"\\\\?\\UNC\\" : L"\\\\?\\";
    size_t prefix_length = share ? 8 : 4, skipped = share ? 2 : 0;
    memmove(full + prefix_length, full + 8 + skipped, (n - skipped + 1) * sizeof(wchar_t));
    memcpy(full, prefix, prefix_length * sizeof(wchar_t));
    return full;
}

// A Win32 call that takes one text: the text converted for it, freed after it, and the
// call's last error kept. with_path converts a path as to_wide_path does.
template <typename Call>
static auto with_converted(wchar_t *(*convert)(const char *), const char *text, Call call)
{
    wchar_t *wide = convert(text);
    auto result = call(wide);
    DWORD error = GetLastError();
    free(wide);
    SetLastError(error);
    return result;
}

template <typename Call> static auto with_wide(const char *text, Call call)
{
    return with_converted(to_wide, text, call);
}

template <typename Call> static auto with_path(const char *path, Call call)
{
    return with_converted(to_wide_path, path, call);
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
    return with_path(path, [](const wchar_t *wide) {
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
    DWORD attributes = with_path(path, GetFileAttributesW);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? 1 : 0;
}

bool create_directory(const char *path)
{
    return with_path(path, [](const wchar_t *wide) { return CreateDirectoryW(wide, nullptr); });
}

// A count of characters that a Win32 call wrote into a buffer of size: 0 means failure and
// size or more means the text did not fit, which is a failure too.
static bool fits(DWORD n, size_t size)
{
    if (n >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return n != 0 && n < size;
}

// What call (GetTempPathW, GetCurrentDirectoryW: given a buffer's size in units and the
// buffer, the length written, or the size needed with the terminator when it does not fit)
// gives, as a new heap text however long; null when it gives nothing. The text may grow
// between the two calls, so the size is asked again while it does.
template <typename Call> static char *grown_text(Call call)
{
    DWORD size = call(0, nullptr);
    for (int tries = 0; size > 0 && tries < 4; tries++) {
        wchar_t *wide = (wchar_t *)must_alloc((size_t)size * sizeof(wchar_t));
        DWORD n = call(size, wide);
        char *text = n > 0 && n < size ? from_wide(wide, (int)n) : nullptr;
        free(wide);
        if (text || n == 0)
            return text;
        size = n;
    }
    return nullptr;
}

char *temp_directory()
{
    return grown_text([](DWORD size, wchar_t *buffer) { return GetTempPathW(size, buffer); });
}

char *executable_path()
{
    // Up to the longest path Windows has; a path that filled the buffer may have been cut.
    enum { LONGEST = 32768 };
    wchar_t *wide = (wchar_t *)must_alloc(LONGEST * sizeof(wchar_t));
    DWORD n = GetModuleFileNameW(nullptr, wide, LONGEST);
    char *path = fits(n, LONGEST) ? from_wide(wide, (int)n) : nullptr;
    free(wide);
    return path;
}

char *upper_case_name(const char *text)
{
    wchar_t *wide = to_wide(text);
    CharUpperW(wide);
    char *upper = from_wide(wide);
    free(wide);
    return upper;
}

os_file *create_file(const char *path)
{
    HANDLE file = with_path(path, [](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    return file == INVALID_HANDLE_VALUE ? nullptr : (os_file *)file;
}

// Reads the identity of the file at path (its volume and index) through a handle that asks
// for no data and shares everything, so that a file others hold open is read too.
static bool read_file_identity(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    HANDLE file = with_path(path, [](const wchar_t *wide) {
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
    HANDLE file = with_path(path, [](const wchar_t *wide) {
        // FILE_APPEND_DATA: every write goes to the end.
        return CreateFileW(wide, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    return file == INVALID_HANDLE_VALUE ? nullptr : (os_file *)file;
}

output_open open_output_file(const char *path, bool checked, bool *append)
{
    // Opened without emptying (OPEN_ALWAYS), so that nothing is cut before the checks; checked:
    // the name itself (FILE_FLAG_OPEN_REPARSE_POINT), shared for reading and writing only, so
    // that it cannot be renamed or removed while it is held.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (checked ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE file = with_path(path, [flags](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, flags, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE)
        return OUTPUT_UNOPENED;
    BY_HANDLE_FILE_INFORMATION info;
    if (checked && (GetFileType(file) != FILE_TYPE_DISK ||
                    !GetFileInformationByHandle(file, &info) ||
                    (info.dwFileAttributes &
                     (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
                    info.nNumberOfLinks != 1)) {
        CloseHandle(file);
        return OUTPUT_NOT_REGULAR;
    }
    // A file another process maps (some log viewers do) cannot be cut: it is appended to.
    if (!*append && !SetEndOfFile(file)) {
        if (GetLastError() != ERROR_USER_MAPPED_FILE) {
            DWORD error = GetLastError();
            CloseHandle(file);
            SetLastError(error);
            return OUTPUT_UNOPENED;
        }
        *append = true;
    }
    // A checked file's handle is never closed: it is released when the process ends.
    if (!checked)
        CloseHandle(file);
    return OUTPUT_OPENED;
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
    if (!with_path(path, [&](const wchar_t *wide) {
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
    BOOL created = with_path(path, [&](const wchar_t *wide) {
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
static bool is_private(PSID owner, PACL dacl, bool own_account, bool base = false)
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
    bool owner_trusted = owner && is_trusted(owner, user);
    bool trusted = readable && (base ? access_list_keeps_base : access_list_is_private)(
                                   owner_trusted, dacl != nullptr, entries, count);
    free(entries);
    free(user);
    return trusted;
}

// Opens the folder at path (never where a link leads) and checks it as a private folder, or
// with base as the base of the private folders; a folder that passes stays open, its handle
// in *held when asked for.
static held_folder hold_directory(const char *path, bool own_account, bool base,
                                  HANDLE *held_handle = nullptr)
{
    // The folder itself, never where a link leads (FILE_FLAG_OPEN_REPARSE_POINT), opened as a
    // folder (FILE_FLAG_BACKUP_SEMANTICS) to read its attributes and security; shared for
    // reading and writing but not for deletion, which also refuses a rename.
    HANDLE folder = with_path(path, [](const wchar_t *wide) {
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
                is_private(owner, dacl, own_account, base);
    if (descriptor)
        LocalFree(descriptor);
    // A held folder's handle is never closed: it is released when the process ends.
    if (!held)
        CloseHandle(folder);
    else if (held_handle)
        *held_handle = folder;
    return held ? FOLDER_HELD : FOLDER_REFUSED;
}

held_folder hold_private_directory(const char *path, bool own_account)
{
    return hold_directory(path, own_account, false);
}

held_folder hold_base_directory(const char *path, bool own_account)
{
    return hold_directory(path, own_account, true);
}

// The full path of what handle has open, as the system names it now ("\\?\" and all), as a
// new heap text; null when it cannot be read.
static char *final_path(HANDLE handle)
{
    DWORD n = GetFinalPathNameByHandleW(handle, nullptr, 0, 0);
    wchar_t *wide = n ? (wchar_t *)must_alloc(((size_t)n + 1) * sizeof(wchar_t)) : nullptr;
    DWORD written = wide ? GetFinalPathNameByHandleW(handle, wide, n + 1, 0) : 0;
    char *path = written && written <= n ? from_wide(wide, (int)written) : nullptr;
    free(wide);
    return path;
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

char *program_data_directory()
{
    // The known folder of programs' data (CSIDL_COMMON_APPDATA is FOLDERID_ProgramData), as
    // the system keeps it, never the process's environment, which its user may set. The call
    // answers in a buffer of MAX_PATH units; the system keeps the folder within that.
    wchar_t wide[MAX_PATH + 1];
    HRESULT status = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_DONT_VERIFY,
                                      nullptr, SHGFP_TYPE_CURRENT, wide);
    size_t n = status == S_OK ? wcslen(wide) : 0;
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    wide[n] = L'\\';
    return from_wide(wide, (int)n + 1);
}

listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry)
{
    char *pattern = join_text(directory, "\\*.*");
    WIN32_FIND_DATAW found;
    HANDLE find = with_path(pattern, [&](const wchar_t *wide) {
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

// Whether size bytes at data lie inside the launcher's own image: a resource directory
// altered after building may point anywhere.
static bool within_image(const void *data, size_t size)
{
    const BYTE *base = (const BYTE *)GetModuleHandleW(nullptr);
    const IMAGE_NT_HEADERS *nt =
        (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    size_t image = nt->OptionalHeader.SizeOfImage;
    size_t offset = (size_t)((const BYTE *)data - base);
    return (const BYTE *)data >= base && offset <= image && size <= image - offset;
}

char *load_string(unsigned id)
{
    // The block of sixteen strings that holds id (RT_STRING is type 6): each a count of
    // UTF-16 units and the units, read here within the block, so that a damaged count never
    // leads past it.
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6));
    if (!resource)
        return from_wide(L"", 0);
    size_t units = SizeofResource(nullptr, resource) / sizeof(wchar_t), at = 0;
    const wchar_t *block = (const wchar_t *)LockResource(LoadResource(nullptr, resource));
    if (!block || !within_image(block, units * sizeof(wchar_t)))
        return nullptr;
    for (unsigned skipped = 0; skipped < id % 16 && at < units; skipped++)
        at += 1 + (size_t)block[at];
    if (at >= units || block[at] > units - at - 1)
        return nullptr;
    return from_wide(block + at + 1, block[at]);
}

const unsigned char *find_resource_data(unsigned id, size_t *size)
{
    // The W form, which the string table's look-up imports already (RT_RCDATA is type 10).
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    if (!resource)
        return nullptr;
    *size = SizeofResource(nullptr, resource);
    const unsigned char *data = (const unsigned char *)LockResource(LoadResource(nullptr, resource));
    // Data outside the image is read as none; its reader reports what is missing.
    return data && within_image(data, *size) ? data : nullptr;
}

// The text of the open file, as read_text_file gives it; the file is closed.
static char *read_open_text_file(HANDLE file)
{
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

char *read_text_file(const char *path)
{
    HANDLE file = open_for_reading(path);
    return file == INVALID_HANDLE_VALUE ? nullptr : read_open_text_file(file);
}

char *read_private_text_file(const char *path, bool own_account, char **refused)
{
    *refused = nullptr;
    // The file itself, never where a link leads; shared with writers as any reader of a
    // settings file is, but not with its removal, so that it cannot be renamed away either.
    HANDLE file = with_path(path, [](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    // Its folder as the system names it now, checked and held; then the file's own name again,
    // which must still lie in the folder held (nothing above it was re-pointed in between).
    BY_HANDLE_FILE_INFORMATION info;
    char *name = final_path(file);
    char *last = name ? strrchr(name, '\\') : nullptr;
    bool regular = GetFileInformationByHandle(file, &info) &&
                   !(info.dwFileAttributes &
                     (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
    HANDLE held = nullptr;
    bool passed = false;
    if (regular && last) {
        *last = '\0';
        passed = hold_directory(name, own_account, false, &held) == FOLDER_HELD;
        char *folder = passed ? final_path(held) : nullptr, *again = final_path(file);
        size_t length = folder ? strlen(folder) : 0;
        passed = passed && again && strncmp(again, folder, length) == 0 &&
                 again[length] == '\\' && !strchr(again + length + 1, '\\');
        free(folder);
        free(again);
    }
    if (!passed) {
        // The folder as the user wrote it when the system cannot name it.
        *refused = regular && name ? must_copy(name[0] == '\\' && name[1] == '\\' &&
                                               name[2] == '?' ? name + 4 : name)
                                   : must_copy(path);
        free(name);
        CloseHandle(file);
        return nullptr;
    }
    free(name);
    return read_open_text_file(file);
}

bool under_wine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool remove_environment_variable(const char *name)
{
    return with_wide(name, [](const wchar_t *wide) {
        bool set = GetEnvironmentVariableW(wide, nullptr, 0) != 0;
        return SetEnvironmentVariableW(wide, nullptr) && set;
    });
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
    return with_path(path, [](const wchar_t *wide) {
        make_writable(wide);
        return DeleteFileW(wide) != 0;
    });
}

bool replace_file(const char *from, const char *to)
{
    wchar_t *wide_from = to_wide_path(from), *wide_to = to_wide_path(to);
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

bool start_background_process(const char *command_line, const char *lock_path)
{
    // Both handles are inheritable, and the attribute list makes them the only ones the
    // process inherits: an output file of the application held open by it would stay locked.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE lock = with_path(lock_path, [&](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                     OPEN_EXISTING, 0, nullptr);
    HANDLE inherited[] = {lock, null_device};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = (LPPROC_THREAD_ATTRIBUTE_LIST)must_alloc(size);
    bool listed = null_device != INVALID_HANDLE_VALUE &&
                  InitializeProcThreadAttributeList(attributes, 1, 0, &size) &&
                  UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                            inherited, sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput =
        startup.StartupInfo.hStdError = null_device;
    startup.lpAttributeList = attributes;
    // No console and no console signals (its own group), below the user's programs, and out of
    // a job that would end it with the launcher; a job that refuses that keeps it.
    DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | BELOW_NORMAL_PRIORITY_CLASS |
                  EXTENDED_STARTUPINFO_PRESENT;
    BOOL started = FALSE;
    if (listed) {
        const DWORD tries[] = {CREATE_BREAKAWAY_FROM_JOB, 0};
        for (DWORD breakaway : tries) {
            // CreateProcessW may write into the command line, so each try gets its own copy.
            wchar_t *wide = to_wide(command_line);
            PROCESS_INFORMATION process = {};
            started = CreateProcessW(nullptr, wide, nullptr, nullptr, TRUE, flags | breakaway,
                                     nullptr, nullptr, &startup.StartupInfo, &process);
            bool refused = !started && GetLastError() == ERROR_ACCESS_DENIED;
            free(wide);
            if (started) {
                CloseHandle(process.hThread);
                CloseHandle(process.hProcess);
            }
            if (!refused)
                break;
        }
        DeleteProcThreadAttributeList(attributes);
    }
    free(attributes);
    if (null_device != INVALID_HANDLE_VALUE)
        CloseHandle(null_device);
    // The process holds its own copy of the lock from here on.
    CloseHandle(lock);
    if (!started)
        delete_file(lock_path);
    return started != FALSE;
}

bool background_process_running(const char *lock_path)
{
    HANDLE lock = with_path(lock_path, [](const wchar_t *wide) {
        return CreateFileW(wide, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    });
    if (lock != INVALID_HANDLE_VALUE) {
        CloseHandle(lock);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
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
    // A long path is asked for in its "\\?\" form; the answer is given without it, as the
    // path the caller wrote would be.
    wchar_t *wide = to_wide_path(path);
    DWORD size = GetShortPathNameW(wide, nullptr, 0);
    wchar_t *buffer = size ? (wchar_t *)must_alloc((size_t)size * sizeof(wchar_t)) : nullptr;
    DWORD n = buffer ? GetShortPathNameW(wide, buffer, size) : 0;
    bool prefixed = wcsncmp(wide, L"\\\\?\\", 4) == 0 && strncmp(path, "\\\\?\\", 4) != 0;
    free(wide);
    wchar_t *start = buffer;
    if (n > 0 && n < size && prefixed && wcsncmp(buffer, L"\\\\?\\UNC\\", 8) == 0) {
        start = buffer + 6; // "\\?\UNC\server" -> "\\server"
        start[0] = L'\\';
    } else if (n > 0 && n < size && prefixed && wcsncmp(buffer, L"\\\\?\\", 4) == 0) {
        start = buffer + 4;
    }
    char *text = n > 0 && n < size ? from_wide(start, (int)(n - (start - buffer))) : nullptr;
    free(buffer);
    return text;
}

void *find_library_symbol(void *library, const char *name)
{
    return (void *)GetProcAddress((HMODULE)library, name);
}

// The import directory of a loaded module: its first library entry, or null when it imports
// nothing.
static IMAGE_IMPORT_DESCRIPTOR *import_directory(void *library)
{
    BYTE *base = (BYTE *)library;
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    return imports.VirtualAddress ? (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress)
                                  : nullptr;
}

bool replace_library_import(void *library, const char *name, void *replacement,
                            void **original)
{
    *original = nullptr;
    BYTE *base = (BYTE *)library;
    auto *library_import = import_directory(library);
    for (; library_import && library_import->Name; library_import++) {
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

bool find_runtime_c_streams(void *library, runtime_c_streams *streams)
{
    BYTE *base = (BYTE *)library;
    for (auto *entry = import_directory(library); entry && entry->Name; entry++) {
        const char *name = (const char *)(base + entry->Name);
        bool api_set = _strnicmp(name, "api-ms-win-crt-", 15) == 0;
        if (!api_set && _strnicmp(name, "msvcr", 5) != 0 && _strnicmp(name, "ucrtbase", 8) != 0)
            continue;
        // An API set's name need not be a loaded module's: the universal runtime stands behind
        // every one of them.
        HMODULE crt = GetModuleHandleA(name);
        if (!crt && api_set)
            crt = GetModuleHandleA("ucrtbase.dll");
        if (!crt)
            continue;
        auto stream_at = (FILE *(__cdecl *)(unsigned))find_library_symbol(crt, "__acrt_iob_func");
        auto streams_of = (FILE *(__cdecl *)())find_library_symbol(crt, "__iob_func");
        streams->write =
            (size_t(*)(const void *, size_t, size_t, void *))find_library_symbol(crt, "fwrite");
        if (!streams->write || (!stream_at && !streams_of))
            continue;
        // The older runtimes keep their streams in one array of the same FILE as ours.
        streams->out = stream_at ? stream_at(1) : streams_of() + 1;
        streams->err = stream_at ? stream_at(2) : streams_of() + 2;
        return true;
    }
    return false;
}

void free_runtime_library(void *library)
{
    FreeLibrary((HMODULE)library);
}

char *current_directory()
{
    return grown_text(
        [](DWORD size, wchar_t *buffer) { return GetCurrentDirectoryW(size, buffer); });
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

// --- The hand-over channel. ---

char *process_user_sid()
{
    PSID user = process_user();
    char *text = nullptr, *copy = nullptr;
    if (user && ConvertSidToStringSidA(user, &text)) {
        copy = must_copy(text);
        LocalFree(text);
    }
    free(user);
    return copy;
}

unsigned process_session_id()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

// Whether the process pid runs as this process's account in its session. A process whose
// token cannot be read does not.
static bool same_account_and_session(ULONG pid)
{
    DWORD session = (DWORD)-1;
    if (!ProcessIdToSessionId(pid, &session) || session != process_session_id())
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    HANDLE token = nullptr;
    bool same = false;
    if (process && OpenProcessToken(process, TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        TOKEN_USER *user = size ? (TOKEN_USER *)must_alloc(size) : nullptr;
        PSID own = process_user();
        same = user && own && GetTokenInformation(token, TokenUser, user, size, &size) &&
               EqualSid(user->User.Sid, own);
        free(own);
        free(user);
        CloseHandle(token);
    }
    if (process)
        CloseHandle(process);
    return same;
}

// How long a connected client may take to send its message.
enum { HANDOVER_READ_MS = 5000, HANDOVER_PIPE_BUFFER = 4096 };

struct handover_server {
    HANDLE pipe, io, stop;
};

handover_server *create_handover_server(const char *name, const char *security)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            security, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
        return nullptr;
    // One instance: clients are served one at a time, in the order they connect; the first
    // instance flag refuses a name that another process holds already.
    HANDLE pipe = with_wide(name, [&](const wchar_t *wide) {
        return CreateNamedPipeW(wide,
                                PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE |
                                    FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                    PIPE_REJECT_REMOTE_CLIENTS,
                                1, HANDOVER_PIPE_BUFFER, HANDOVER_PIPE_BUFFER, 0, &attributes);
    });
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (pipe == INVALID_HANDLE_VALUE) {
        SetLastError(error);
        return nullptr;
    }
    handover_server *server = (handover_server *)must_alloc(sizeof(handover_server));
    server->pipe = pipe;
    server->io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    server->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!server->io || !server->stop) {
        close_handover_server(server);
        return nullptr;
    }
    return server;
}

enum io_end { IO_DONE, IO_FAILED, IO_STOPPED, IO_TIMED_OUT };

// Waits for the overlapped operation on handle whose call gave started (its result) until
// it completes, stop is set (when not null) or wait_ms pass; a pending operation that is not
// done is cancelled, and waited for, before this returns. *count: the bytes it moved.
static io_end finish_io(HANDLE handle, OVERLAPPED *overlapped, BOOL started, HANDLE stop,
                        DWORD wait_ms, DWORD *count)
{
    *count = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return IO_FAILED;
    HANDLE events[2] = {overlapped->hEvent, stop};
    DWORD waited = WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, wait_ms);
    if (waited != WAIT_OBJECT_0)
        CancelIo(handle);
    BOOL done = GetOverlappedResult(handle, overlapped, count, TRUE);
    if (waited == WAIT_OBJECT_0)
        return done ? IO_DONE : IO_FAILED;
    return waited == WAIT_OBJECT_0 + 1 ? IO_STOPPED : IO_TIMED_OUT;
}

handover_client wait_for_handover_client(handover_server *server)
{
    if (WaitForSingleObject(server->stop, 0) == WAIT_OBJECT_0)
        return HANDOVER_CLOSED;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = server->io;
    ResetEvent(server->io);
    BOOL connected;
    // A client that came and went before the call leaves the instance to be disconnected;
    // it is no reason to stop listening.
    while (!(connected = ConnectNamedPipe(server->pipe, &overlapped)) &&
           GetLastError() == ERROR_NO_DATA)
        DisconnectNamedPipe(server->pipe);
    if (!connected && GetLastError() != ERROR_PIPE_CONNECTED) {
        DWORD count;
        io_end end = finish_io(server->pipe, &overlapped, FALSE, server->stop, INFINITE, &count);
        if (end == IO_STOPPED)
            return HANDOVER_CLOSED;
        if (end != IO_DONE)
            return HANDOVER_FAILED;
    }
    ULONG pid = 0;
    if (!GetNamedPipeClientProcessId(server->pipe, &pid) || !same_account_and_session(pid))
        return HANDOVER_FOREIGN_CLIENT;
    return HANDOVER_CLIENT;
}

bool read_handover_bytes(handover_server *server, void *buffer, size_t size)
{
    DWORD deadline = GetTickCount() + HANDOVER_READ_MS;
    char *at = (char *)buffer;
    while (size > 0) {
        DWORD left = deadline - GetTickCount();
        if ((int)left <= 0)
            return false;
        OVERLAPPED overlapped = {};
        overlapped.hEvent = server->io;
        ResetEvent(server->io);
        DWORD count;
        BOOL started = ReadFile(server->pipe, at, (DWORD)size, nullptr, &overlapped);
        if (finish_io(server->pipe, &overlapped, started, server->stop, left, &count) != IO_DONE ||
            count == 0)
            return false;
        at += count;
        size -= count;
    }
    return true;
}

void end_handover_client(handover_server *server, char answer)
{
    if (answer) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = server->io;
        ResetEvent(server->io);
        DWORD count;
        BOOL started = WriteFile(server->pipe, &answer, 1, nullptr, &overlapped);
        if (finish_io(server->pipe, &overlapped, started, server->stop, HANDOVER_READ_MS,
                      &count) == IO_DONE)
            // The answer is read before the client goes: disconnecting drops what is unread.
            FlushFileBuffers(server->pipe);
    }
    DisconnectNamedPipe(server->pipe);
}

void stop_handover_server(handover_server *server)
{
    SetEvent(server->stop);
}

void close_handover_server(handover_server *server)
{
    CloseHandle(server->pipe);
    if (server->io)
        CloseHandle(server->io);
    if (server->stop)
        CloseHandle(server->stop);
    free(server);
}

handover_send send_handover_message(const char *name, const void *message, size_t size,
                                    unsigned wait_ms, char *answer)
{
    DWORD deadline = GetTickCount() + wait_ms;
    wchar_t *wide = to_wide(name);
    HANDLE pipe;
    // The server learns who connected (identification), but cannot act as this account.
    while ((pipe = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                   SECURITY_IDENTIFICATION,
                               nullptr)) == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError(), left = deadline - GetTickCount();
        if (error != ERROR_PIPE_BUSY) {
            free(wide);
            // Access denied: the server's access list or integrity level keeps this process
            // out (another account's channel, or an elevated instance's).
            return error == ERROR_FILE_NOT_FOUND ? HANDOVER_NO_CHANNEL
                   : error == ERROR_ACCESS_DENIED ? HANDOVER_FOREIGN_SERVER
                                                  : HANDOVER_BROKEN;
        }
        // Another client is served: wait for the instance to listen again.
        if ((int)left <= 0 || (!WaitNamedPipeW(wide, left) &&
                               GetLastError() != ERROR_FILE_NOT_FOUND)) {
            free(wide);
            return HANDOVER_BUSY;
        }
    }
    free(wide);
    ULONG server = 0;
    if (!GetNamedPipeServerProcessId(pipe, &server) || !same_account_and_session(server)) {
        CloseHandle(pipe);
        return HANDOVER_FOREIGN_SERVER;
    }
    AllowSetForegroundWindow(server);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    handover_send result = HANDOVER_BROKEN;
    DWORD count, left = deadline - GetTickCount();
    if (overlapped.hEvent && (int)left > 0) {
        BOOL started = WriteFile(pipe, message, (DWORD)size, nullptr, &overlapped);
        io_end end = finish_io(pipe, &overlapped, started, nullptr, left, &count);
        if (end == IO_DONE && count == size) {
            ResetEvent(overlapped.hEvent);
            left = deadline - GetTickCount();
            started = ReadFile(pipe, answer, 1, nullptr, &overlapped);
            end = (int)left > 0 ? finish_io(pipe, &overlapped, started, nullptr, left, &count)
                                : IO_TIMED_OUT;
            if (end == IO_DONE && count == 1)
                result = HANDOVER_ANSWERED;
        }
        if (end == IO_TIMED_OUT)
            result = HANDOVER_NO_ANSWER;
    } else if (overlapped.hEvent) {
        result = HANDOVER_NO_ANSWER;
    }
    if (overlapped.hEvent)
        CloseHandle(overlapped.hEvent);
    CloseHandle(pipe);
    return result;
}

// The launcher's own windows, which are no window of the application: the splash screen (a
// static control) and the message boxes.
static bool launcher_window(HWND window)
{
    wchar_t name[16];
    int length = GetClassNameW(window, name, 16);
    return (length == 6 && lstrcmpiW(name, L"Static") == 0) ||
           (length == 6 && lstrcmpW(name, L"#32770") == 0);
}

struct window_search {
    DWORD process;
    HWND found;
};

static BOOL CALLBACK find_application_window(HWND window, LPARAM search_pointer)
{
    window_search *search = (window_search *)search_pointer;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window) ||
        GetWindow(window, GW_OWNER) || launcher_window(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

bool bring_application_window_to_front()
{
    // Windows are listed from the top of the order down: the first is the one last in use.
    window_search search = {GetCurrentProcessId(), nullptr};
    EnumWindows(find_application_window, (LPARAM)&search);
    if (!search.found)
        return false;
    // Asynchronous: the window's own thread may be busy, and this thread must not wait on it.
    if (IsIconic(search.found))
        ShowWindowAsync(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
    return true;
}
