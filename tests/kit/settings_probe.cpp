// Test helper: loads the settings and unpacks the embedded files exactly as the launcher does
// and prints them, one "name=value" line each, with the priority class the process then has,
// the files it opened and the time the loading and unpacking took.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "config/directories.h"
#include "config/settings.h"
#include "os/guard.h"
#include "os/os.h"
#include "tests/kit/redirected_imports.h"
#include "unpacking/embedded_files.h"

static void print(const char *name, const char *text)
{
    printf("%s=%s\n", name, text);
}

static void print(const char *name, bool flag)
{
    printf("%s=%d\n", name, flag ? 1 : 0);
}

static void print(const char *name, int number)
{
    printf("%s=%d\n", name, number);
}

static void print(const char *name, unsigned number)
{
    printf("%s=0x%08X\n", name, number);
}

int main()
{
    pretend_windows();
    count_opened_files();
    launcher_settings settings = {};
    if (!save_startup_directory(&settings))
        return 1;
    enter_launcher_directory();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    load_settings(&settings);
    // As the launcher does: a service (TREVALO_PROBE_SERVICE set) and an elevated run read the
    // INI file only from a private folder.
    bool service = getenv("TREVALO_PROBE_SERVICE") != nullptr;
    run_guard guard = guard_for(service);
    apply_ini_file(&settings, guard);
    // As the run does next: the embedded files, unpacked as a service's with
    // TREVALO_PROBE_SERVICE set, become the class path printed below.
    char *unpacked;
    bool unpack_ok =
        unpack_embedded_files(settings, guard, &unpacked);
    QueryPerformanceCounter(&end);
    if (unpacked)
        settings.class_path = unpacked;

    // Each setting in its kind's form: texts as they are, flags as 0 or 1, numbers in decimal,
    // hexadecimal ones as 0x%08X.
#define TREVALO_SETTING_PRINT(name, id, kind, default_text) print(#name, settings.name);
    TREVALO_SETTINGS(TREVALO_SETTING_PRINT)
#undef TREVALO_SETTING_PRINT
    print("main_class_encoded", settings.main_class_encoded);
    print("java_version_text", settings.java_version_text);
    print("refused_ini_folder", settings.refused_ini_folder ? settings.refused_ini_folder : "");
    printf("priority_class=0x%lX\n", (unsigned long)GetPriorityClass(GetCurrentProcess()));
    printf("unpack_ok=%d\n", unpack_ok ? 1 : 0);
    printf("files_opened=%d\n", files_opened());
    printf("files_opened_for_writing=%d\n", files_opened_for_writing());
    printf("load_settings_us=%lld\n",
           (long long)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    return 0;
}
