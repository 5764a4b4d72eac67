// The run sequence shared by the interactive run and the service worker. Portable.
#include "java/run.h"

#include <stdlib.h>

#include "java/main_class.h"
#include "unpacking/embedded_files.h"

bool run_application(const run_context &run, int count, char **vector, jvm_record *jvm,
                     void (*main_returned)(bool ok), void (*main_calling)())
{
    const launcher_settings &settings = *run.settings;
    launch_plan plan;
    char *unpacked;
    if (!plan_run_start(run, read_embedded_archive(), &plan) ||
        !carry_out_unpacking(settings, plan.unpack, &unpacked))
        return false;
    bool created = create_jvm(run, &plan, unpacked ? unpacked : settings.class_path, !unpacked,
                              count, vector, jvm);
    free(unpacked);
    if (!created)
        return false;
    bool ok = run_main_class(settings, *jvm, count, vector, false, main_calling);
    if (main_returned)
        main_returned(ok);
    destroy_jvm(*jvm);
    return ok;
}
