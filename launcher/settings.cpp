// Loading the settings from the string table and the INI override.
#include "launcher/settings.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "launcher/embedded_files.h"
#include "launcher/setting_codec.h"
#include "launcher/setting_ids.h"
#include "launcher/text.h"

char *load_setting_text(void *instance, unsigned id)
{
    int size = 1024;
    char *buffer = (char *)malloc((size_t)size);
    for (;;) {
        int n = LoadStringA((HINSTANCE)instance, id, buffer, size);
        if (n < size - 1)
            break;
        // The text filled the buffer and may have been cut: grow and load again.
        size += 1024;
        buffer = (char *)realloc(buffer, (size_t)size);
    }
    char *text = strdup(buffer);
    free(buffer);
    return text;
}

static char *text(UINT id)
{
    return load_setting_text(nullptr, id);
}

static bool flag(UINT id)
{
    char *t = text(id);
    bool on = setting_flag(t);
    free(t);
    return on;
}

static int integer(UINT id)
{
    char *t = text(id);
    int value = setting_integer(t);
    free(t);
    return value;
}

// Replaces *setting by the value of key in the INI file at profile_path, when the key is
// present with a non-empty value.
static void override_from_ini(const char *profile_path, const char *key, char **setting)
{
    char value[1024];
    DWORD n = GetPrivateProfileStringA("Application Configuration", key, "", value,
                                       sizeof value, profile_path);
    if (n == 0)
        return;
    free(*setting);
    *setting = strdup(value);
}

// Applies JvmOptions and AppOptions of the INI file named by setting 1200. A file that cannot
// be opened is passed over silently: the INI file is optional.
static void apply_ini_override()
{
    if (!settings.ini_file[0])
        return;
    FILE *probe = fopen(settings.ini_file, "r");
    if (!probe)
        return;
    fclose(probe);

    // The profile path is the launcher's folder, a backslash and the name as configured.
    char directory[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof directory, directory);
    if (n == 0 || n >= sizeof directory)
        directory[0] = '\0';
    char *profile_path = join_text(directory, "\\", settings.ini_file);

    override_from_ini(profile_path, "JvmOptions", &settings.jvm_options);
    override_from_ini(profile_path, "AppOptions", &settings.app_args);
    free(profile_path);
}

void load_settings()
{
    settings.main_class_encoded = text(SETTING_MAIN_CLASS);
    settings.main_class = strdup(decode_setting_text(settings.main_class_encoded));

    settings.runtime_paths = text(SETTING_RUNTIME_PATHS);
    settings.class_path = text(SETTING_CLASS_PATH);
    settings.jvm_options = text(SETTING_JVM_OPTIONS);
    settings.install_switch = text(SETTING_INSTALL_SWITCH);
    settings.uninstall_switch = text(SETTING_UNINSTALL_SWITCH);
    settings.service_switch = text(SETTING_SERVICE_SWITCH);
    settings.service_name = text(SETTING_SERVICE_NAME);
    settings.service_description = text(SETTING_SERVICE_DESCRIPTION);
    settings.working_dir = text(SETTING_WORKING_DIR);
    settings.app_args = text(SETTING_APP_ARGS);
    settings.service_args = text(SETTING_SERVICE_ARGS);
    settings.stop_args = text(SETTING_STOP_ARGS);
    settings.service_dependencies = text(SETTING_SERVICE_DEPENDENCIES);
    settings.stdout_file = text(SETTING_STDOUT_FILE);
    settings.stderr_file = text(SETTING_STDERR_FILE);
    settings.splash_text = text(SETTING_SPLASH_TEXT);
    settings.ini_file = text(SETTING_INI_FILE);
    settings.search_order = text(SETTING_SEARCH_ORDER);

    settings.early_working_dir = flag(SETTING_EARLY_WORKING_DIR);
    settings.multiple_instances = flag(SETTING_MULTIPLE_INSTANCES);
    settings.splash_until_window = flag(SETTING_SPLASH_UNTIL_WINDOW);
    settings.manual_start = flag(SETTING_MANUAL_START);
    settings.stop_with_exit = flag(SETTING_STOP_WITH_EXIT);
    settings.return_to_startup_dir = flag(SETTING_RETURN_TO_STARTUP_DIR);

    settings.splash_seconds = integer(SETTING_SPLASH_SECONDS);

    // The priority applies from here on to the whole process, the JVM included.
    unsigned priority = priority_class_for_index(integer(SETTING_PRIORITY));
    if (priority)
        SetPriorityClass(GetCurrentProcess(), priority);

    settings.java_version_text = text(SETTING_JAVA_VERSION);
    settings.java_version = setting_hex(settings.java_version_text);

    // FindClass and the instance mutex both want the slash form.
    for (char *p = settings.main_class; *p; p++)
        if (*p == '.')
            *p = '/';

    settings.msg_already_running = text(SETTING_MSG_ALREADY_RUNNING);
    settings.msg_file_error = text(SETTING_MSG_FILE_ERROR);
    settings.msg_write_error = text(SETTING_MSG_WRITE_ERROR);
    settings.msg_started = text(SETTING_MSG_STARTED);
    settings.msg_stopped = text(SETTING_MSG_STOPPED);
    settings.msg_failed = text(SETTING_MSG_FAILED);
    settings.msg_stop_timeout = text(SETTING_MSG_STOP_TIMEOUT);
    settings.msg_already_installed = text(SETTING_MSG_ALREADY_INSTALLED);
    settings.msg_installed = text(SETTING_MSG_INSTALLED);
    settings.msg_uninstalled = text(SETTING_MSG_UNINSTALLED);
    settings.msg_no_runtime = text(SETTING_MSG_NO_RUNTIME);
    settings.msg_load_runtime = text(SETTING_MSG_LOAD_RUNTIME);
    settings.msg_jni_entry = text(SETTING_MSG_JNI_ENTRY);
    settings.msg_create_jvm = text(SETTING_MSG_CREATE_JVM);
    settings.msg_attach = text(SETTING_MSG_ATTACH);
    settings.msg_class = text(SETTING_MSG_CLASS);
    settings.msg_method = text(SETTING_MSG_METHOD);
    settings.msg_object = text(SETTING_MSG_OBJECT);
    settings.msg_string_arg = text(SETTING_MSG_STRING_ARG);
    settings.msg_invoke = text(SETTING_MSG_INVOKE);

    apply_ini_override();
    extract_embedded_files();
}
