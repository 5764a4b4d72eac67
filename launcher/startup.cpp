// Start-up state and the directory switches of the run.
#include "launcher/startup.h"

#include <stdlib.h>
#include <string.h>

#include "launcher/setting_ids.h"
#include "launcher/settings.h"
#include "ui/messages.h"
#include "ui/report.h"

int run_mode;
char startup_directory[MAX_PATH + 1];
HANDLE instance_mutex;

// These two run before the settings are loaded, so the message is read for the purpose.
static void report_directory_error(const char *subject)
{
    DWORD error = GetLastError();
    char *message = load_setting_text(nullptr, SETTING_MSG_FILE_ERROR);
    SetLastError(error);
    report_error_with_reason(message, subject);
    free(message);
}

bool save_startup_directory()
{
    DWORD n = GetCurrentDirectoryA(sizeof startup_directory, startup_directory);
    if (n == 0 || n >= sizeof startup_directory) {
        // A directory too long for the buffer leaves nothing usable in it either.
        if (n != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        startup_directory[0] = '\0';
        report_directory_error(SUBJECT_CURRENT_DIR);
        return false;
    }
    return true;
}

bool enter_launcher_directory()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        // A cut path would name the wrong folder.
        if (n != 0)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        report_directory_error(SUBJECT_CURRENT_EXE);
        return false;
    }
    char *last_backslash = strrchr(path, '\\');
    if (last_backslash)
        *last_backslash = '\0';
    if (!SetCurrentDirectoryA(path)) {
        report_directory_error(path);
        return false;
    }
    return true;
}

bool enter_working_directory(bool force_configured)
{
    const char *target;
    if (!force_configured && settings.return_to_startup_dir)
        target = startup_directory;
    else if (settings.working_dir[0])
        target = settings.working_dir;
    else
        return true;
    if (!SetCurrentDirectoryA(target)) {
        report_error_with_reason(settings.msg_file_error, target);
        return false;
    }
    return true;
}
