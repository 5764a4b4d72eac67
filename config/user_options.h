// The user's options file: JVM options that the user of an application may change without
// administrator rights and that survive an upgrade of the application, since they live in the
// user's own application data, not beside the launcher. Portable: the file is read through the
// system seam.
#pragma once

#include <stddef.h>

// The options of a user's options file, in the file's order: count heap texts.
struct user_option_lines {
    int count;
    char **lines;
};

// Takes the size bytes of an options file: UTF-8, with or without a byte-order mark; one JVM
// option per line (LF, CRLF or a lone CR), the blanks around it dropped; blank lines and lines
// starting with '#' ignored ('#' later in a line belongs to the option). On success fills
// *options and returns 0. Otherwise returns the number of the first line that is not UTF-8 or
// not an option (every option starts with '-'), *options empty, with *problem saying what
// is wrong with it (a fixed text).
int parse_user_options(const char *bytes, size_t size, user_option_lines *options,
                       const char **problem);

// Reads the file that name (the user_options_file setting) names relative to the user's
// application data folder (%APPDATA%) into *options; its full path in *path (a heap text, null
// when name is empty or the folder unknown). A file that is not there gives no options and no
// report. One that cannot be read, or that has a malformed line, is reported (naming the file,
// and the line), and the run goes on without any of its options, as the report says.
void read_user_options(const char *name, user_option_lines *options, char **path);

void free_user_options(user_option_lines *options);
