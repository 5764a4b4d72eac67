// Unpacking the files embedded in the launcher into a folder under the temporary directory.
#include "launcher/embedded_files.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "launcher/archive.h"
#include "launcher/setting_ids.h"
#include "launcher/settings.h"
#include "launcher/string_list.h"
#include "launcher/text.h"
#include "ui/messages.h"
#include "ui/report.h"

enum { ARCHIVE_RESOURCE_ID = 16000 };

// True when the file at path has the entry's size and last-write time.
static bool is_up_to_date(const char *path, const archive_entry &entry)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool same = false;
    DWORD size = GetFileSize(file, nullptr);
    FILETIME written;
    FILETIME wanted = {entry.time_low, entry.time_high};
    if (size == INVALID_FILE_SIZE)
        report_error_with_reason(MSG_FILE_SIZE_UNREADABLE);
    else
        same = size == entry.size && GetFileTime(file, nullptr, nullptr, &written) &&
               CompareFileTime(&wanted, &written) == 0;
    CloseHandle(file);
    return same;
}

// Writes the entry's content to path, straight from the resource, with the entry's
// last-write time. Returns false after a reported failure that ends the unpacking; a file
// that cannot be replaced because it is in use (another launcher holds it) is left alone.
static bool write_entry(const char *path, const archive_entry &entry)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            return true;
        SetLastError(error);
        report_error_with_reason(settings.msg_write_error, path);
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, entry.content, entry.size, &written, nullptr) &&
              written == entry.size;
    if (ok) {
        FILETIME time = {entry.time_low, entry.time_high};
        ok = SetFileTime(file, nullptr, nullptr, &time);
    }
    if (!ok)
        report_error_with_reason(settings.msg_write_error, path);
    CloseHandle(file);
    return ok;
}

void extract_embedded_files()
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(ARCHIVE_RESOURCE_ID), RT_RCDATA);
    if (!resource)
        return;
    DWORD size = SizeofResource(nullptr, resource);
    if (size <= 1)
        return;
    const unsigned char *data = (const unsigned char *)LockResource(LoadResource(nullptr, resource));
    if (!data)
        return;

    // The whole archive is checked before anything is written, so a damaged one unpacks
    // nothing and leaves the class path as configured.
    uint32_t count = 0;
    const char *bad_name = nullptr;
    switch (archive_check(data, size, &count, &bad_name)) {
    case ARCHIVE_OK:
        break;
    case ARCHIVE_MALFORMED:
        report_error(MSG_ARCHIVE_MALFORMED);
        return;
    case ARCHIVE_UNSAFE_NAME:
        report_error(settings.msg_write_error, bad_name);
        return;
    }
    // No entries: nothing to unpack, and the class path stays as configured.
    if (count == 0)
        return;

    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) {
        if (n != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        report_error_with_reason(settings.msg_file_error, SUBJECT_TEMP_PATH);
        return;
    }
    // The temporary path ends with a backslash; the folder is named by the main class as
    // stored, so every application has its own.
    char *folder = join_text(temp, settings.main_class_encoded);
    CreateDirectoryA(folder, nullptr);

    string_list list = {};
    size_t offset = 4;
    bool ok = true;
    for (uint32_t i = 0; i < count && ok; i++) {
        archive_entry entry;
        archive_read_entry(data, &offset, &entry);
        char *path = join_text(folder, "\\", entry.name);
        // Every entry is listed, whatever happens to its file.
        string_list_append(&list, path);
        string_list_append(&list, ";");
        ok = is_up_to_date(path, entry) || write_entry(path, entry);
        free(path);
    }
    if (ok) {
        free(settings.class_path);
        settings.class_path = list.text;
    } else {
        free(list.text);
    }
    free(folder);
}
