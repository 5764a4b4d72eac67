// Parsing the launcher builder's configuration file.
#include "tools/builder/config.h"

#include <stdio.h>
#include <stdlib.h>

#include "launcher/setting_codec.h"
#include "launcher/setting_ids.h"

namespace {

enum value_kind { KIND_TEXT, KIND_MESSAGE, KIND_ENCODED };

struct setting_entry {
    unsigned id;
    const char *name;
    value_kind kind;
    const char *default_text;
};

const setting_entry entries[] = {
    {SETTING_JAVA_VERSION, "java_version", KIND_TEXT, "0x00010004"},
    {SETTING_RUNTIME_PATHS, "runtime_paths", KIND_TEXT, ""},
    {SETTING_JVM_OPTIONS, "jvm_options", KIND_TEXT, ""},
    {SETTING_CLASS_PATH, "class_path", KIND_TEXT, ""},
    {SETTING_SEARCH_ORDER, "search_order", KIND_TEXT, "01234"},
    {SETTING_INSTALL_SWITCH, "install_switch", KIND_TEXT, "-install"},
    {SETTING_UNINSTALL_SWITCH, "uninstall_switch", KIND_TEXT, "-uninstall"},
    {SETTING_SERVICE_SWITCH, "service_switch", KIND_TEXT, "-startlauncherinservicemode"},
    {SETTING_WORKING_DIR, "working_dir", KIND_TEXT, ""},
    {SETTING_MAIN_CLASS, "main_class", KIND_ENCODED, nullptr},
    {SETTING_APP_ARGS, "app_args", KIND_TEXT, ""},
    {SETTING_INI_FILE, "ini_file", KIND_TEXT, ""},
    {SETTING_RETURN_TO_STARTUP_DIR, "return_to_startup_dir", KIND_TEXT, "0"},
    {SETTING_EARLY_WORKING_DIR, "early_working_dir", KIND_TEXT, "0"},
    {SETTING_SERVICE_NAME, "service_name", KIND_TEXT, ""},
    {SETTING_SERVICE_DESCRIPTION, "service_description", KIND_TEXT, ""},
    {SETTING_SERVICE_ARGS, "service_args", KIND_TEXT, ""},
    {SETTING_STOP_ARGS, "stop_args", KIND_TEXT, ""},
    {SETTING_STOP_WITH_EXIT, "stop_with_exit", KIND_TEXT, "0"},
    {SETTING_MANUAL_START, "manual_start", KIND_TEXT, "0"},
    {SETTING_MULTIPLE_INSTANCES, "multiple_instances", KIND_TEXT, "0"},
    {SETTING_STDOUT_FILE, "stdout_file", KIND_TEXT, ""},
    {SETTING_STDERR_FILE, "stderr_file", KIND_TEXT, ""},
    {SETTING_SPLASH_TEXT, "splash_text", KIND_TEXT, "Loading application..."},
    {SETTING_SPLASH_UNTIL_WINDOW, "splash_until_window", KIND_TEXT, "1"},
    {SETTING_SPLASH_SECONDS, "splash_seconds", KIND_TEXT, "0"},
    {SETTING_PRIORITY, "priority", KIND_TEXT, "3"},
    {SETTING_SERVICE_DEPENDENCIES, "service_dependencies", KIND_TEXT, ""},
    {SETTING_MSG_ALREADY_RUNNING, "msg_already_running", KIND_MESSAGE,
     "An instance of this program is already running."},
    {SETTING_MSG_FILE_ERROR, "msg_file_error", KIND_MESSAGE, "Error accessing file/directory: %s"},
    {SETTING_MSG_WRITE_ERROR, "msg_write_error", KIND_MESSAGE,
     "Error writing to file/directory: %s"},
    {SETTING_MSG_NO_RUNTIME, "msg_no_runtime", KIND_MESSAGE,
     "Unable to locate suitable Java Runtime Environment on this machine."},
    {SETTING_MSG_LOAD_RUNTIME, "msg_load_runtime", KIND_MESSAGE, "Unable to load JVM: %s"},
    {SETTING_MSG_JNI_ENTRY, "msg_jni_entry", KIND_MESSAGE, "Unable to locate JNI interfaces in %s"},
    {SETTING_MSG_CREATE_JVM, "msg_create_jvm", KIND_MESSAGE,
     "Unable to create JVM instance using %s"},
    {SETTING_MSG_ATTACH, "msg_attach", KIND_MESSAGE, "Unable to attach thread to the JVM."},
    {SETTING_MSG_CLASS, "msg_class", KIND_MESSAGE, "Error locating class: %s"},
    {SETTING_MSG_METHOD, "msg_method", KIND_MESSAGE, "Error locating method: %s"},
    {SETTING_MSG_OBJECT, "msg_object", KIND_MESSAGE, "Error instantiating object: %s"},
    {SETTING_MSG_STRING_ARG, "msg_string_arg", KIND_MESSAGE, "Error assigning string argument: %s"},
    {SETTING_MSG_INVOKE, "msg_invoke", KIND_MESSAGE, "Error invoking method: %s"},
    {SETTING_MSG_INSTALLED, "msg_installed", KIND_MESSAGE, "Service installed: %s"},
    {SETTING_MSG_UNINSTALLED, "msg_uninstalled", KIND_MESSAGE, "Service uninstalled: %s"},
    {SETTING_MSG_ALREADY_INSTALLED, "msg_already_installed", KIND_MESSAGE,
     "Service is already installed: %s"},
    {SETTING_MSG_STARTED, "msg_started", KIND_MESSAGE, "The %s service has started."},
    {SETTING_MSG_STOPPED, "msg_stopped", KIND_MESSAGE, "The %s service has stopped."},
    {SETTING_MSG_FAILED, "msg_failed", KIND_MESSAGE, "The %s service failed to start."},
    {SETTING_MSG_STOP_TIMEOUT, "msg_stop_timeout", KIND_MESSAGE,
     "The %s service has timed out during a stop request and will be terminated."},
};
const size_t entry_count = sizeof entries / sizeof entries[0];

// A string-table entry holds at most 65535 UTF-16 units.
const size_t MAX_SETTING_LENGTH = 65535;

std::string trim(const std::string &s)
{
    size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

// Index into entries of a key (a name or a number), or -1.
int find_entry(const std::string &key)
{
    bool numeric = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
    unsigned id = numeric && key.size() <= 5 ? (unsigned)atoi(key.c_str()) : 0;
    for (size_t i = 0; i < entry_count; i++)
        if (entries[i].id == id || key == entries[i].name)
            return (int)i;
    return -1;
}

std::string at_line(int line)
{
    return "line " + std::to_string(line) + ": ";
}

} // namespace

const char *setting_name(unsigned id)
{
    for (const setting_entry &e : entries)
        if (e.id == id)
            return e.name;
    return nullptr;
}

bool is_safe_message_format(const std::string &format)
{
    int conversions = 0;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            i++;
            continue;
        }
        if (i + 1 >= format.size() || format[i + 1] != 's' || ++conversions > 1)
            return false;
        i++;
    }
    return true;
}

