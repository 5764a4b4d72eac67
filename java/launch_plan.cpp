// The plan of a run's virtual machine. Portable: the system is reached through the system
// seam.
#include "java/launch_plan.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/string_list.h"
#include "base/text.h"
#include "config/arguments.h"
#include "config/directories.h"
#include "config/user_options.h"
#include "java/class_sharing.h"
#include "java/crash_evidence.h"
#include "java/heap_size.h"
#include "java/jvm_options.h"
#include "os/report.h"
#include "os/trace.h"

runtime_request runtime_request_for(const run_context &run)
{
    const launcher_settings &settings = *run.settings;
    return {settings.search_order, settings.runtime_paths, settings.java_version,
            settings.max_java_version, run.guard.guarded, run.guard.own_account};
}

// format_text with the arguments given here; returns the length written.
static size_t format_line(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = format_text(buffer, size, format, args);
    va_end(args);
    return (size_t)n;
}

// The line that says why runtime was passed over by a launcher for the processor machine, into
// line (size bytes).
static void describe_passed_runtime(const passed_runtime &runtime, unsigned machine, char *line,
                                    size_t size)
{
    unsigned number = runtime.number;
    const char *path = runtime.path;
    if (runtime.reason == PASSED_VERSION)
        format_line(line, size, MSG_RUNTIME_VERSION_OUTSIDE, number, path);
    else if (runtime.reason == PASSED_NO_FOLDER)
        format_line(line, size, MSG_RUNTIME_NO_FOLDER, path);
    else if (runtime.reason == PASSED_OTHER_PROCESSOR && number == MACHINE_ARM64)
        format_line(line, size, MSG_RUNTIME_NEEDS_ARM64_LAUNCHER, path);
    else if (runtime.reason == PASSED_OTHER_PROCESSOR && machine == MACHINE_ARM64 &&
             (number == MACHINE_X64 || number == MACHINE_X86))
        format_line(line, size, MSG_RUNTIME_NOT_ARM64, number == MACHINE_X64 ? "x64" : "x86",
                    path);
    else if (runtime.reason == PASSED_OTHER_PROCESSOR &&
             (number == MACHINE_X64 || number == MACHINE_X86)) {
        int bits = number == MACHINE_X64 ? 64 : 32;
        format_line(line, size, MSG_RUNTIME_OTHER_WIDTH, bits, path, 96 - bits);
    } else if (runtime.reason == PASSED_OTHER_PROCESSOR)
        format_line(line, size, MSG_RUNTIME_OTHER_PROCESSOR, path);
    else
        format_line(line, size,
                    runtime.reason == PASSED_NO_LIBRARY ? MSG_RUNTIME_NO_LIBRARY
                                                        : MSG_RUNTIME_VERSION_UNKNOWN,
                    path);
}

// A minimum of 1.4 (the default) or lower is met by every runtime the search can find, so it
// is not worth naming.
enum { LOWEST_WORTH_NAMING = 5 };

void describe_passed_over(const passed_over &passed, const runtime_request &request,
                          unsigned machine, char *note)
{
    const size_t size = SEARCH_NOTE_SIZE;
    note[0] = '\0';
    size_t length = 0;
    // A folder refused as not private comes first: it is why a runtime that is there was not
    // taken.
    if (passed.refused[0]) {
        length = fill_message(note, size, folder_refusal(request.own_account), passed.refused);
        length += format_line(note + length, size - length, "\n");
    }
    char line[RUNTIME_PATH_SIZE + 128];
    for (int i = 0; i < passed.count; i++) {
        describe_passed_runtime(passed.runtimes[i], machine, line, sizeof line);
        length += format_line(note + length, size - length, "%s\n", line);
    }
    // The versions the search accepts, as "17 or later", "8 to 11" or "11 or earlier".
    unsigned minimum = minimum_feature_version(request.required_version);
    unsigned maximum = request.max_java_version > 0 ? (unsigned)request.max_java_version : 0;
    if (minimum < LOWEST_WORTH_NAMING)
        minimum = 0;
    char range[32] = "";
    if (minimum && maximum)
        format_line(range, sizeof range, "%u to %u", minimum, maximum);
    else if (minimum)
        format_line(range, sizeof range, "%u or later", minimum);
    else if (maximum)
        format_line(range, sizeof range, "%u or earlier", maximum);
    if (range[0])
        length += format_line(note + length, size - length, MSG_RUNTIME_NEEDED, range);
    // No line break after the last line.
    if (length > 0 && note[length - 1] == '\n')
        note[length - 1] = '\0';
}

