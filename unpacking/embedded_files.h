// Files embedded in the launcher, unpacked into a folder of their own.
#pragma once

#include "config/settings.h"
#include "os/guard.h"

// Unpacks the embedded files, reporting failures with the messages of settings: for an
// unguarded run into the user's temporary folder, for a guarded one (guard: a service run,
// or a run with rights the user's other processes lack), into a folder under
// the machine's program data that only the system, administrators and the service's account
// may change; in both, a sub-folder named after the main class and one named after the
// archive's content. Returns false after a reported
// failure that must stop the run (a damaged archive, a file that must be written and cannot
// be, a folder in a file's place, a service folder that others may change). Otherwise
// *class_path is the class path that lists the unpacked files (a new heap text), or null when
// the configured one stays: no files, or a reported failure to find the base folder.
bool unpack_embedded_files(const launcher_settings &settings, const run_guard &guard,
                           char **class_path);
