// Test helper: the stop call of a service, without the service manager. Loads the settings as
// the launcher does, creates the virtual machine and runs main; a second thread waits until the
// file TREVALO_READY_FILE holds the text TREVALO_READY_TEXT (the application runs), then calls
// main again with "stop", attached as the service's stopper is. Reports are printed as
// "reported: <text>"; then "stop call=0|1" and "run=0|1".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config/directories.h"
#include "config/settings.h"
#include "java/jvm.h"
#include "java/main_class.h"
#include "os/report.h"

static launcher_settings settings;
static jvm_record jvm;

static void print_report(bool, const char *text)
{
    printf("reported: %s\n", text);
    fflush(stdout);
}

static bool ready()
{
    HANDLE file = CreateFileA(getenv("TREVALO_READY_FILE"), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static char text[65536];
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    text[read] = '\0';
    return strstr(text, getenv("TREVALO_READY_TEXT")) != nullptr;
}

static DWORD WINAPI stop_call(void *)
{
    while (!ready())
        Sleep(10);
    char stop[] = "stop";
    char *vector[] = {stop};
    bool ok = run_main_class(settings, jvm, 1, vector, true);
    printf("stop call=%d\n", ok ? 1 : 0);
    fflush(stdout);
    return 0;
}

int main()
{
    set_message_sink(print_report);
    if (!save_startup_directory(&settings))
        return 1;
    enter_launcher_directory();
    load_settings(&settings);
    const run_context run = make_run_context(&settings, RUN_CONSOLE);
    launch_plan plan;
    if (!plan_run_start(run, {}, &plan) ||
        !create_jvm(run, &plan, settings.class_path, true, 0, nullptr, &jvm))
        return 1;
    HANDLE thread = CreateThread(nullptr, 0, stop_call, nullptr, 0, nullptr);
    bool ok = run_main_class(settings, jvm, 0, nullptr, false);
    WaitForSingleObject(thread, INFINITE);
    printf("run=%d\n", ok ? 1 : 0);
    fflush(stdout);
    destroy_jvm(jvm);
    return 0;
}
