// The application's arguments from the launcher's command line: split by the launcher's rule,
// the service run recognised, wildcards expanded as the java command expands them.
#pragma once

#include "config/settings.h"

// The launcher's command line as the run takes it. vector holds count arguments from slot 1
// (slot 0 is reserved and null); it, its strings and wildcards come from malloc and belong to
// the caller.
struct run_arguments {
    int count;
    char **vector;
    // Per argument, whether it holds a wildcard outside double quotes; null when the rule
    // does not tell (the classic rule).
    bool *wildcards;
    // The service manager's start: a service name, and the service switch alone and exactly
    // as written (after its quotes are taken off).
    bool service_run;
};

// Splits command_line (may be null) by the rule of settings: the C runtime's ("windows"), as
// programs and scripts quote the command line of a command-line tool, or the classic one
// (any other value: launchers built before the setting existed hold none and keep it).
run_arguments read_run_arguments(const launcher_settings &settings, const char *command_line);

// The text of main's arguments when it is given count of its own: the app_args setting when
// count is 0, else null. Given arguments replace the configured ones entirely, never join them.
const char *configured_arguments(const launcher_settings &settings, int count);

// Replaces each argument of vector[first .. *count - 1] whose wildcards flag is set (a '*' or
// '?' outside double quotes) and whose last path part holds a wildcard (its folder part none)
// by the names that match in that folder, in the order the system lists them, each written
// after the folder part as the argument gives it ("sql\*.sql" gives "sql\a.sql"). A relative
// folder is taken from base, the folder the launcher was started from. An argument that
// matches nothing, or whose folder cannot be listed, stays as it is. *vector is replaced by a
// new malloc'ed vector when anything was expanded (the strings it no longer holds are freed).
void expand_wildcard_arguments(int *count, char ***vector, const bool *wildcards, int first,
                               const char *base);
