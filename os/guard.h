// The guard: what a run with more rights than its user's other programs (a service, or a
// launcher run elevated or as the system) takes from where, decided by one rule, and every
// input of such a run listed once with how it is trusted.
#pragma once

// Every input of a guarded run, once: X(input, kind, how a guarded run takes it). The kind
// is VARIABLE (of the environment), REMOVED (a variable taken out of the environment before
// the virtual machine is created), REGISTRY, FILE, FOLDER or SETTING (a stored value). The README's table of what a
// service and an elevated launcher use is checked against this list, and the variables the
// guard removes come from it.
#define TREVALO_GUARDED_INPUTS(X)                                                              \
    X("TREVALO_TRACE", VARIABLE,                                                               \
      "`-` (standard error) kept; the file it names is never opened: the trace goes to "       \
      "`%ProgramData%\\Trevalo\\trace.txt`")                                                   \
    X("JAVA_TOOL_OPTIONS", REMOVED, "removed before the virtual machine is created")           \
    X("_JAVA_OPTIONS", REMOVED, "removed before the virtual machine is created")               \
    X("JDK_JAVA_OPTIONS", REMOVED, "removed before the virtual machine is created")            \
    X("JAVA_HOME", VARIABLE,                                                                   \
      "the machine's value only, and not when it names another variable")                      \
    X("PATH", VARIABLE, "the machine's `Path` only, without entries that name another variable") \
    X("ProgramData", VARIABLE, "not read: the folder is the system's known folder")            \
    X("TEMP", VARIABLE, "not read: files are unpacked under `%ProgramData%\\Trevalo`")         \
    X("LOCALAPPDATA", VARIABLE,                                                                \
      "not read: class-sharing archives are kept under `%ProgramData%\\Trevalo`")              \
    X("HKEY_CURRENT_USER", REGISTRY, "not read")                                               \
    X("HKEY_LOCAL_MACHINE", REGISTRY,                                                          \
      "the runtimes' keys, and the machine's variables under `Session Manager\\Environment`")  \
    X("ini_file", FILE,                                                                        \
      "read only from a private folder (otherwise no start), through the file whose folder "   \
      "was checked")                                                                           \
    X("jvm.dll", FILE,                                                                         \
      "only from a private folder, each folder from the runtime's home down to it private; "   \
      "held")                                                                                  \
    X("class_path", FOLDER, "a folder listed with `*` only when private, with each below it; held") \
    X("%ProgramData%", FOLDER,                                                                 \
      "no link, and no other account may remove or replace it or what is in it; held")         \
    X("%ProgramData%\\Trevalo", FOLDER,                                                        \
      "private; one that another account made first is moved aside to `Trevalo.<n>`; held")    \
    X("%ProgramData%\\Trevalo\\<main class>", FOLDER,                                          \
      "unpacked files, class-sharing archives and crash reports: each level private; held")    \
    X("user_options_file", FILE, "not read: the user's own options are the user's to change")  \
    X("download_url", SETTING, "opened only when it is an `http://` or `https://` address")

enum guarded_input_kind { INPUT_VARIABLE, INPUT_REMOVED, INPUT_REGISTRY, INPUT_FILE, INPUT_FOLDER, INPUT_SETTING };

// How a run is guarded.
struct run_guard {
    // The run has rights that its user's other programs lack (a service, elevated, or as the
    // system) and does not run under Wine: it takes nothing those programs can change.
    bool guarded;
    // Its own account is trusted as well (a service's account; not an elevated user's, whose
    // unelevated programs share it).
    bool own_account;
    // It would be guarded, but runs under Wine.
    bool wine;
};

// The one rule: a service run (service), or a process that is elevated or the system, is
// guarded, unless it runs under Wine.
run_guard guard_for(bool service);

// Removes the variables of the list's REMOVED kind from the process's environment, tracing
// each one that was set.
void remove_user_jvm_variables();

// The launcher's private folder under the machine's program data, "<program data>\Trevalo",
// as a new heap text: the program-data folder from the system, checked and held as a base,
// then the Trevalo level made private, or held when it exists and is private. A Trevalo level
// that fails the check (another account may have made it before any guarded run did) is
// moved aside to "Trevalo.<n>" (which an administrator may do with anybody's folder in the
// program data) and made again, traced. Null on failure, with *failed (a new heap text) the
// folder that failed and *refused whether it was refused by the check (otherwise it could not
// be read or made: the last error says why).
char *private_root_folder(bool own_account, char **failed, bool *refused);
