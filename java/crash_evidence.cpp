// Evidence when the virtual machine crashes. Portable: files through the system seam.
#include "java/crash_evidence.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/path.h"
#include "base/string_list.h"
#include "base/text.h"
#include "java/vm_hooks.h"
#include "os/guard.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

static const char error_file_option[] = "-XX:ErrorFile=";

last_run_end read_run_end(const char *record, bool report_exists)
{
    if (report_exists)
        return RUN_CRASHED;
    // The last step the run reached.
    const char *step = strchr(record, '\n');
    const char *last = nullptr;
    while (step && step[1]) {
        last = step + 1;
        step = strchr(last, '\n');
    }
    if (last && strncmp(last, "aborted", 7) == 0)
        return RUN_ABORTED;
    if (last && strncmp(last, "starting", 8) == 0)
        return RUN_BEFORE_VM;
    return RUN_ENDED;
}

static bool is_crash_report(const directory_entry &entry)
{
    size_t n = strlen(entry.name);
    return !entry.is_directory && n > 4 && strncasecmp(entry.name, "hs_err_pid", 10) == 0 &&
           strcasecmp(entry.name + n - 4, ".log") == 0;
}

static uint64_t written_at(const file_stamp &stamp)
{
    return (uint64_t)stamp.time_high << 32 | stamp.time_low;
}

void trim_crash_reports(const char *folder)
{
    // A few files: the oldest found and removed again while too many are left.
    for (;;) {
        directory_listing *listing;
        directory_entry entry;
        char oldest[PATH_SIZE] = "";
        uint64_t oldest_time = 0;
        int count = 0;
        listing_step step = open_directory_listing(folder, &listing, &entry);
        bool opened = step == LISTING_ENTRY;
        for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
            if (!is_crash_report(entry))
                continue;
            count++;
            if (!oldest[0] || written_at(entry.stamp) < oldest_time) {
                strcpy(oldest, entry.name);
                oldest_time = written_at(entry.stamp);
            }
        }
        if (opened)
            close_directory_listing(listing);
        if (count <= CRASH_REPORTS_KEPT)
            return;
        char *path = join_path(folder, oldest);
        bool removed = delete_file(path);
        trace("crash report %s removed: %s", path, removed ? "yes" : "no (in use)");
        free(path);
        if (!removed)
            return;
    }
}

// Makes path as a folder of the user's, or a private one, and holds it; false when it cannot.
static bool make_level(const char *path, const run_guard &trust)
{
    if (!trust.guarded)
        return create_directory(path) || path_attributes(path) == 1;
    return create_private_directory(path, trust.own_account) != FOLDER_FAILED &&
           hold_private_directory(path, trust.own_account) == FOLDER_HELD;
}

// The crash folder as a new heap text, made level by level; null when it cannot be made. A
// guarded run's hangs under the launcher's private folder (checked and held from the system's
// program data down), beside its unpacked files; the user's under the user's local folder.
static char *crash_folder(const launcher_settings &settings, const run_guard &trust)
{
    char *path = nullptr;
    if (trust.guarded) {
        char *failed = nullptr;
        bool refused;
        path = private_root_folder(trust.own_account, &failed, &refused);
        free(failed);
    } else {
        char *user = environment_value("LOCALAPPDATA");
        if (user && user[0])
            path = join_text(user, "\\Trevalo");
        free(user);
    }
    if (!path || (!trust.guarded && !make_level(path, trust))) {
        free(path);
        return nullptr;
    }
    // The user's folder is named by the main class as people write it; the private one is the
    // folder of the unpacked files.
    char *application = join_text(settings.main_class, "");
    for (char *p = application; *p; p++)
        if (*p == '/')
            *p = '.';
    const char *levels[] = {trust.guarded ? settings.main_class_encoded : application, "crashes"};
    for (const char *level : levels) {
        char *next = join_path(path, level);
        free(path);
        path = next;
        if (!make_level(path, trust)) {
            trace("crash folder %s cannot be made", path);
            free(path);
            path = nullptr;
            break;
        }
    }
    free(application);
    return path;
}

