// Building the JVM option text: the user's options, the class path option with directories
// expanded into the archives below them, and %NAME% references expanded.
#pragma once

// The full option text, a new heap text, built from setting 1056 and class_path (";"-separated
// entries: setting 1072, or the unpacked files, which are never folders: expand_folders
// false) with runtime_home standing for JAVA_HOME. %NAME% references are expanded in the
// options and the configured entries only, never in the paths the launcher makes. Null after
// a reported listing failure.
char *build_jvm_options(const char *runtime_home, const char *class_path, bool expand_folders);

// option as the runtime reads its creation options (the ANSI code page on Windows), as a new
// heap text. Where the option has characters outside that code page, each ";"-separated path
// of its value (after the first "=", or the whole option) that has them is replaced by its
// short (8.3) form. Null when that cannot make it fit.
char *runtime_option(const char *option);

// A new heap text with every %NAME% replaced: JAVA_HOME (exactly so) by runtime_home, other
// names by the environment variable's value without its enclosing double quotes, unknown
// names by nothing. "%%" writes one '%'. A '%' without a closing partner, or whose text up
// to the partner holds a blank or '=' (so cannot be a name), is dropped alone.
char *expand_variables(const char *text, const char *runtime_home);
