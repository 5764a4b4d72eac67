// Loading the settings from the string table and the INI override. Portable: the string
// table, the INI file and the process priority are reached through the system seam.
#include "config/settings.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "base/ini.h"
#include "base/setting_codec.h"
#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

enum setting_kind {
    KIND_TEXT, KIND_MESSAGE, KIND_PLAIN_MESSAGE, KIND_MAIN_CLASS, KIND_FLAG, KIND_INTEGER, KIND_HEX
};

// Where each setting of the list goes: its id, its field and how its text is read. A table
// rather than a call per setting keeps the loader small.
struct setting_field {
    unsigned char slot; // (id - SETTING_FIRST) / SETTING_STEP
    unsigned char kind;
    unsigned short offset;
};

static const setting_field fields[] = {
#define TREVALO_SETTING_FIELD(name, id, kind, default_text)                                     \
    {(id - SETTING_FIRST) / SETTING_STEP, KIND_##kind, offsetof(launcher_settings, name)},
    TREVALO_SETTINGS(TREVALO_SETTING_FIELD)
#undef TREVALO_SETTING_FIELD
};

// Replaces *setting by the value of key in the INI file's text, when the key is present with
// a non-empty value; true when it did.
static bool override_from_ini(const char *text, const char *key, char **setting)
{
    char *value = ini_value(text, "Application Configuration", key);
    if (!value)
        return false;
    trace("INI file: %s = %s", key, value);
    free(*setting);
    *setting = value;
    return true;
}

// The folder that holds the file at path (absolute, or relative to the current directory) as
// a new heap text; null when the current directory cannot be read.
static char *folder_of_file(const char *path)
{
    bool absolute = path[0] == '\\' || path[0] == '/' || (path[0] && path[1] == ':');
    char current[PATH_SIZE];
    if (!absolute && !get_current_directory(current, sizeof current))
        return nullptr;
    char *folder = absolute ? join_text(path, "") : join_text(current, "\\", path);
    char *last = strrchr(folder, '\\');
    char *slash = strrchr(folder, '/');
    if (slash > last)
        last = slash;
    // A file in a drive's root keeps the root's backslash: "C:" alone is a current folder.
    if (last)
        last[last == folder + 2 && folder[1] == ':' ? 1 : 0] = '\0';
    return folder;
}

void apply_ini_file(launcher_settings *settings, bool guarded, bool own_account)
{
    launcher_settings &storage = *settings;
    if (!storage.ini_file[0]) {
        trace("settings from the launcher's resources; no INI file");
        return;
    }
    if (guarded && file_exists(storage.ini_file)) {
        char *folder = folder_of_file(storage.ini_file);
        if (!folder || hold_private_directory(folder, own_account) != FOLDER_HELD) {
            storage.refused_ini_folder = folder ? folder : join_text(storage.ini_file, "");
            return;
        }
        free(folder);
    }
    char *text = read_text_file(storage.ini_file);
    trace("settings from the launcher's resources; INI file %s %s", storage.ini_file,
          text ? "read" : "not read");
    if (!text)
        return;
    storage.jvm_options_from_ini = override_from_ini(text, "JvmOptions", &storage.jvm_options);
    override_from_ini(text, "AppOptions", &storage.app_args);
    free(text);
}

void load_settings(launcher_settings *settings)
{
    launcher_settings &storage = *settings;
    for (const setting_field &field : fields) {
        char *text = load_string(SETTING_FIRST + field.slot * SETTING_STEP);
        char *place = (char *)&storage + field.offset;
        switch (field.kind) {
        case KIND_FLAG:
            *(bool *)place = setting_flag(text);
            break;
        case KIND_INTEGER:
            *(int *)place = setting_integer(text);
            break;
        case KIND_HEX:
            *(unsigned *)place = setting_hex(text);
            break;
        default:
            *(char **)place = text;
            continue;
        }
        free(text);
    }
    storage.java_version_text = load_string(SETTING_java_version);
    storage.main_class_encoded = storage.main_class;
    char decoded[DECODE_BUFFER_SIZE];
    storage.main_class = join_text(decode_setting_text(storage.main_class_encoded, decoded), "");
    for (char *p = storage.main_class; *p; p++)
        if (*p == '.')
            *p = '/';

    // The priority applies from here on to the whole process, the JVM included.
    unsigned priority = priority_class_for_index(storage.priority);
    if (priority)
        set_process_priority(priority);
}
