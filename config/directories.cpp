// The start-up, launcher and working directories. Portable, through the system seam.
#include "config/directories.h"

#include <stdlib.h>
#include <string.h>

#include "base/messages.h"
#include "base/path.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"

// These two run before the settings are loaded, so the message is read for the purpose.
static void report_directory_error(const char *subject)
{
    unsigned error = last_error();
    char *message = load_string(SETTING_msg_file_error);
    set_last_error(error);
    if (message)
        report_error_with_reason(message, subject);
    else
        report_error(MSG_LAUNCHER_DAMAGED, SUBJECT_STRING_TABLE);
    free(message);
}

bool save_startup_directory(launcher_settings *settings)
{
    char *directory = current_directory();
    if (!directory) {
        report_directory_error(SUBJECT_CURRENT_DIR);
        return false;
    }
    free(settings->startup_directory);
    settings->startup_directory = directory;
    return true;
}

bool enter_launcher_directory()
{
    char *path = executable_path();
    if (!path) {
        report_directory_error(SUBJECT_CURRENT_EXE);
        return false;
    }
    char *folder = path_folder(path);
    bool entered = set_current_directory(folder[0] ? folder : path);
    if (!entered)
        report_directory_error(folder[0] ? folder : path);
    free(folder);
    free(path);
    return entered;
}

const char *working_directory(const launcher_settings &settings, bool force_configured)
{
    if (!force_configured && settings.return_to_startup_dir)
        return settings.startup_directory;
    return settings.working_dir[0] ? settings.working_dir : nullptr;
}

bool enter_directory(const launcher_settings &settings, const char *directory)
{
    if (directory && !set_current_directory(directory)) {
        report_error_with_reason(settings.msg_file_error, directory);
        return false;
    }
    return true;
}