// Takes the runtime library the search found for this launcher's processor into plan, and what
// it passed over. False after a reported failure: it found none.
static bool take_runtime(const run_context &run, const runtime_search_outcome &runtime,
                         launch_plan *plan)
{
    const launcher_settings &settings = *run.settings;
    plan->passed = runtime.passed;
    if (runtime.found) {
        memcpy(plan->library_path, runtime.library, sizeof plan->library_path);
        return true;
    }
    // What was passed over and why, and the versions needed: the user may have a runtime,
    // but not the right one.
    char note[SEARCH_NOTE_SIZE];
    describe_passed_over(plan->passed, runtime_request_for(run), LAUNCHER_MACHINE, note);
    report_error_with_offer(settings.msg_no_runtime, note, settings.download_url);
    return false;
}

// Adds option, in the runtime's encoding, to the given options of plan. An option the
// runtime cannot read in its code page: a property ("-Dname=value") is set once the machine
// runs, in UTF-16; any other is refused (reported, false).
static bool sort_option(const char *option, launch_plan *plan)
{
    trace("option %s", option);
    if (char *converted = runtime_option(option)) {
        plan->given[plan->given_count++] = converted;
    } else if (strncmp(option, "-D", 2) == 0) {
        plan->late[plan->late_count++] = must_copy(option);
    } else {
        report_error(MSG_OPTION_NOT_REPRESENTABLE, option);
        return false;
    }
    return true;
}

// Sorts command (what the java command sets, so that monitoring tools name the application;
// before the user's options, so that one of theirs wins), the options of list and its class
// path, which follows the first class_path_at options, into the given and the late options of
// plan; false after a reported failure.
static bool sort_options(const jvm_option_list &list, int class_path_at, const char *command,
                         launch_plan *plan)
{
    // The crash evidence's option, found among the given ones.
    int crash_at = plan->crash.option_at;
    plan->crash.option_at = -1;
    plan->given = (char **)must_alloc(((size_t)list.count + 2) * sizeof(char *));
    plan->late = (char **)must_alloc(((size_t)list.count + 1) * sizeof(char *));
    if (!sort_option(command, plan))
        return false;
    for (int i = 0; i <= list.count; i++) {
        if (i == class_path_at) {
            // Read by the system class loader during the creation: never a late property,
            // and each entry converted on its own.
            char *class_path;
            class_path_option(list, false, &class_path);
            if (class_path)
                trace("option %s", class_path);
            free(class_path);
            if (!class_path_option(list, true, &class_path))
                return false;
            if (class_path)
                plan->given[plan->given_count++] = class_path;
        }
        if (i == crash_at)
            plan->crash.option_at = plan->given_count;
        if (i < list.count && !sort_option(list.options[i], plan))
            return false;
    }
    return true;
}

// "-Dsun.java.command=" with the main class (dotted) and main's arguments, each after a blank as
// the java command writes them: the count arguments of vector, or the app_args text. Without
// a main class, the jar whose manifest names it (the class path's first entry), as
// "java -jar" writes it.
static char *java_command_option(const launcher_settings &settings, const jvm_option_list &list,
                                 int count, char **vector)
{
    string_list text = {};
    string_list_append(&text, "-Dsun.java.command=");
    if (!settings.main_class[0] && list.class_path_count > 0) {
        string_list_append(&text, list.class_path[0]);
    } else {
        size_t start = (size_t)text.length;
        string_list_append(&text, settings.main_class);
        for (char *p = text.text + start; *p; p++)
            if (*p == '/')
                *p = '.';
    }
    for (int i = 0; i < count; i++) {
        string_list_append(&text, " ");
        string_list_append(&text, vector[i]);
    }
    const char *configured = configured_arguments(settings, count);
    if (configured && configured[0]) {
        string_list_append(&text, " ");
        string_list_append(&text, configured);
    }
    return text.text;
}

