// The dependency list of the service record. Portable.
#pragma once

// A new heap list made from the ";"-separated names: every ";" becomes a NUL and two NULs close
// the list, as the Service Control Manager expects; so an empty entry ends the list early.
// Null for the empty text (no dependencies).
char *dependency_list(const char *names);
