// Building the JVM option text: the user's options, the class path option with directories
// expanded into the archives below them, and %NAME% references expanded.
#pragma once

#include "launcher/string_list.h"

// Replaces setting 1056 by the full option text built from settings 1056 and 1072 (which is
// split in place). Returns false, setting 1056 unchanged, after a reported listing failure.
bool build_jvm_options();

// -1: the path does not exist; 0: the text holds '%', or the path is not a directory;
// 1: the path is an existing directory.
int path_kind(const char *path);

// Appends every ".jar" and ".zip" file below directory, at any depth and in the order the
// file system lists them, each followed by ";". One trailing "\" or "/" of directory is
// removed in place. Returns false after a reported listing failure.
bool add_directory_archives(string_list *list, char *directory);

// A new heap text with every %NAME% replaced: JAVA_HOME (exactly so) by runtime_home, other
// names by the environment variable's value without its enclosing double quotes, unknown
// names by nothing. A '%' without its closing partner is dropped.
char *expand_variables(const char *text);

// Appends value (may be null) without one leading and one trailing double quote.
void append_unquoted(string_list *list, const char *value);
