// Settings for host tests: a value as the loader leaves it, every text empty, and text setters
// that replace the heap text a field held, as the launcher's own replacements do.
#pragma once

#include <stdlib.h>
#include <string.h>

#include "config/settings.h"

inline void set_text(char **setting, const char *value)
{
    free(*setting);
    *setting = strdup(value);
}

inline void blank_setting(char *&text)
{
    text = strdup("");
}

template <typename number> inline void blank_setting(number &value)
{
    value = 0;
}

// Settings whose texts are all empty and whose flags and numbers are all 0.
inline launcher_settings blank_settings()
{
    launcher_settings settings = {};
#define TREVALO_SETTING_BLANK(name, id, kind, default_text) blank_setting(settings.name);
    TREVALO_SETTINGS(TREVALO_SETTING_BLANK)
#undef TREVALO_SETTING_BLANK
    blank_setting(settings.main_class_encoded);
    blank_setting(settings.java_version_text);
    blank_setting(settings.startup_directory);
    return settings;
}
