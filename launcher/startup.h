// Start-up state of the launcher process: the run mode, the start-up directory, the instance
// mutex, and the switches between the directories the run passes through.
#pragma once

enum { RUN_MODE_INTERACTIVE = 1, RUN_MODE_SERVICE = 2 };
enum { STARTUP_DIRECTORY_SIZE = 261 };

// 1 for an interactive launch (message boxes), 2 for a service run (event log).
extern int run_mode;

// The current directory when the launcher started, read once by save_startup_directory.
extern char startup_directory[STARTUP_DIRECTORY_SIZE];

// The named mutex (a HANDLE) that marks a running interactive instance, or null.
extern void *instance_mutex;

// Reads the current directory into startup_directory; reports and returns false on failure.
bool save_startup_directory();

// Makes the folder of the launcher's own executable the current directory; reports and
// returns false on failure.
bool enter_launcher_directory();

// Enters the directory the application runs in: the start-up directory when setting 1216 is
// on and force_configured is false, else setting 1152 when it is not empty. Reports and
// returns false when the directory cannot be entered.
bool enter_working_directory(bool force_configured);

// Closes the instance mutex, when one is held.
void release_instance_mutex();
