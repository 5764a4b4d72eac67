// Loading the settings from the string table and the INI override. Portable: the string
// table, the INI file and the process priority are reached through the system seam.
#include "config/settings.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "base/ini.h"
#include "base/messages.h"
#include "base/setting_codec.h"
#include "base/text.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

enum setting_kind {
    KIND_TEXT, KIND_MESSAGE, KIND_PLAIN_MESSAGE, KIND_MAIN_CLASS, KIND_FLAG, KIND_INTEGER, KIND_HEX,
    KIND_FLAG_OFF
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

void apply_ini_file(launcher_settings *settings, const run_guard &guard)
{
    launcher_settings &storage = *settings;
    if (!storage.ini_file[0]) {
        trace("settings from the launcher's resources; no INI file");
        return;
    }
    // A guarded run reads the file it checked: the file opened is the one whose folder is
    // held, never a name looked up again.
    char *text = nullptr;
    if (guard.guarded)
        text = read_private_text_file(storage.ini_file, guard.own_account,
                                      &storage.refused_ini_folder);
    else
        text = read_text_file(storage.ini_file);
    if (storage.refused_ini_folder)
        return;
    trace("settings from the launcher's resources; INI file %s %s", storage.ini_file,
          text ? "read" : "not read");
    if (!text)
        return;
    storage.jvm_options_from_ini = override_from_ini(text, "JvmOptions", &storage.jvm_options);
    override_from_ini(text, "AppOptions", &storage.app_args);
    free(text);
}

// Whether text may name a folder or a service on its own: no separator, drive, wildcard,
// quote or control character, and not "." or "..".
static bool is_plain_name(const char *text)
{
    for (const char *p = text; *p; p++)
        if ((unsigned char)*p < 0x20 || strchr("\\/:*?\"<>|", *p))
            return false;
    return strcmp(text, ".") != 0 && strcmp(text, "..") != 0;
}

bool load_settings(launcher_settings *settings)
{
    launcher_settings &storage = *settings;
    bool whole = true;
    for (const setting_field &field : fields) {
        char *text = load_string(SETTING_FIRST + field.slot * SETTING_STEP);
        if (!text) {
            whole = false;
            text = join_text("", "");
        }
        char *place = (char *)&storage + field.offset;
        switch (field.kind) {
        case KIND_FLAG:
            *(bool *)place = setting_flag(text);
            break;
        case KIND_FLAG_OFF:
            *(bool *)place = text[0] && setting_flag(text);
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
    if (!storage.java_version_text)
        storage.java_version_text = join_text("", "");
    storage.main_class_encoded = storage.main_class;
    char decoded[DECODE_BUFFER_SIZE];
    storage.main_class = join_text(decode_setting_text(storage.main_class_encoded, decoded), "");
    for (char *p = storage.main_class; *p; p++)
        if (*p == '.')
            *p = '/';
    if (!whole) {
        report_error(MSG_LAUNCHER_DAMAGED, SUBJECT_STRING_TABLE);
        return false;
    }
    // The stored main class names the folders of the unpacked files and of the class-sharing
    // archives; the service name, the service's registry keys.
    if (!is_plain_name(storage.main_class_encoded) ||
        strchr(storage.service_name, '\\') || strchr(storage.service_name, '/')) {
        report_error(MSG_LAUNCHER_DAMAGED, SUBJECT_STORED_NAME);
        return false;
    }

    // The priority applies from here on to the whole process, the JVM included.
    unsigned priority = priority_class_for_index(storage.priority);
    if (priority)
        set_process_priority(priority);
    return true;
}