// Tells of the earlier runs whose records are in folder and no longer held by their process,
// and removes those records.
static void tell_earlier_runs(const launcher_settings &settings, const char *folder)
{
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(folder, &listing, &entry);
    bool opened = step == LISTING_ENTRY;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        size_t n = strlen(entry.name);
        if (entry.is_directory || n < 5 || strcmp(entry.name + n - 4, ".run") != 0)
            continue;
        char *path = join_path(folder, entry.name);
        // A running launcher holds its record: it cannot be read.
        char *record = read_text_file(path);
        // Removed first: of two launchers starting at once, one tells.
        if (record && delete_file(path)) {
            size_t line = strcspn(record, "\n");
            char *report = copy_text(record, line);
            last_run_end end = read_run_end(record, report[0] && file_exists(report));
            static const char *const messages[] = {nullptr, MSG_LAST_RUN_CRASHED,
                                                   MSG_LAST_RUN_ABORTED,
                                                   MSG_LAST_RUN_NOT_STARTED};
            trace("earlier run %s: %s", entry.name,
                  end == RUN_ENDED ? "ended" : messages[end]);
            if (end != RUN_ENDED && (settings.crash_notice || !reports_in_boxes()))
                report_info(messages[end], report);
            free(report);
        }
        free(record);
        free(path);
    }
    if (opened)
        close_directory_listing(listing);
}

// This run's crash report: the one the options name (%p the process's id, as the virtual
// machine reads it), or one in folder, then given in list. A new heap text.
static char *crash_report(const char *folder, jvm_option_list *list)
{
    char digits[12];
    const char *pid = decimal_text((int)process_id(), digits);
    int at;
    const char *named = last_jvm_option(*list, error_file_option, &at);
    if (!named) {
        char *name = join_text("\\hs_err_pid", pid, ".log");
        char *report = join_text(folder, name);
        free(name);
        // The virtual machine reads "%%" in the name as "%" (and "%p" as its process id).
        string_list option = {};
        string_list_append(&option, error_file_option);
        for (const char *p = report; *p; p += strcspn(p, "%")) {
            size_t n = strcspn(p, "%");
            char *part = copy_text(p, n);
            string_list_append(&option, part);
            free(part);
            p += n;
            if (*p) {
                string_list_append(&option, "%%");
                p++;
            }
        }
        append_jvm_option(list, option.text);
        return report;
    }
    string_list text = {};
    for (const char *p = named; *p; p++) {
        if (p[0] == '%' && (p[1] == 'p' || p[1] == '%')) {
            string_list_append(&text, p[1] == 'p' ? pid : "%");
            p++;
        } else {
            char one[2] = {*p, '\0'};
            string_list_append(&text, one);
        }
    }
    return text.text ? text.text : must_copy("");
}

void prepare_crash_evidence(const launcher_settings &settings, const run_guard &trust,
                            jvm_option_list *list)
{
    char *folder = crash_folder(settings, trust);
    if (!folder)
        return;
    tell_earlier_runs(settings, folder);
    trim_crash_reports(folder);
    char *report = crash_report(folder, list);
    char digits[12];
    char *name = join_text("\\", decimal_text((int)process_id(), digits), ".run");
    char *path = join_text(folder, name);
    // Held open to the process's end, shared with nobody: a later start passes it over while
    // this run lives.
    os_file *record = create_file(path);
    trace("crash report %s; run record %s%s", report, path, record ? "" : " cannot be made");
    if (record) {
        char *line = join_text(report, "\n");
        write_file(record, line, (uint32_t)strlen(line));
        free(line);
        set_run_record(record);
    }
    free(path);
    free(name);
    free(report);
    free(folder);
}