bool plan_run_start(const run_context &run, const embedded_archive &archive, launch_plan *plan)
{
    *plan = {};
    const launcher_settings &settings = *run.settings;
    if (settings.refused_ini_folder) {
        report_error(folder_refusal(run.guard.own_account), settings.refused_ini_folder);
        return false;
    }
    // early_working_dir enters the configured directory before the virtual machine is made;
    // otherwise the directory is entered just before main, and may be the start-up one.
    if (settings.early_working_dir)
        plan->early_directory = working_directory(settings, true);
    else
        plan->main_directory = working_directory(settings, false);
    return plan_unpacking(settings, run.guard, archive, &plan->unpack);
}

bool reads_user_options(const run_context &run)
{
    return run.kind != RUN_SERVICE && !run.guard.guarded;
}

void gather_launch_facts(const run_context &run, launch_facts *facts)
{
    *facts = {};
    const launcher_settings &settings = *run.settings;
    find_runtime_library(runtime_request_for(run), LAUNCHER_MACHINE, &facts->runtime);
    // Without a runtime the run ends with that one report: nothing else is read.
    if (!facts->runtime.found)
        return;
    gather_crash_facts(settings, run.guard, &facts->crash);
    if (!reads_user_options(run)) {
        if (settings.user_options_file[0])
            trace("user's options file not read: a service or an elevated run");
        return;
    }
    char *user_path = nullptr;
    read_user_options(settings.user_options_file, &facts->user, &user_path);
    free(user_path);
}

void free_launch_facts(launch_facts *facts)
{
    free_user_options(&facts->user);
    free_crash_facts(&facts->crash);
}

bool plan_launch(const run_context &run, const launch_facts &facts, const char *class_path,
                 bool expand_folders, int count, char **vector, launch_plan *plan)
{
    const launcher_settings &settings = *run.settings;
    plan->console = run.kind == RUN_SERVICE;
    // A service, and a guarded run, write only where no other account can put a link; a
    // service also under Wine, where its output files always were checked.
    plan->output = {settings.output_append != 0, settings.output_max_kb, settings.output_keep,
                    run.kind == RUN_SERVICE || run.guard.guarded, run.guard.own_account};
    const char *home = facts.runtime.home;
    if (!take_runtime(run, facts.runtime, plan))
        return false;
    jvm_option_list list;
    if (!build_jvm_options(settings.jvm_options, class_path, expand_folders, home, &list,
                           run.guard, &facts.user))
        return false;
    // Where each heap option came from is read before class sharing adds its own options.
    heap_sizes given = given_heap_sizes(settings, list);
    plan_class_sharing(settings, plan->library_path, run.guard, &list, &plan->class_sharing);
    // The class path follows the options configured, the user's and sharing's, as it always
    // has; the heap and crash options come after it.
    int class_path_at = list.count;
    add_heap_options(settings, given, &list);
    plan_crash_evidence(settings, facts.crash, &list, &plan->crash);
    char *command = java_command_option(settings, list, count, vector);
    bool ok = sort_options(list, class_path_at, command, plan);
    free(command);
    free_jvm_options(&list);
    return ok;
}

void free_launch_plan(launch_plan *plan)
{
    for (int i = 0; i < plan->late_count; i++)
        free(plan->late[i]);
    free(plan->late);
    plan->late = nullptr;
    plan->late_count = 0;
    free_crash_evidence_plan(&plan->crash);
    free_class_sharing_action(&plan->class_sharing);
}
