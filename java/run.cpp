// The run sequence shared by the interactive run and the service worker. Portable.
#include "java/run.h"

#include <stdlib.h>

#include "base/messages.h"
#include "java/main_class.h"
#include "os/report.h"
#include "unpacking/embedded_files.h"

bool run_application(const run_context &run, int count, char **vector, jvm_record *jvm,
                     void (*main_returned)(bool ok), void (*main_calling)())
{
    const launcher_settings &settings = *run.settings;
    // An INI file that other accounts may have written is not used, nor run without.
    if (settings.refused_ini_folder) {
        report_error(folder_refusal(run.guard.own_account), settings.refused_ini_folder);
        return false;
    }
    char *unpacked;
    if (!unpack_embedded_files(settings, run.guard, &unpacked))
        return false;
    bool created = create_jvm(run, unpacked ? unpacked : settings.class_path, !unpacked, count,
                              vector, jvm);
    free(unpacked);
    if (!created)
        return false;
    bool ok = run_main_class(settings, *jvm, count, vector, false, main_calling);
    if (main_returned)
        main_returned(ok);
    destroy_jvm(*jvm);
    return ok;
}
