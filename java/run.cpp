// The run sequence shared by the interactive run and the service worker. Portable.
#include "java/run.h"

#include "java/jvm.h"
#include "java/main_class.h"

bool run_application(int count, char **vector, bool console, void (*main_returned)(bool ok))
{
    if (!create_jvm(console))
        return false;
    bool ok = run_main_class(count, vector, false);
    if (main_returned)
        main_returned(ok);
    destroy_jvm();
    return ok;
}
