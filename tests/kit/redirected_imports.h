// Test helpers only: counts the files the launcher's code opens, and makes it believe it runs on
// Windows, by redirecting this module's imports. (The failures of the file operations are
// tested on the host, by the counted faults of its system seam.)
#pragma once

// Redirects CreateFileW to a counter.
void count_opened_files();

// How many times CreateFileW was called, and asked for write access, since
// count_opened_files.
int files_opened();
int files_opened_for_writing();

// Makes this module's code believe it runs on Windows: GetProcAddress finds no
// wine_get_version, so a guarded run stays guarded under Wine; and the program-data folder
// comes from the ProgramData variable when a test sets it (else from the system), so that a
// test gives each guarded run a folder of its own.
void pretend_windows();
