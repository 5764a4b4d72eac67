// The directories the launcher passes through: the one it started in, its own folder, and
// the application's working directory.
#pragma once

#include "config/settings.h"
#include "os/os.h"

// Reads the current directory into settings->startup_directory (a new heap text); reports and
// returns false on failure, leaving it as it was.
bool save_startup_directory(launcher_settings *settings);

// Makes the folder of the launcher's own executable the current directory; reports and
// returns false on failure.
bool enter_launcher_directory();

// The directory the application runs in: the start-up directory when return_to_startup_dir
// is on and force_configured is false, else working_dir when it is not empty; null: the
// current directory stays.
const char *working_directory(const launcher_settings &settings, bool force_configured);

// Enters directory (null: none); reports and returns false when it cannot be entered.
bool enter_directory(const launcher_settings &settings, const char *directory);
