// Start-up: the directories the launcher starts in, and the instance mutex.
#include "launcher/startup.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "launcher/setting_ids.h"
#include "launcher/settings.h"
#include "ui/messages.h"
#include "ui/report.h"

void *instance_mutex;

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

void release_instance_mutex()
{
    if (instance_mutex)
        CloseHandle(instance_mutex);
    instance_mutex = nullptr;
}
