// The launcher's entry point and run sequence.
#include <windows.h>

#include "app/main_class.h"
#include "jvm/jvm.h"
#include "launcher/command_line.h"
#include "launcher/settings.h"
#include "launcher/startup.h"
#include "service/service.h"
#include "ui/report.h"
#include "ui/splash.h"

// Refuses a second interactive instance. The mutex is named after the main class; only a
// successful OpenMutexA counts as another instance running. Returns false when one runs.
static bool guard_single_instance()
{
    // 0x1F0001 = MUTEX_ALL_ACCESS
    HANDLE other = OpenMutexA(0x1F0001, FALSE, settings.main_class);
    if (other) {
        CloseHandle(other);
        report_error(settings.msg_already_running);
        return false;
    }
    instance_mutex = CreateMutexA(nullptr, TRUE, settings.main_class);
    return true;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int)
{
    run_mode = RUN_MODE_INTERACTIVE;

    int count;
    char **vector;
    split_command_line(command_line, &count, &vector, true);

    if (!save_startup_directory())
        return 0;
    enter_launcher_directory();
    load_settings();

    int switch_status;
    if (settings.service_name[0] && dispatch_service_switch(count, vector, &switch_status))
        return switch_status;

    if (!settings.multiple_instances && !guard_single_instance())
        return 0;

    if (settings.splash_until_window || settings.splash_seconds != 0)
        start_splash_screen();

    if (!create_jvm(false))
        return -1;
    bool ok = run_main_class(count - 1, vector + 1, false);
    destroy_jvm();

    release_instance_mutex();
    return ok ? 0 : -1;
}
