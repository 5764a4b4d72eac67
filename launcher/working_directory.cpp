// The run mode, the start-up directory and the switch into the application's directory:
// portable, through the platform's current-directory functions.
#include "jvm/platform.h"
#include "launcher/settings.h"
#include "launcher/startup.h"
#include "ui/report.h"

int run_mode;
char startup_directory[STARTUP_DIRECTORY_SIZE];

bool enter_working_directory(bool force_configured)
{
    const char *target;
    if (!force_configured && settings.return_to_startup_dir)
        target = startup_directory;
    else if (settings.working_dir[0])
        target = settings.working_dir;
    else
        return true;
    if (!set_current_directory(target)) {
        report_error_with_reason(settings.msg_file_error, target);
        return false;
    }
    return true;
}
