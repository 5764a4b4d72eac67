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
