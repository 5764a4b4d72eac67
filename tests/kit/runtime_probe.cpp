// Test helper: loads the settings as the launcher does, then runs the runtime search and the
// option building, and prints what they found:
//   found=0|1, library=<path>, runtime_home=<path> (empty when none was found), note=<the line
//   naming a runtime of another processor>, search_us (the time the search took), options_ok=0|1
//   and build_options_us, the time the option building took.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "config/directories.h"
#include "config/settings.h"
#include "java/jvm_options.h"
#include "java/launch_plan.h"
#include "java/runtime_search.h"
#include "os/guard.h"
#include "os/os.h"
#include "tests/kit/redirected_imports.h"

int main()
{
    pretend_windows();
    launcher_settings settings = {};
    if (!save_startup_directory(&settings))
        return 1;
    enter_launcher_directory();
    load_settings(&settings);
    // As the launcher searches: guarded when elevated, or as a service with
    // TREVALO_PROBE_SERVICE set.
    bool service = getenv("TREVALO_PROBE_SERVICE") != nullptr;
    apply_ini_file(&settings, guard_for(service));
    runtime_request request = {settings.search_order, settings.runtime_paths,
                               settings.java_version, settings.max_java_version,
                               guard_for(service).guarded, service};

    runtime_search_outcome outcome;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool found = find_runtime_library(request, LAUNCHER_MACHINE, &outcome);
    QueryPerformanceCounter(&end);
    char note[SEARCH_NOTE_SIZE] = "";
    if (!found)
        describe_passed_over(outcome.passed, request, LAUNCHER_MACHINE, note);
    printf("found=%d\n", found ? 1 : 0);
    printf("library=%s\n", outcome.library);
    printf("runtime_home=%s\n", found ? outcome.home : "");
    printf("note=%s\n", note);
    printf("search_us=%lld\n",
           (long long)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    QueryPerformanceCounter(&start);
    jvm_option_list list;
    bool ok = build_jvm_options(settings.jvm_options, settings.class_path, true, outcome.home,
                                &list);
    QueryPerformanceCounter(&end);
    printf("options_ok=%d\n", ok ? 1 : 0);
    printf("build_options_us=%lld\n",
           (long long)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    return 0;
}
