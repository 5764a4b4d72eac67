// The launch shared by the GUI and the console launcher: the service switches, the
// single-instance guard, the splash screen and the run.
#include "launcher/launch.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "base/archive.h"
#include "base/command_line.h"
#include "base/memory.h"
#include "base/text.h"
#include "config/directories.h"
#include "config/settings.h"
#include "java/run.h"
#include "java/vm_hooks.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"
#include "os/wide.h"
#include "service/service.h"
#include "ui/splash.h"

// The named mutex that marks a running interactive instance, or null.
static HANDLE instance_mutex;

static void release_instance_mutex(int = 0)
{
    if (instance_mutex)
        CloseHandle(instance_mutex);
    instance_mutex = nullptr;
}

// The instance's name: "Local\Trevalo-<hash>-<main class>", in the session's namespace. The
// main class alone is shared by unrelated applications (every Spring Boot jar has the same
// one), so the hash covers the launcher's full path with it, upper-cased as Windows compares
// paths: stable for every start of one launcher however its path is typed, distinct for
// launchers in different folders. A hash of the configuration would instead let an updated
// launcher start beside the old one still running. The main class follows for whoever reads
// the name (cut to keep the name within MAX_PATH).
static wchar_t *instance_name(const char *main_class)
{
    char path[PATH_SIZE];
    if (!executable_path(path, sizeof path))
        path[0] = '\0';
    char *hashed = join_text(path, "\n", main_class);
    wchar_t *key = to_wide(hashed);
    free(hashed);
    CharUpperW(key);
    char tag[ARCHIVE_FOLDER_NAME_SIZE + 1];
    archive_folder_name(archive_hash((const unsigned char *)key, wcslen(key) * sizeof(wchar_t)),
                        tag);
    free(key);
    tag[ARCHIVE_FOLDER_NAME_SIZE - 1] = '-';
    tag[ARCHIVE_FOLDER_NAME_SIZE] = '\0';
    char *text = join_text("Local\\Trevalo-", tag, main_class);
    wchar_t *name = to_wide(text);
    free(text);
    if (wcslen(name) >= MAX_PATH)
        name[MAX_PATH - 1] = L'\0';
    return name;
}

// Refuses a second interactive instance of this application. Creating the named mutex is the
// one test, so two launchers started together cannot both pass. A mutex that cannot be
// created (another user's, say) does not stop the launch. Returns false when another
// instance runs.
static bool guard_single_instance(const launcher_settings &settings)
{
    wchar_t *name = instance_name(settings.main_class);
    instance_mutex = CreateMutexW(nullptr, TRUE, name);
    bool running = instance_mutex && GetLastError() == ERROR_ALREADY_EXISTS;
    free(name);
    if (running) {
        release_instance_mutex();
        report_error(settings.msg_already_running);
        return false;
    }
    return true;
}

// The exit status, traced.
static int finish(int status)
{
    trace("exit status %d", status);
    return status;
}

int launch(const char *command_line, bool console)
{
    start_trace(console);
    trace("started with arguments: %s", command_line);
    set_allocation_failure_hook(report_out_of_memory);
    set_application_end_hook(release_instance_mutex);

    // The settings: built here, then handed down read-only to what needs them.
    launcher_settings settings = {};
    if (!save_startup_directory(&settings))
        return finish(0);
    // Relative class path entries, the INI file and runtime paths must never resolve in
    // whatever directory the launcher was started from.
    if (!enter_launcher_directory())
        return finish(-1);
    load_settings(&settings);

    // The rule the launcher was built with: the Windows convention, as programs and scripts
    // quote the command line of a command-line tool, or the classic one (launchers built
    // before the setting existed hold none and keep it).
    int count;
    char **vector;
    if (strcmp(settings.command_line_rule, "windows") == 0)
        split_windows_command_line(command_line, &count, &vector, true);
    else
        split_command_line(command_line, &count, &vector, true);

    // The INI file, once it is known whether this is the service run: a service, and a
    // launcher with more rights than the user's other programs, read it only from a folder
    // those cannot change.
    bool service_run = settings.service_name[0] && count == 2 &&
                       strcmp(vector[1], settings.service_switch) == 0;
    apply_ini_file(&settings, service_run || process_is_elevated(), service_run);

    // The taskbar's identity, before the splash or the virtual machine makes a window: the
    // installer's shortcuts carry the same id, so that they, pinned icons and the
    // application's windows group under one button. A service has no windows.
    if (settings.app_user_model_id[0] && !service_run) {
        bool set = set_app_user_model_id(settings.app_user_model_id);
        trace("app user model id %s %s", settings.app_user_model_id, set ? "set" : "not set");
    }

    int switch_status;
    if (settings.service_name[0] &&
        dispatch_service_switch(settings, count, vector, &switch_status))
        return finish(switch_status);

    // A script must see that a refused console launcher did nothing: it ends with
    // ERROR_ALREADY_EXISTS (183). A GUI launcher ends with 0, as it always has.
    if (!settings.multiple_instances && !guard_single_instance(settings))
        return finish(console ? ERROR_ALREADY_EXISTS : 0);

    if (!console && (settings.splash_until_window || settings.splash_seconds != 0))
        start_splash_screen(settings.splash_text, settings.splash_until_window,
                            settings.splash_seconds);

    jvm_record jvm = {};
    bool ok = run_application(settings, count - 1, vector + 1, false, &jvm, nullptr);
    release_instance_mutex();
    return finish(ok ? 0 : -1);
}
