// Finding the Java runtime library: configured paths, then the runtimes and development kits
// registered under HKEY_LOCAL_MACHINE, in the order setting 1088 gives.
#pragma once

#include <stddef.h>

enum { RUNTIME_HOME_SIZE = 260, KEY_PATH_SIZE = 256, VERSION_NAME_SIZE = 256 };

// The JavaHome of the last registered version that passed the version test; empty when none
// did. Read when "%JAVA_HOME%" is expanded in the JVM options.
extern char runtime_home[RUNTIME_HOME_SIZE];

// The runtime library's path inside a development kit's home, chosen by the search method
// that runs; null until a kit method has run.
extern const char *kit_runtime_path;

// Runs the search methods of setting 1088 in order; true when one found an existing runtime
// library, whose path is then in result (capacity bytes). Reports nothing. Splits setting
// 1040 in place.
bool find_runtime_library(char *result, size_t capacity);

// Method 0: the entries of setting 1040, in order.
bool try_configured_runtime_paths(char *result, size_t capacity);

// Methods 1 to 4: the registry keys of rows first_row .. first_row + row_count - 1.
bool search_runtime_keys(char *result, size_t capacity, int first_row, int row_count);

// Tests the version sub-key version_name of the table key in key_path (a KEY_PATH_SIZE buffer,
// to which "\" and the name are appended) and looks for its runtime library.
bool check_runtime_version_key(char *key_path, const char *version_name, char *result,
                               size_t capacity);

// Re-entrant, in-place tokenizer: the caller sets *cursor to null before the first call and
// passes text and cursor unchanged afterwards. Each separator after a token is overwritten
// with a NUL; empty tokens are never returned. Returns null when no token is left.
char *next_token(char *text, const char *separators, char **cursor);
