// Unpacking the files embedded in the launcher. Portable: files, folders and resources are
// reached through the system seam.
#include "unpacking/embedded_files.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/archive.h"
#include "base/memory.h"
#include "base/messages.h"
#include "base/resource_ids.h"
#include "base/string_list.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/guard.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

// The archive's hash as the builder stored it beside the archive, or computed when it did not.
static uint64_t packed_archive_hash(const embedded_archive &archive)
{
    if (!archive.stored_hash || archive.stored_hash_size != 8)
        return archive_hash(archive.data, archive.size);
    uint64_t hash = 0;
    for (int i = 7; i >= 0; i--)
        hash = hash << 8 | archive.stored_hash[i];
    return hash;
}

// Makes one level of the unpacking folder. The levels of a private unpacking folder must be
// private: one that exists and that others may change, or that is a link, is refused, since
// they could put their code there; each level is held open, so that the folders checked are
// the ones the runtime reads the files from. own_account: whether the process's own account
// may change them too (a service's account; not an elevated user's, whose other processes
// share it).
static bool make_level(const launcher_settings &settings, const char *path, bool privately,
                       bool own_account)
{
    if (!privately) {
        // The user's own temporary folder: a failure shows when the files are written.
        create_directory(path);
        return true;
    }
    if (create_private_directory(path, own_account) == FOLDER_FAILED) {
        report_error_with_reason(settings.msg_write_error, path);
        return false;
    }
    switch (hold_private_directory(path, own_account)) {
    case FOLDER_HELD:
        return true;
    case FOLDER_REFUSED:
        report_error(folder_refusal(own_account), path);
        return false;
    default:
        report_error_with_reason(settings.msg_write_error, path);
        return false;
    }
}

// The unpacking folder, made level by level, as a new heap text in *folder; false after a
// reported failure that stops the run. *folder stays null when the base folder cannot be
// read (reported; the configured class path stays). A service, and a process with rights
// that the user's other processes lack, unpack privately under the machine's program data;
// any other run into the user's temporary folder.
static bool make_unpack_folder(const launcher_settings &settings, const unpack_plan &plan,
                               char **folder)
{
    *folder = nullptr;
    bool privately = plan.privately;
    bool own_account = plan.own_account;
    char *path = nullptr;
    if (privately) {
        char *failed;
        bool refused;
        path = private_root_folder(own_account, &failed, &refused);
        if (!path && strcmp(failed, "%ProgramData%") == 0) {
            // No base to unpack into: reported, and the configured class path stays.
            report_error_with_reason(settings.msg_file_error, SUBJECT_PROGRAM_DATA);
            free(failed);
            return true;
        }
        if (!path) {
            if (refused)
                report_error(folder_refusal(own_account), failed);
            else
                report_error_with_reason(settings.msg_write_error, failed);
            free(failed);
            return false;
        }
    } else {
        path = temp_directory();
        if (!path) {
            report_error_with_reason(settings.msg_file_error, SUBJECT_TEMP_PATH);
            return true;
        }
    }
    char hash_text[ARCHIVE_FOLDER_NAME_SIZE];
    archive_folder_name(plan.hash, hash_text);
    const char *levels[] = {settings.main_class_encoded, hash_text};
    for (const char *level : levels) {
        // A launcher that runs a jar's Main-Class has no main class to name a level.
        if (!level || !level[0])
            continue;
        // The base ends with a backslash; every level after it gets one.
        char *next = join_text(path, path[strlen(path) - 1] == '\\' ? "" : "\\", level);
        free(path);
        path = next;
        if (!make_level(settings, path, privately, own_account)) {
            free(path);
            return false;
        }
    }
    *folder = path;
    return true;
}

struct listed_file {
    char *name;
    file_stamp stamp;
};

static int compare_listed(const void *a, const void *b)
{
    return strcasecmp(((const listed_file *)a)->name, ((const listed_file *)b)->name);
}

// The files and folders directly in folder, sorted by name without regard to case, as
// Windows compares names. One listing gives every name, size and time, so no file needs to
// be opened to see that it is up to date. A listing that fails is reported; every file is
// then written again.
static listed_file *list_folder(const char *folder, size_t *count)
{
    *count = 0;
    size_t capacity = 0;
    listed_file *files = nullptr;
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(folder, &listing, &entry);
    // A folder that could not be made has nothing to list; writing into it reports that.
    unsigned error = last_error();
    if (step == LISTING_FAILED && path_attributes(folder) == 1) {
        set_last_error(error);
        report_error_with_reason(MSG_UNPACKED_UNLISTED);
    }
    if (step != LISTING_ENTRY)
        return nullptr;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        if (*count == capacity) {
            capacity = capacity ? 2 * capacity : 64;
            files = (listed_file *)must_realloc(files, capacity * sizeof *files);
        }
        files[(*count)++] = {must_copy(entry.name), entry.stamp};
    }
    close_directory_listing(listing);
    qsort(files, *count, sizeof *files, compare_listed);
    return files;
}

// The stamp of the unpacked file name in folder: from the listing, or for a name in a
// sub-folder, read from the file system. False when nothing of that name exists.
static bool find_stamp(const listed_file *files, size_t count, const char *path,
                       const char *name, file_stamp *stamp)
{
    if (strchr(name, '\\'))
        return read_file_stamp(path, stamp);
    // A listing that failed lists nothing: no array to search.
    listed_file key = {(char *)name, {}};
    const listed_file *found =
        files ? (const listed_file *)bsearch(&key, files, count, sizeof *files, compare_listed)
              : nullptr;
    if (found)
        *stamp = found->stamp;
    return found != nullptr;
}

