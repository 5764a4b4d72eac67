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

// The crash folder as a new heap text, from the base folder the system reports; null when
// that is not known. A guarded run's hangs under the launcher's private folder, beside its
// unpacked files; the user's under the user's local folder.
static char *crash_folder(const launcher_settings &settings, const run_guard &trust)
{
    char *path = nullptr;
    if (trust.guarded) {
        // As private_root_folder names it: the base without its trailing backslash.
        char *base = program_data_directory();
        if (base) {
            base[strlen(base) - 1] = '\0';
            path = join_text(base, "\\Trevalo");
        }
        free(base);
    } else {
        char *user = environment_value("LOCALAPPDATA");
        if (user && user[0])
            path = join_text(user, "\\Trevalo");
        free(user);
    }
    if (!path)
        return nullptr;
    // The user's folder is named by the main class as people write it; the private one is the
    // folder of the unpacked files.
    char *application = join_text(settings.main_class, "");
    for (char *p = application; *p; p++)
        if (*p == '/')
            *p = '.';
    char *level = join_path(path, trust.guarded ? settings.main_class_encoded : application);
    char *folder = join_path(level, "crashes");
    free(level);
    free(application);
    free(path);
    return folder;
}

void gather_crash_facts(const launcher_settings &settings, const run_guard &trust,
                        crash_facts *facts)
{
    *facts = {};
    facts->boxes = reports_in_boxes();
    facts->process_id = process_id();
    facts->folder = crash_folder(settings, trust);
    if (!facts->folder)
        return;
    // A missing folder has no records.
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(facts->folder, &listing, &entry);
    bool opened = step == LISTING_ENTRY;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        size_t n = strlen(entry.name);
        if (entry.is_directory || n < 5 || strcmp(entry.name + n - 4, ".run") != 0)
            continue;
        char *path = join_path(facts->folder, entry.name);
        // A running launcher holds its record: it cannot be read.
        char *refused = nullptr;
        char *text = trust.guarded ? read_private_text_file(path, trust.own_account, &refused)
                                   : read_text_file(path);
        free(refused);
        free(path);
        if (!text)
            continue;
        char *report = copy_text(text, strcspn(text, "\n"));
        facts->records = (earlier_run_record *)must_realloc(
            facts->records, ((size_t)facts->record_count + 1) * sizeof(earlier_run_record));
        facts->records[facts->record_count++] = {must_copy(entry.name), text,
                                                 report[0] && file_exists(report)};
        free(report);
    }
    if (opened)
        close_directory_listing(listing);
}

void free_crash_facts(crash_facts *facts)
{
    for (int i = 0; i < facts->record_count; i++) {
        free(facts->records[i].name);
        free(facts->records[i].text);
    }
    free(facts->records);
    free(facts->folder);
    *facts = {};
}

// This run's crash report: the one the options name (%p the process's id, as the virtual
// machine reads it), or one in folder, then given in list when the runtime can read it. A
// new heap text; the empty text when the virtual machine is left to write it where it always
// would.
static char *crash_report(const char *folder, const char *pid, jvm_option_list *list,
                          int *option_at)
{
    int at;
    const char *named = last_jvm_option(*list, error_file_option, &at);
    *option_at = -1;
    if (!named) {
        char *name = join_text("\\hs_err_pid", pid, ".log");
        char *report = join_text(folder, name);
        free(name);
        // The virtual machine reads "%%" in the name as "%" (and "%p" as its process id).
        string_list option = {};
        string_list_append(&option, error_file_option);
        for (const char *p = report; *p;) {
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
        // A folder the runtime's code page cannot write (the report has no short name before
        // it is written) would stop the run: the evidence goes without its report instead.
        char *readable = runtime_option(option.text);
        if (!readable) {
            trace("crash report %s: not in the runtime's code page, not given", report);
            free(option.text);
            report[0] = '\0';
            return report;
        }
        free(readable);
        append_jvm_option(list, option.text);
        *option_at = list->count - 1;
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

void plan_crash_evidence(const launcher_settings &settings, const crash_facts &facts,
                         jvm_option_list *list, crash_evidence_plan *plan)
{
    *plan = {};
    plan->option_at = -1;
    if (!facts.folder)
        return;
    plan->folder = must_copy(facts.folder);
    plan->earlier = (earlier_run_notice *)must_alloc(((size_t)facts.record_count + 1) *
                                                     sizeof(earlier_run_notice));
    for (int i = 0; i < facts.record_count; i++) {
        const earlier_run_record &record = facts.records[i];
        last_run_end end = read_run_end(record.text, record.report_exists);
        static const char *const messages[] = {nullptr, MSG_LAST_RUN_CRASHED,
                                               MSG_LAST_RUN_ABORTED, MSG_LAST_RUN_NOT_STARTED};
        plan->earlier[plan->earlier_count++] = {
            join_path(facts.folder, record.name), messages[end],
            end != RUN_ENDED && (settings.crash_notice || !facts.boxes),
            copy_text(record.text, strcspn(record.text, "\n"))};
    }
    char digits[12];
    const char *pid = decimal_text((int)facts.process_id, digits);
    plan->report = crash_report(facts.folder, pid, list, &plan->option_at);
    char *name = join_text("\\", pid, ".run");
    plan->record = join_text(facts.folder, name);
    free(name);
}

// Tells of the earlier runs of plan whose records it removes.
static void tell_earlier_runs(const crash_evidence_plan &plan)
{
    for (int i = 0; i < plan.earlier_count; i++) {
        const earlier_run_notice &run = plan.earlier[i];
        // Removed first: of two launchers starting at once, one tells.
        if (!delete_file(run.record))
            continue;
        trace("earlier run %s: %s", last_separator(run.record) + 1,
              run.message ? run.message : "ended");
        if (run.shown)
            report_info(run.message, run.report);
    }
}

bool make_crash_evidence(const crash_evidence_plan &plan, const run_guard &trust)
{
    if (!plan.folder)
        return false;
    // The levels below the launcher's folder: the application's and the crashes'. A guarded
    // run's root is checked and held from the system's program data down.
    char *application = path_folder(plan.folder);
    bool made;
    if (trust.guarded) {
        char *failed = nullptr;
        bool refused;
        char *held = private_root_folder(trust.own_account, &failed, &refused);
        made = held != nullptr;
        free(held);
        free(failed);
    } else {
        char *root = path_folder(application);
        made = make_level(root, trust);
        free(root);
    }
    const char *levels[] = {application, plan.folder};
    for (const char *level : levels) {
        if (made && !make_level(level, trust)) {
            trace("crash folder %s cannot be made", level);
            made = false;
        }
    }
    free(application);
    if (!made)
        return false;
    tell_earlier_runs(plan);
    trim_crash_reports(plan.folder);
    // Held open to the process's end, shared with nobody: a later start passes it over while
    // this run lives.
    os_file *record = create_file(plan.record);
    trace("crash report %s; run record %s%s", plan.report, plan.record,
          record ? "" : " cannot be made");
    if (record) {
        char *line = join_text(plan.report, "\n");
        write_file(record, line, (uint32_t)strlen(line));
        free(line);
        set_run_record(record);
    }
    return true;
}

void free_crash_evidence_plan(crash_evidence_plan *plan)
{
    for (int i = 0; i < plan->earlier_count; i++) {
        free(plan->earlier[i].record);
        free(plan->earlier[i].report);
    }
    free(plan->earlier);
    free(plan->folder);
    free(plan->report);
    free(plan->record);
    *plan = {};
    plan->option_at = -1;
}
