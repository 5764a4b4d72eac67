// The platform functions that the portable runtime search, option building and JNI code need.
// platform_win32.cpp implements them for the launcher; platform_posix.cpp for the host build,
// where the registry is an in-memory table that tests fill and "\" in paths means "/".
#pragma once

#include <stddef.h>

// --- Registry: read only, under HKEY_LOCAL_MACHINE (the launcher's 32-bit view). ---

// Reads value of key into buffer (capacity bytes). Returns -1 when the key cannot be opened,
// 0 when the value was read and is a text (REG_SZ, or REG_EXPAND_SZ returned unexpanded),
// 1 otherwise: the value is absent, longer than the capacity, or not a text.
int query_registry_text(const char *key, const char *value, char *buffer, size_t capacity);

struct registry_key;

// Opens key for reading; null when it cannot be opened.
registry_key *open_registry_key(const char *key);

// The name of sub-key number index into name (capacity bytes, at most 256 used); false at the
// end of the list, on a name that does not fit, or on any other error.
bool enum_registry_subkey(registry_key *key, unsigned index, char *name, size_t capacity);

void close_registry_key(registry_key *key);

// --- Files. ---

// True when the file can be opened for reading; it is closed again at once.
bool file_exists(const char *path);

// -1 when the path's attributes cannot be read (it does not exist), 1 for a directory, 0 else.
int path_attributes(const char *path);

enum listing_step { LISTING_ENTRY, LISTING_END, LISTING_FAILED };

struct directory_entry {
    char name[260];
    bool is_directory;
};

struct directory_listing;

// Starts listing every entry of directory ("." and ".." included). LISTING_END: nothing to
// list (the system answered "no more files" or "file not found"); LISTING_FAILED: any other
// failure, with the system's last error left for the report. On LISTING_ENTRY, *entry holds
// the first entry and *listing must be closed.
listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry);

// The next entry; LISTING_END after the last, LISTING_FAILED on any other failure (last error
// left for the report).
listing_step next_directory_entry(directory_listing *listing, directory_entry *entry);

void close_directory_listing(directory_listing *listing);

// --- Environment. ---

// The value of the environment variable name, the name compared without regard to case as
// Windows does; null when it is not set. Valid until the environment changes.
const char *environment_value(const char *name);

// --- The runtime library. ---

// Loads the runtime library by its full path; null when it cannot be loaded. The folder above
// the library's own (a runtime's bin folder, which holds the C runtime that the library
// imports) is added to the library search path first.
void *load_runtime_library(const char *path);

// The address of the exported function name of library; null when it has none.
void *find_library_symbol(void *library, const char *name);

void free_runtime_library(void *library);

// --- The current directory. ---

// Reads the current directory into buffer (size bytes); false when it cannot be read or does
// not fit, with the system's last error left for the report.
bool get_current_directory(char *buffer, size_t size);

// Makes path the current directory; false on failure, last error left for the report.
bool set_current_directory(const char *path);

// --- The console of a service run. ---

// Gives the process a console, answers a logoff there as handled so that it does not end the
// process, and points the standard output and error streams at it. Results are not examined.
void open_process_console();
