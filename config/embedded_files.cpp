// Unpacking the files embedded in the launcher into a folder under the temporary directory.
// Portable: files and resources are reached through the system seam.
#include "config/embedded_files.h"

#include <stdlib.h>

#include "base/archive.h"
#include "base/messages.h"
#include "base/resource_ids.h"
#include "base/string_list.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"

// True when the file at path has the entry's size and last-write time.
static bool is_up_to_date(const char *path, const archive_entry &entry)
{
    os_file *file = open_file(path, false);
    if (!file)
        return false;
    bool same = false;
    uint32_t size, low, high;
    if (!file_size(file, &size))
        report_error_with_reason(MSG_FILE_SIZE_UNREADABLE);
    else
        same = size == entry.size && file_time(file, &low, &high) && low == entry.time_low &&
               high == entry.time_high;
    close_file(file);
    return same;
}

// Writes the entry's content to path, straight from the resource, with the entry's
// last-write time. Returns false after a reported failure that ends the unpacking; a file
// that cannot be replaced because it is in use (another launcher holds it) is left alone.
static bool write_entry(const char *path, const archive_entry &entry)
{
    os_file *file = open_file(path, true);
    if (!file) {
        unsigned error = last_error();
        if (path_attributes(path) != -1)
            return true;
        set_last_error(error);
        report_error_with_reason(settings.msg_write_error, path);
        return false;
    }
    bool ok = write_file(file, entry.content, entry.size) &&
              set_file_time(file, entry.time_low, entry.time_high);
    if (!ok)
        report_error_with_reason(settings.msg_write_error, path);
    close_file(file);
    return ok;
}

char *unpack_embedded_files()
{
    size_t size = 0;
    const unsigned char *data = find_resource_data(RESOURCE_ARCHIVE, &size);
    if (!data || size <= 1)
        return nullptr;

    // The whole archive is checked before anything is written, so a damaged one unpacks
    // nothing and leaves the class path as configured.
    uint32_t count = 0;
    const char *bad_name = nullptr;
    switch (archive_check(data, size, &count, &bad_name)) {
    case ARCHIVE_OK:
        break;
    case ARCHIVE_MALFORMED:
        report_error(MSG_ARCHIVE_MALFORMED);
        return nullptr;
    case ARCHIVE_UNSAFE_NAME:
        report_error(settings.msg_write_error, bad_name);
        return nullptr;
    }
    // No entries: nothing to unpack, and the class path stays as configured.
    if (count == 0)
        return nullptr;

    char temp[260];
    if (!temp_directory(temp, sizeof temp)) {
        report_error_with_reason(settings.msg_file_error, SUBJECT_TEMP_PATH);
        return nullptr;
    }
    // The temporary path ends with a backslash; the folder is named by the main class as
    // stored, so every application has its own.
    char *folder = join_text(temp, settings.main_class_encoded);
    create_directory(folder);

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
    free(folder);
    if (ok)
        return list.text;
    free(list.text);
    return nullptr;
}
