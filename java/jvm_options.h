// Building the JVM options: the user's options, the class path option with directories
// expanded into the archives below them, and %NAME% references expanded.
#pragma once

#include "config/user_options.h"
#include "os/guard.h"

// The options of a virtual machine, in order: count heap texts, the first configured of them
// from the jvm_options setting (or the INI file's JvmOptions), the next from_user from the
// user's options file. The class path is a list of its own, class_path_count absolute paths
// (heap texts): it becomes an option only where the virtual machine is given it
// (class_path_option).
struct jvm_option_list {
    int count;
    char **options;
    int configured = 0;
    int from_user = 0;
    int class_path_count = 0;
    char **class_path = nullptr;
};

// Builds *list from options (the jvm_options setting: the text split once by the command-line
// rules, then every %NAME% expanded inside each piece, so that a value holding a blank stays
// in its option; empty pieces dropped), then the options of the user's options file (null:
// none), each expanded as one option, so that one of the user's wins over a configured one;
// and the class path list from class_path (";"-separated: the class_path setting, or the
// unpacked files, which are never folders: expand_folders false; each folder followed by the
// archives below it, "folder\*" replaced by the ".jar" files of that folder alone; %NAME%
// expanded in the configured entries only, never in the paths the launcher makes; each
// relative entry made absolute against the current directory; an entry whose path holds ';'
// by its short form). runtime_home stands for JAVA_HOME. A guarded run (guard) lists only
// class-path folders that pass the private-folder test of the unpacking folder, a folder that
// fails reported by name. False after a reported failure, with *list empty.
bool build_jvm_options(const char *options, const char *class_path, bool expand_folders,
                       const char *runtime_home, jvm_option_list *list,
                       const run_guard &guard = run_guard(),
                       const user_option_lines *user = nullptr);

// Appends option (taken: a heap text) to list.
void append_jvm_option(jvm_option_list *list, char *option);

// The value of the last option of list that starts with prefix ("-Xmx"), or null; its index
// in *index.
const char *last_jvm_option(const jvm_option_list &list, const char *prefix, int *index);

// Frees the options of list and empties it.
void free_jvm_options(jvm_option_list *list);

// option as the runtime reads its creation options (the ANSI code page on Windows), as a new
// heap text. Where the option has characters outside that code page, each ";"-separated path
// of its value (after the first "=", or the whole option) that has them is replaced by its
// short (8.3) form. Null when that cannot make it fit.
char *runtime_option(const char *option);

// The class path option of list, "-Djava.class.path=" and its entries joined by ";", as a new
// heap text in *option; null when list has no class path. With for_runtime, as the runtime
// reads it: converted whole, or where some entry has characters outside the runtime's code
// page, each entry on its own, as it is or by its short (8.3) form; such an entry that does
// not exist is left out, as the java command passes over a missing entry, so that the others
// still arrive. False after a reported failure naming an existing entry that has no short
// form. The class path cannot be set later as a property: the system class loader reads it
// while the virtual machine starts.
bool class_path_option(const jvm_option_list &list, bool for_runtime, char **option);

// A new heap text with every %NAME% replaced: JAVA_HOME (exactly so) by runtime_home,
// LAUNCHER_DIR by the launcher's folder (no trailing backslash), LAUNCHER_PATH by its full
// path, other names by the environment variable's value without its enclosing double quotes, unknown
// names by nothing. "%%" writes one '%'. A '%' without a closing partner, or whose text up
// to the partner holds a blank or '=' (so cannot be a name), is dropped alone.
char *expand_variables(const char *text, const char *runtime_home);
