// Finding the Java runtime library: configured paths, then the runtimes and development kits
// registered under HKEY_LOCAL_MACHINE, in the order setting 1088 gives.
#pragma once

#include <stddef.h>

enum { RUNTIME_HOME_SIZE = 260, KEY_PATH_SIZE = 256, VERSION_NAME_SIZE = 256 };

// Runs the search methods of setting 1088 in order; true when one found an existing runtime
// library, whose path is then in result (capacity bytes). home (RUNTIME_HOME_SIZE bytes)
// receives the JavaHome of the last registered version that passed the version test, empty
// when none did: what "%JAVA_HOME%" in the JVM options stands for. Reports nothing.
bool find_runtime_library(char *result, size_t capacity, char *home);
