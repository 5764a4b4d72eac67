// The run sequence shared by the interactive run and the service worker. Portable.
#include "java/run.h"

#include <stdlib.h>

#include "config/embedded_files.h"
#include "config/settings.h"
#include "java/jvm.h"
#include "java/main_class.h"

bool run_application(int count, char **vector, bool console, void (*main_returned)(bool ok),
                     void (*main_calling)())
{
    char *unpacked;
    if (!unpack_embedded_files(console, &unpacked))
        return false;
    bool created = create_jvm(console, unpacked ? unpacked : settings.class_path, !unpacked);
    free(unpacked);
    if (!created)
        return false;
    bool ok = run_main_class(count, vector, false, main_calling);
    if (main_returned)
        main_returned(ok);
    destroy_jvm();
    return ok;
}
