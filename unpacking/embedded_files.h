// Files embedded in the launcher, unpacked into a folder of their own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "config/settings.h"
#include "os/guard.h"

// The embedded archive as the launcher's resources hold it: its bytes (null: none), and the
// hash of its content that the builder stored beside it (null: none stored).
struct embedded_archive {
    const unsigned char *data;
    size_t size;
    const unsigned char *stored_hash;
    size_t stored_hash_size;
};

// The embedded archive among the launcher's resources.
embedded_archive read_embedded_archive();

// The embedded files' action, decided before anything is written: count entries of archive
// (none: the configured class path stays), unpacked into a folder named after hash, privately
// for a guarded run (own_account: trusting the process's own account too).
struct unpack_plan {
    const unsigned char *archive;
    uint32_t count;
    uint64_t hash;
    bool privately;
    bool own_account;
};

// Decides the action for archive in a run guarded as guard. The whole archive is checked
// first: false after reporting a damaged archive or a name that would leave its folder, which
// stops the run before anything is written.
bool plan_unpacking(const launcher_settings &settings, const run_guard &guard,
                    const embedded_archive &archive, unpack_plan *plan);

// Carries plan out: *class_path as unpack_embedded_files below gives it.
bool carry_out_unpacking(const launcher_settings &settings, const unpack_plan &plan,
                         char **class_path);

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
