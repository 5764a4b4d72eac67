// Test helpers only: makes chosen calls of the launcher's file operations fail, and counts
// the files opened, by redirecting this module's imports of them.
#pragma once

// Reads TREVALO_FAIL, a comma-separated list of FUNCTION:N (the N-th call of FUNCTION fails;
// FUNCTION is WriteFile, SetFileTime or FindFirstFileW), and redirects the imports.
void install_fault_injection();

// How many times CreateFileW was called, and asked for write access, since
// install_fault_injection.
int files_opened();
int files_opened_for_writing();

// Makes this module's code believe it runs on Windows: GetProcAddress finds no
// wine_get_version, so a guarded run stays guarded under Wine; and the program-data folder
// comes from the ProgramData variable when a test sets it (else from the system), so that a
// test gives each guarded run a folder of its own.
void pretend_windows();
