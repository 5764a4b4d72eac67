// The launcher's configuration: the settings of the string table, read once at start-up into
// a value that the entry point owns and hands down, read-only, to what needs it.
#pragma once

#include "config/setting_list.h"
#include "os/guard.h"

#define SETTING_TYPE_TEXT char *
#define SETTING_TYPE_MESSAGE char *
#define SETTING_TYPE_PLAIN_MESSAGE char *
#define SETTING_TYPE_MAIN_CLASS char *
#define SETTING_TYPE_FLAG bool
#define SETTING_TYPE_FLAG_OFF bool
#define SETTING_TYPE_INTEGER int
#define SETTING_TYPE_HEX unsigned

// One field per setting of the list, of its kind's type. Every text is a heap string that
// lives as long as the process and is never null; a setting missing from the string table
// reads as the empty text. The messages are printf formats with at most one "%s", passed to
// the reporting operations as their format.
struct launcher_settings {
#define TREVALO_SETTING_FIELD(name, id, kind, default_text) SETTING_TYPE_##kind name;
    TREVALO_SETTINGS(TREVALO_SETTING_FIELD)
#undef TREVALO_SETTING_FIELD
    // main_class above is decoded, every '.' replaced by '/' (FindClass and the instance
    // mutex want that form); this is the text as stored, which also names the folder of the
    // unpacked files.
    char *main_class_encoded;
    // java_version as stored, for the runtime version test.
    char *java_version_text;
    // The current directory when the launcher started (what return_to_startup_dir goes back
    // to), saved before the launcher enters its own folder; null until then.
    char *startup_directory;
    // The folder of the INI file when a guarded launcher refused to read it (other accounts
    // may change it); null otherwise. The run reports it and does not start.
    char *refused_ini_folder;
    // Whether jvm_options came from the INI file's JvmOptions rather than the launcher's own
    // settings, for the trace of where each option came from.
    bool jvm_options_from_ini;
};

// Reads every setting from the launcher's own string table into *settings and applies the
// process priority. Runs once, on the main thread, with the launcher's folder as the current
// directory. False after reporting a damaged launcher: a setting runs past its resource, or a
// stored value used as a folder's or a service's name (the main class as stored, the service
// name) is not a plain name; every setting then reads as empty.
bool load_settings(launcher_settings *settings);

// Applies JvmOptions and AppOptions of the INI file named by the ini_file setting: a relative
// name from the launcher's folder (the current directory), an absolute one as it is. A file
// that cannot be opened is passed over silently: the INI file is optional. A guarded run
// (guard: the launcher runs elevated, or as a service) reads an existing file only when its
// folder passes the private-folder test of the unpacking folder (own_account: the process's
// account trusted too), the folder then held open; otherwise settings->refused_ini_folder
// names it.
void apply_ini_file(launcher_settings *settings, const run_guard &guard);
