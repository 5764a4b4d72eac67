// Test helper: loads the settings exactly as the launcher does and prints them, one
// "name=value" line each, with the priority class the process then has and the time the
// loading took. Chosen file operations can be made to fail (see fault_injection.h).
#include <windows.h>

#include <stdio.h>

#include "launcher/settings.h"
#include "launcher/startup.h"
#include "tools/probes/fault_injection.h"

int main()
{
    install_fault_injection();
    run_mode = RUN_MODE_INTERACTIVE;
    if (!save_startup_directory())
        return 1;
    enter_launcher_directory();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    load_settings();
    QueryPerformanceCounter(&end);

    const launcher_settings &s = settings;
    const struct { const char *name; const char *value; } texts[] = {
        {"main_class", s.main_class}, {"main_class_encoded", s.main_class_encoded},
        {"java_version_text", s.java_version_text}, {"runtime_paths", s.runtime_paths},
        {"jvm_options", s.jvm_options}, {"class_path", s.class_path},
        {"search_order", s.search_order}, {"install_switch", s.install_switch},
        {"uninstall_switch", s.uninstall_switch}, {"service_switch", s.service_switch},
        {"working_dir", s.working_dir}, {"app_args", s.app_args}, {"ini_file", s.ini_file},
        {"service_name", s.service_name}, {"service_description", s.service_description},
        {"service_args", s.service_args}, {"stop_args", s.stop_args},
        {"service_dependencies", s.service_dependencies}, {"stdout_file", s.stdout_file},
        {"stderr_file", s.stderr_file}, {"splash_text", s.splash_text},
        {"msg_already_running", s.msg_already_running}, {"msg_file_error", s.msg_file_error},
        {"msg_write_error", s.msg_write_error}, {"msg_no_runtime", s.msg_no_runtime},
        {"msg_load_runtime", s.msg_load_runtime}, {"msg_jni_entry", s.msg_jni_entry},
        {"msg_create_jvm", s.msg_create_jvm}, {"msg_attach", s.msg_attach},
        {"msg_class", s.msg_class}, {"msg_method", s.msg_method}, {"msg_object", s.msg_object},
        {"msg_string_arg", s.msg_string_arg}, {"msg_invoke", s.msg_invoke},
        {"msg_installed", s.msg_installed}, {"msg_uninstalled", s.msg_uninstalled},
        {"msg_already_installed", s.msg_already_installed}, {"msg_started", s.msg_started},
        {"msg_stopped", s.msg_stopped}, {"msg_failed", s.msg_failed},
        {"msg_stop_timeout", s.msg_stop_timeout},
    };
    for (const auto &t : texts)
        printf("%s=%s\n", t.name, t.value);

    const struct { const char *name; bool value; } flags[] = {
        {"early_working_dir", s.early_working_dir}, {"multiple_instances", s.multiple_instances},
        {"splash_until_window", s.splash_until_window}, {"manual_start", s.manual_start},
        {"stop_with_exit", s.stop_with_exit}, {"return_to_startup_dir", s.return_to_startup_dir},
    };
    for (const auto &f : flags)
        printf("%s=%d\n", f.name, f.value ? 1 : 0);

    printf("splash_seconds=%d\n", s.splash_seconds);
    printf("java_version=0x%08X\n", s.java_version);
    printf("priority_class=0x%lX\n", (unsigned long)GetPriorityClass(GetCurrentProcess()));
    printf("files_opened_for_writing=%d\n", files_opened_for_writing());
    printf("load_settings_us=%lld\n",
           (long long)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    return 0;
}
