// Running as the configured service: the plan of the run made from the settings, and the
// application's run and stop calls.
#include "service/service.h"

#include <stdlib.h>
#include <string.h>

#include "base/command_line.h"
#include "config/run_context.h"
#include "config/settings.h"
#include "java/main_class.h"
#include "java/run.h"
#include "java/stopper.h"
#include "java/vm_hooks.h"
#include "os/os.h"
#include "os/report.h"
#include "output/output_files.h"
#include "service/service_lifecycle.h"
#include "service/service_system.h"

// The service's run: its settings, its context and its virtual machine, which the stop call
// attaches to.
struct service_run {
    launcher_settings settings;
    run_context context;
    jvm_record jvm;
};

// The run, the one pointer kept: the manager and the run's threads call the application's
// functions with no pointer of the launcher's.
static service_run *current;

static bool run_service_application(void (*main_calling)(), void (*main_returned)(bool ok))
{
    int count;
    char **vector;
    split_command_line(current->settings.service_args, &count, &vector, false);
    return run_application(current->context, count, vector, &current->jvm, main_returned,
                           main_calling);
}

// The stop call: main again with stop_args on an attached thread.
static bool call_main_to_stop()
{
    int count;
    char **vector;
    split_command_line(current->settings.stop_args, &count, &vector, false);
    return run_main_class(current->settings, current->jvm, count, vector, true);
}

static bool stop_with_exit()
{
    return stop_java_application(current->settings, current->jvm);
}

// A service starts in the system's folder: its output files named relative to the launcher go
// next to the launcher, whatever the working directory. The settings' paths made full.
static void use_service_output_paths(launcher_settings *settings)
{
    char *path = executable_path();
    if (!path)
        return;
    char *last_backslash = strrchr(path, '\\');
    if (last_backslash)
        last_backslash[1] = '\0';
    settings->stdout_file = output_file_path(settings->stdout_file, path);
    settings->stderr_file = output_file_path(settings->stderr_file, path);
    free(path);
}

bool ready_service_output_folders(const launcher_settings &settings)
{
    char *folder = executable_path();
    if (!folder)
        return true; // the run reports it
    char *last_backslash = strrchr(folder, '\\');
    if (last_backslash)
        last_backslash[1] = '\0';
    const char *settings_paths[] = {settings.stdout_file, settings.stderr_file};
    for (const char *setting : settings_paths) {
        // Made as an administrator makes it; what the service may write to, it checks itself.
        char *path = setting[0] ? output_file_path(setting, folder) : nullptr, *made = nullptr;
        bool ok = !path || ready_output_folder(path, output_rules{}, &made) == OUTPUT_READY;
        if (!ok)
            report_error_with_reason(settings.msg_write_error, path);
        free(made);
        free(path);
        if (!ok) {
            free(folder);
            return false;
        }
    }
    free(folder);
    return true;
}

void run_as_service(const run_context &launcher)
{
    // The run, the plan and the entry live as long as the process, not on this frame: the
    // virtual machine's end hook and the threads the run started may still reach them while
    // the process ends after the dispatcher has returned.
    static service_run run;
    run.settings = *launcher.settings;
    use_service_output_paths(&run.settings);
    run.context = launcher;
    run.context.settings = &run.settings;
    current = &run;
    static service_plan plan;
    const launcher_settings &settings = run.settings;
    plan.application.run = run_service_application;
    plan.application.stop = settings.stop_with_exit ? stop_with_exit : call_main_to_stop;
    plan.name = settings.service_name;
    plan.started = settings.msg_started;
    plan.stopped = settings.msg_stopped;
    plan.failed = settings.msg_failed;
    plan.stop_timeout = settings.msg_stop_timeout;
    plan.stop_timeout_ms = stop_timeout_ms(settings.stop_timeout_seconds);
    set_application_end_hook(end_service_application);
    static service_entry entry;
    entry = {
        plan.name,
        [](void *context) { run_service((const service_plan *)context); },
        [](void *, service_control control) { control_service(control); },
        &plan,
    };
    start_service_dispatcher(&entry);
}