static bool is_up_to_date(const file_stamp &stamp, const archive_entry &entry)
{
    return !stamp.is_directory && stamp.size == entry.size && stamp.time_low == entry.time_low &&
           stamp.time_high == entry.time_high;
}

// Writes the entry's content to path, straight from the resource, with the entry's
// last-write time. The file is written under a name of this process's own beside it and then
// put in place in one step, so that another instance starting at the same time never sees a
// part of it; when that other instance put its own copy in place first, and it is up to date,
// that one stays. False after a reported failure: a file that must be written and cannot be
// (held by another process, say) is never left as it is, whatever it holds.
static bool write_entry(const launcher_settings &settings, const char *path,
                        const archive_entry &entry)
{
    char suffix[16];
    char *hex = suffix + sizeof suffix;
    *--hex = '\0';
    unsigned id = process_id();
    do {
        *--hex = "0123456789abcdef"[id & 0xF];
        id >>= 4;
    } while (id);
    char *temporary = join_text(path, ".~", hex);
    os_file *file = create_file(temporary);
    bool ok = file && write_file(file, entry.content, entry.size) &&
              set_file_time(file, entry.time_low, entry.time_high);
    if (file) {
        unsigned error = last_error();
        close_file(file);
        set_last_error(error);
    }
    if (ok && !replace_file(temporary, path)) {
        file_stamp stamp;
        unsigned error = last_error();
        ok = read_file_stamp(path, &stamp) && is_up_to_date(stamp, entry);
        set_last_error(error);
    }
    if (file) {
        // Nothing is left there once it was put in place; the reason for a failure stays.
        unsigned error = last_error();
        delete_file(temporary);
        set_last_error(error);
    }
    free(temporary);
    if (!ok)
        report_error_with_reason(settings.msg_write_error, path);
    return ok;
}

// Brings every entry's file in folder up to date, listing each in *list.
static bool unpack_entries(const launcher_settings &settings, const unsigned char *data,
                           uint32_t count, const char *folder, string_list *list)
{
    size_t listed_count;
    listed_file *listed = list_folder(folder, &listed_count);
    size_t offset = 4;
    bool ok = true;
    for (uint32_t i = 0; i < count && ok; i++) {
        archive_entry entry;
        archive_read_entry(data, &offset, &entry);
        char *path = join_text(folder, "\\", entry.name);
        string_list_append(list, path);
        string_list_append(list, ";");
        file_stamp stamp;
        bool present = find_stamp(listed, listed_count, path, entry.name, &stamp);
        if (present && stamp.is_directory) {
            report_error_with_detail(settings.msg_write_error, path, REASON_FOLDER_IN_THE_WAY);
            ok = false;
        } else if (!present || !is_up_to_date(stamp, entry)) {
            trace("unpacking %s", path);
            ok = write_entry(settings, path, entry);
        } else {
            trace("up to date: %s", path);
        }
        free(path);
    }
    for (size_t i = 0; i < listed_count; i++)
        free(listed[i].name);
    free(listed);
    return ok;
}

embedded_archive read_embedded_archive()
{
    embedded_archive archive = {};
    archive.data = find_resource_data(RESOURCE_ARCHIVE, &archive.size);
    archive.stored_hash = find_resource_data(RESOURCE_ARCHIVE_HASH, &archive.stored_hash_size);
    return archive;
}

bool plan_unpacking(const launcher_settings &settings, const run_guard &guard,
                    const embedded_archive &archive, unpack_plan *plan)
{
    *plan = {};
    if (!archive.data || archive.size <= 1)
        return true;
    // The whole archive is checked before anything is written, so a damaged one unpacks
    // nothing; it is reported once and the run stops, as it could only fail on without it.
    const char *bad_name = nullptr;
    switch (archive_check(archive.data, archive.size, &plan->count, &bad_name)) {
    case ARCHIVE_OK:
        break;
    case ARCHIVE_MALFORMED:
        report_error(MSG_ARCHIVE_MALFORMED);
        return false;
    case ARCHIVE_UNSAFE_NAME:
        report_error(settings.msg_write_error, bad_name);
        return false;
    }
    // No entries: nothing to unpack, and the class path stays as configured.
    if (plan->count == 0)
        return true;
    plan->archive = archive.data;
    plan->hash = packed_archive_hash(archive);
    plan->privately = guard.guarded;
    plan->own_account = guard.own_account;
    return true;
}

bool carry_out_unpacking(const launcher_settings &settings, const unpack_plan &plan,
                         char **class_path)
{
    *class_path = nullptr;
    if (plan.count == 0)
        return true;
    char *folder;
    if (!make_unpack_folder(settings, plan, &folder))
        return false;
    if (!folder)
        return true;
    string_list list = {};
    bool ok = unpack_entries(settings, plan.archive, plan.count, folder, &list);
    free(folder);
    if (ok)
        *class_path = list.text;
    else
        free(list.text);
    return ok;
}

bool unpack_embedded_files(const launcher_settings &settings, const run_guard &guard,
                           char **class_path)
{
    *class_path = nullptr;
    unpack_plan plan;
    return plan_unpacking(settings, guard, read_embedded_archive(), &plan) &&
           carry_out_unpacking(settings, plan, class_path);
}
