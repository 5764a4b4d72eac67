// The launch shared by the GUI and the console launcher: the service switches, the
// single-instance guard, the splash screen and the run.
#include "launcher/launch.h"

#include <windows.h>

#include <stdlib.h>

#include "base/memory.h"
#include "config/arguments.h"
#include "config/directories.h"
#include "config/instance.h"
#include "config/run_context.h"
#include "config/settings.h"
#include "java/run.h"
#include "java/vm_hooks.h"
#include "os/guard.h"
#include "launcher/handover.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"
#include "service/service.h"
#include "ui/splash.h"

// The named mutex that marks a running interactive instance, or null.
static HANDLE instance_mutex;

// The mutex's name, while a second start may still become the first.
static const wchar_t *instance_mutex_name;

static void release_instance_mutex(int = 0)
{
    // The channel goes first: a second start that finds the mutex gone finds no channel
    // either, and becomes the first; one that found the channel was answered by it.
    stop_handover_listener();
    if (instance_mutex)
        CloseHandle(instance_mutex);
    instance_mutex = nullptr;
}

// Takes the instance's mutex when no instance holds it. Creating the named mutex is the one
// test, so two launchers started together cannot both pass. A mutex that cannot be created
// (another user's, say) does not stop the launch. True when this start is the first.
static bool take_instance_mutex()
{
    instance_mutex = CreateMutexW(nullptr, TRUE, instance_mutex_name);
    if (instance_mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(instance_mutex);
        instance_mutex = nullptr;
        return false;
    }
    return true;
}

// The folder of a guarded run's trace file: the launcher's private folder.
template <bool own_account> static char *private_trace_folder()
{
    char *failed;
    bool refused;
    char *folder = private_root_folder(own_account, &failed, &refused);
    free(failed);
    return folder;
}

// Refuses a second interactive instance of this application, or hands its arguments over to
// the running one (instance_handover), as planned. Returns true when this start is the first,
// which then listens for second starts when it hands over; otherwise false with the planned
// exit status in *status.
static bool guard_single_instance(const run_context &run, int count, char **vector, int *status)
{
    const launcher_settings &settings = *run.settings;
    char *path = executable_path();
    instance_plan plan = plan_instance(run, path);
    free(path);
    instance_mutex_name = (const wchar_t *)plan.mutex_name;
    bool first = take_instance_mutex();
    if (!first && !plan.channel) {
        report_error(settings.msg_already_running);
        *status = plan.refused_status;
    } else if (!first) {
        handover_outcome outcome = hand_over(settings, plan.channel, count, vector,
                                             take_instance_mutex);
        first = outcome == HANDOVER_NO_FIRST;
        *status = outcome == HANDOVER_DONE ? plan.handed_over_status
                                           : plan.handover_failed_status;
    }
    if (first && plan.channel)
        start_handover_listener(settings, plan.channel);
    instance_mutex_name = nullptr;
    free_instance_plan(&plan);
    return first;
}

// Main is about to be called: second starts' messages can reach the application.
static jvm_record jvm;

static void main_calling()
{
    handover_main_calling(&jvm);
}

// The exit status, traced.
static int finish(int status)
{
    trace("exit status %d", status);
    return status;
}

int launch(const char *command_line, bool console)
{
    set_allocation_failure_hook(report_out_of_memory);
    set_application_end_hook(release_instance_mutex);
    const int failed = start_failure_status(console ? RUN_CONSOLE : RUN_INTERACTIVE);
    set_start_failure_status(failed);

    // The settings: built here, then handed down read-only to what needs them.
    launcher_settings settings = {};
    if (!save_startup_directory(&settings))
        return finish(console ? failed : 0);
    // Relative class path entries, the INI file and runtime paths must never resolve in
    // whatever directory the launcher was started from.
    if (!enter_launcher_directory())
        return finish(failed);
    if (!load_settings(&settings))
        return finish(failed);

    // The arguments by the rule the launcher was built with, and with them whether this is
    // the service run, which fixes the run's kind and whether the run is guarded: a service,
    // and a launcher with more rights than the user's other programs, take nothing those
    // programs can change, the trace's file and the runtime's option variables included.
    run_arguments arguments = read_run_arguments(settings, command_line);
    int count = arguments.count;
    char **vector = arguments.vector;
    bool *wildcards = arguments.wildcards;
    bool service_run = arguments.service_run;
    const run_context run = make_run_context(
        &settings, service_run ? RUN_SERVICE : console ? RUN_CONSOLE : RUN_INTERACTIVE);
    const run_guard &guard = run.guard;
    start_trace(console, !guard.guarded ? nullptr
                         : guard.own_account ? private_trace_folder<true>
                                             : private_trace_folder<false>);
    trace("started with arguments: %s", command_line);
    if (guard.guarded)
        trace("guarded run (%s): only what other accounts cannot change is used",
              service_run ? "a service" : "elevated");
    else if (guard.wine)
        trace("under Wine, which keeps no separate accounts: not guarded");
    if (guard.guarded)
        remove_user_jvm_variables();
    apply_ini_file(&settings, guard);

    if (service_run) {
        run_as_service(run);
        return finish(0);
    }
    // The taskbar's identity, before the splash or the virtual machine makes a window: the
    // installer's shortcuts carry the same id, so that they, pinned icons and the
    // application's windows group under one button.
    if (settings.app_user_model_id[0]) {
        bool set = set_app_user_model_id(settings.app_user_model_id);
        trace("app user model id %s %s", settings.app_user_model_id, set ? "set" : "not set");
    }
    int switch_status;
    if (dispatch_service_switch(settings, count, vector, &switch_status))
        return finish(switch_status);
    // Unquoted wildcards name the files of the folder the launcher was started from.
    if (settings.expand_wildcards && wildcards)
        expand_wildcard_arguments(&count, &vector, wildcards, 1, settings.startup_directory);
    free(wildcards);

    int guard_status;
    if (!settings.multiple_instances &&
        !guard_single_instance(run, count - 1, vector + 1, &guard_status))
        return finish(guard_status);

    if (shows_splash(run))
        start_splash_screen(settings.splash_text, settings.splash_until_window,
                            settings.splash_seconds);

    bool ok = run_application(run, count - 1, vector + 1, &jvm, nullptr, main_calling);
    release_instance_mutex();
    return finish(ok ? 0 : failed);
}
