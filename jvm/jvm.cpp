// JVM creation. No runtime can be started yet: after the early working-directory change,
// every launch reports that no suitable runtime was found.
#include "jvm/jvm.h"

#include "launcher/settings.h"
#include "launcher/startup.h"
#include "ui/report.h"

bool create_jvm(bool)
{
    if (settings.early_working_dir && !enter_working_directory(true))
        return false;
    report_error(settings.msg_no_runtime);
    return false;
}

void destroy_jvm()
{
}
