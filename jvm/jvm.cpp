// JVM creation. No runtime can be started yet: every launch reports that no suitable runtime
// was found.
#include "jvm/jvm.h"

#include "launcher/settings.h"
#include "ui/report.h"

bool create_jvm(bool)
{
    report_error(settings.msg_no_runtime);
    return false;
}

void destroy_jvm()
{
}
