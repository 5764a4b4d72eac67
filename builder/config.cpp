// Parsing the launcher builder's configuration file.
#include "builder/config.h"

#include <stdio.h>
#include <stdlib.h>

#include "base/setting_codec.h"
#include "config/setting_list.h"

namespace {

enum value_kind { KIND_TEXT, KIND_MESSAGE, KIND_ENCODED };

// How the builder treats each kind of the setting list: messages are checked as formats, the
// main class is stored encoded, everything else as written.
const value_kind KIND_OF_TEXT = KIND_TEXT, KIND_OF_FLAG = KIND_TEXT, KIND_OF_INTEGER = KIND_TEXT,
                 KIND_OF_HEX = KIND_TEXT, KIND_OF_MESSAGE = KIND_MESSAGE,
                 KIND_OF_PLAIN_MESSAGE = KIND_MESSAGE,
                 KIND_OF_MAIN_CLASS = KIND_ENCODED;

struct setting_entry {
    unsigned id;
    const char *name;
    value_kind kind;
    const char *default_text;
};

const setting_entry entries[] = {
#define TREVALO_SETTING_ENTRY(name, id, kind, default_text) {id, #name, KIND_OF_##kind, default_text},
    TREVALO_SETTINGS(TREVALO_SETTING_ENTRY)
#undef TREVALO_SETTING_ENTRY
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

// The accounts a service may run as without a password: empty is LocalSystem.
bool is_service_account(const std::string &value)
{
    return value.empty() || value == "LocalService" || value == "NetworkService" ||
           value == "virtual";
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
        if (e.id == SETTING_service_account && !is_service_account(value)) {
            *error = at_line(line_number) + "'service_account' is '" + value +
                     "': it may be empty (LocalSystem), LocalService, NetworkService or virtual";
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
