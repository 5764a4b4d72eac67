// The application's arguments from the launcher's command line: wildcards expanded as the
// java command expands them.
#pragma once

// Replaces each argument of vector[first .. *count - 1] whose wildcards flag is set (a '*' or
// '?' outside double quotes) and whose last path part holds a wildcard (its folder part none)
// by the names that match in that folder, in the order the system lists them, each written
// after the folder part as the argument gives it ("sql\*.sql" gives "sql\a.sql"). A relative
// folder is taken from base, the folder the launcher was started from. An argument that
// matches nothing, or whose folder cannot be listed, stays as it is. *vector is replaced by a
// new malloc'ed vector when anything was expanded (the strings it no longer holds are freed).
void expand_wildcard_arguments(int *count, char ***vector, const bool *wildcards, int first,
                               const char *base);