bool parse_config(const std::string &text, builder_config *out, std::string *error)
{
    out->embedded.clear();
    out->splash.clear();
    int splash_line = 0;
    std::vector<std::string> values(entry_count);
    std::vector<int> set_on_line(entry_count, 0);
    for (size_t i = 0; i < entry_count; i++)
        values[i] = entries[i].default_text ? entries[i].default_text : "";

    int line_number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        line_number++;
        if (line.empty() || line[0] == '#')
            continue;

        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *error = at_line(line_number) + "expected 'key = value', found '" + line + "'";
            return false;
        }
        std::string key = trim(line.substr(0, equals));
        std::string value = trim(line.substr(equals + 1));
        if (key == "embed") {
            if (value.empty()) {
                *error = at_line(line_number) + "'embed' needs a file or folder";
                return false;
            }
            out->embedded.push_back(value);
            continue;
        }
        if (key == "splash") {
            if (splash_line) {
                *error = at_line(line_number) + "'splash' is already set on line " +
                         std::to_string(splash_line);
                return false;
            }
            out->splash = value;
            splash_line = line_number;
            continue;
        }
        int i = find_entry(key);
        if (i < 0) {
            *error = at_line(line_number) + "unknown setting '" + key + "'";
            return false;
        }
        const setting_entry &e = entries[i];
        if (set_on_line[i]) {
            *error = at_line(line_number) + "'" + e.name + "' is already set on line " +
                     std::to_string(set_on_line[i]);
            return false;
        }
        if (e.kind == KIND_MESSAGE && !is_safe_message_format(value)) {
            *error = at_line(line_number) + "message '" + e.name +
                     "' may hold one %s and no other conversion (write %% for a percent sign)";
            return false;
        }
        if (e.kind == KIND_ENCODED && value.size() > MAX_ENCODED_BYTES) {
            *error = at_line(line_number) + "main class is longer than " +
                     std::to_string((int)MAX_ENCODED_BYTES) + " characters";
            return false;
        }
        if (value.size() > MAX_SETTING_LENGTH) {
            *error = at_line(line_number) + "'" + e.name + "' is longer than " +
                     std::to_string(MAX_SETTING_LENGTH) + " characters";
            return false;
        }
        values[i] = value;
        set_on_line[i] = line_number;
    }

    out->settings.clear();
    for (size_t i = 0; i < entry_count; i++) {
        const setting_entry &e = entries[i];
        if (e.kind == KIND_ENCODED) {
            if (values[i].empty()) {
                *error = "no main class: add a line 'main_class = <fully qualified class name>'";
                return false;
            }
            char encoded[2 * MAX_ENCODED_BYTES + 1];
            encode_setting_text(values[i].c_str(), encoded, sizeof encoded);
            out->settings.push_back({e.id, encoded});
        } else {
            out->settings.push_back({e.id, values[i]});
        }
    }
    return true;
}
