// The directories the launcher passes through: the one it started in, its own folder, and
// the application's working directory.
#pragma once

#include "os/os.h"

enum { STARTUP_DIRECTORY_SIZE = PATH_SIZE };

// The current directory when the launcher started, read once by save_startup_directory.
extern char startup_directory[STARTUP_DIRECTORY_SIZE];

// Reads the current directory into startup_directory; reports and returns false on failure.
bool save_startup_directory();

// Makes the folder of the launcher's own executable the current directory; reports and
// returns false on failure.
bool enter_launcher_directory();

// Enters the directory the application runs in: the start-up directory when setting 1216 is
// on and force_configured is false, else setting 1152 when it is not empty. Reports and
// returns false when the directory cannot be entered.
bool enter_working_directory(bool force_configured);
