// Parsing the launcher builder's configuration file.
#include "builder/config.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <vector>

#include "base/archive.h"
#include "base/setting_codec.h"
#include "base/unicode.h"
#include "builder/setting_check.h"
#include "builder/utf16.h"
#include "builder/version_number.h"
#include "config/setting_list.h"

namespace {

enum value_kind { KIND_TEXT, KIND_MESSAGE, KIND_PLAIN_MESSAGE, KIND_ENCODED };

// How the builder treats each kind of the setting list: messages are checked as formats (those
// shown without an argument may hold no conversion), the main class is checked as a class name
// and stored encoded, everything else as written.
const value_kind KIND_OF_TEXT = KIND_TEXT, KIND_OF_FLAG = KIND_TEXT, KIND_OF_FLAG_OFF = KIND_TEXT,
                 KIND_OF_INTEGER = KIND_TEXT,
                 KIND_OF_HEX = KIND_TEXT, KIND_OF_MESSAGE = KIND_MESSAGE,
                 KIND_OF_PLAIN_MESSAGE = KIND_PLAIN_MESSAGE,
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

// The launcher unpacks embedded files into "<temp folder>\<main class>\<hash>\<file name>",
// the main class written as 2 hexadecimal digits a byte and the archive's hash as 16 digits,
// in paths of at most 259 characters (MAX_PATH with its terminating zero). With a typical
// temporary folder, "C:\Users\<user name of up to 20 characters>\AppData\Local\Temp\" (49
// characters), and a file name of 12 characters, that leaves room for a main class of 90
// bytes.
const size_t MAX_PATH_LENGTH = 259, TYPICAL_TEMP_FOLDER = 49, TYPICAL_FILE_NAME = 12;
const size_t MAX_UNPACKING_CLASS_BYTES =
    (MAX_PATH_LENGTH - TYPICAL_TEMP_FOLDER - 1 - (ARCHIVE_FOLDER_NAME_SIZE - 1) - 1 -
     TYPICAL_FILE_NAME) / 2;

const char UTF8_BOM[] = "\xEF\xBB\xBF";

std::string trim(const std::string &s)
{
    size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return "";
    size_t end = s.find_last_not_of(" \t");
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

// The edits that turn a into b: a character added, removed, replaced, or two neighbours
// swapped, each one edit.
size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); i++)
        for (size_t j = 0; j <= b.size(); j++) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// " (did you mean 'name'?)" for the known key nearest to an unknown one, when it is near
// enough to be a slip (at most two edits, and fewer than a third of the key); "" otherwise.
std::string nearest_key(const std::string &key, const std::vector<std::string> &known)
{
    std::string best;
    size_t best_distance = 3;
    for (const std::string &name : known) {
        // Lengths three apart need three edits at least: no table to fill (a key of a
        // hundred thousand characters would take a minute).
        if (key.size() > name.size() + 2 || name.size() > key.size() + 2)
            continue;
        size_t distance = edit_distance(key, name);
        if (distance < best_distance && distance * 3 < name.size()) {
            best = name;
            best_distance = distance;
        }
    }
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

std::string at_line(int line)
{
    return "line " + std::to_string(line) + ": ";
}

// The UTF-16 units the string table stores for well-formed UTF-8 text: one for each character
// (each byte that does not continue a sequence) and one more for each beyond U+FFFF (each
// 4-byte lead byte).
size_t utf16_length(const std::string &text)
{
    size_t units = 0;
    for (unsigned char c : text)
        units += ((c & 0xC0) != 0x80) + (c >= 0xF0);
    return units;
}

// True for the non-ASCII characters that look like nothing or like a blank: controls,
// spaces that do not break, zero-width and direction marks, separators, the byte-order mark.
// A class name holding one looks right and names another class.
bool is_invisible(uint32_t c)
{
    return (c >= 0x80 && c <= 0xA0) || c == 0xAD || c == 0x34F || c == 0x61C || c == 0x1680 ||
           c == 0x180E || (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
           (c >= 0x205F && c <= 0x206F) || c == 0x3000 || (c >= 0xFE00 && c <= 0xFE0F) ||
           c == 0xFEFF || c >= 0xFFF0;
}

// The code point of the well-formed UTF-8 sequence at text[*at], moving *at past it.
uint32_t decode_utf8_at(const std::string &text, size_t *at)
{
    unsigned char lead = (unsigned char)text[(*at)++];
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t c = more ? lead & (0x3F >> more) : lead;
    for (; more > 0 && *at < text.size(); more--)
        c = c << 6 | ((unsigned char)text[(*at)++] & 0x3F);
    return c;
}

// True when name can be the class the launcher runs: parts separated by single dots, none
// empty, of ASCII letters and digits, '_', '$' and non-ASCII characters (letters of other
// scripts, which this check cannot tell from most other non-ASCII characters) that are not
// invisible.
bool is_class_name(const std::string &name)
{
    for (size_t at = 0; at < name.size();)
        if (is_invisible(decode_utf8_at(name, &at)))
            return false;
    bool part_empty = true;
    for (unsigned char c : name) {
        if (c == '.') {
            if (part_empty)
                return false;
            part_empty = true;
            continue;
        }
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_' || c == '$' || c >= 0x80;
        if (!allowed)
            return false;
        part_empty = false;
    }
    return !part_empty;
}

} // namespace

std::u16string utf16_of(const std::string &utf8)
{
    std::u16string units;
    utf8_to_utf16(utf8, &units);
    return units;
}

const char *setting_name(unsigned id)
{
    for (const setting_entry &e : entries)
        if (e.id == id)
            return e.name;
    return nullptr;
}

bool is_safe_message_format(const std::string &format, bool plain)
{
    int most = plain ? 0 : 1;
    int conversions = 0;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            i++;
            continue;
        }
        if (i + 1 >= format.size() || format[i + 1] != 's' || ++conversions > most)
            return false;
        i++;
    }
    return true;
}

bool parse_config(const std::string &text, builder_config *out, std::string *error,
                  bool check_values)
{
    out->embedded.clear();
    out->embedded_lines.clear();
    for (std::string *text : {&out->splash, &out->icon, &out->file_version, &out->product_version,
                              &out->product_name, &out->company_name, &out->file_description,
                              &out->copyright, &out->original_file_name, &out->execution_level,
                              &out->main_jar})
        text->clear();
    out->architecture = "x64";
    out->subsystem = "gui";
    // The byte-order mark goes whole, so that a key on the first line reads as written.
    bool marked = text.compare(0, 3, UTF8_BOM) == 0;
    std::map<std::string, int> single_lines;
    std::vector<std::string> values(entry_count);
    std::vector<int> set_on_line(entry_count, 0);
    for (size_t i = 0; i < entry_count; i++)
        values[i] = entries[i].default_text ? entries[i].default_text : "";

    int line_number = 0;
    size_t pos = marked ? 3 : 0;
    while (pos < text.size()) {
        // A line ends with LF, CRLF or a lone CR, as editors read files.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        line_number++;
        // Every line is checked, comments too: a file in another encoding is refused whole,
        // rather than read as a code page the launcher's machine may not share.
        if (!is_valid_utf8(line.data(), line.size())) {
            *error = at_line(line_number) + "is not valid UTF-8 (save the configuration as "
                     "UTF-8; other encodings are not read)";
            return false;
        }
        if (line.empty() || line[0] == '#')
            continue;
        if (line.find('\0') != std::string::npos) {
            *error = at_line(line_number) +
                     "holds a NUL byte, which would cut the value short (save the file as "
                     "UTF-8, not UTF-16)";
            return false;
        }

        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *error = at_line(line_number) + "expected 'key = value', found '" + shown(line) + "'";
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
            out->embedded_lines.push_back(line_number);
            continue;
        }
        // The builder's own keys that come once each, each with the values it allows: the
        // splash bitmap, the stub's architecture and subsystem, the icon, the version
        // information and the manifest's execution level.
        enum value_check { ANY, NOT_EMPTY, CHOICE, VERSION };
        static const struct {
            const char *key;
            std::string builder_config::*field;
            value_check check;
            const char *allowed[4];
        } singles[] = {
            {"splash", &builder_config::splash, ANY, {}},
            {"architecture", &builder_config::architecture, CHOICE, {"x64", "x86", "arm64"}},
            {"subsystem", &builder_config::subsystem, CHOICE, {"gui", "console"}},
            {"icon", &builder_config::icon, NOT_EMPTY, {}},
            {"file_version", &builder_config::file_version, VERSION, {}},
            {"product_version", &builder_config::product_version, VERSION, {}},
            {"product_name", &builder_config::product_name, ANY, {}},
            {"company_name", &builder_config::company_name, ANY, {}},
            {"file_description", &builder_config::file_description, ANY, {}},
            {"copyright", &builder_config::copyright, ANY, {}},
            {"original_file_name", &builder_config::original_file_name, ANY, {}},
            {"execution_level", &builder_config::execution_level, CHOICE,
             {"asInvoker", "highestAvailable", "requireAdministrator"}},
            {"main_jar", &builder_config::main_jar, NOT_EMPTY, {}},
        };
        bool single = false;
        for (const auto &k : singles) {
            if (key != k.key)
                continue;
            single = true;
            int &seen = single_lines[k.key];
            if (seen) {
                *error = at_line(line_number) + "'" + key + "' is already set on line " +
                         std::to_string(seen);
                return false;
            }
            std::string problem;
            if (k.check == NOT_EMPTY && value.empty())
                problem = "'" + key + "' needs a file";
            if (k.check == CHOICE) {
                bool allowed = false;
                std::string choices;
                for (int c = 0; k.allowed[c]; c++) {
                    allowed = allowed || value == k.allowed[c];
                    choices += std::string(c == 0 ? "" : k.allowed[c + 1] ? ", " : " or ") +
                               k.allowed[c];
                }
                if (!allowed)
                    problem = "'" + key + "' is " + choices + ", not '" + shown(value) + "'";
            }
            uint16_t version[4];
            if (k.check == VERSION && !parse_version_number(value, version, &problem))
                problem = "'" + key + "': " + problem;
            if (!problem.empty()) {
                *error = at_line(line_number) + problem;
                return false;
            }
            out->*k.field = value;
            seen = line_number;
        }
        if (single)
            continue;
        int i = find_entry(key);
        if (i < 0) {
            std::vector<std::string> known = {"embed"};
            for (const setting_entry &e : entries)
                known.push_back(e.name);
            for (const auto &k : singles)
                known.push_back(k.key);
            *error = at_line(line_number) + "unknown setting '" + shown(key) + "'" +
                     nearest_key(key, known);
            return false;
        }
        const setting_entry &e = entries[i];
        if (set_on_line[i]) {
            *error = at_line(line_number) + "'" + e.name + "' is already set on line " +
                     std::to_string(set_on_line[i]);
            return false;
        }
        if (e.kind == KIND_MESSAGE && !is_safe_message_format(value, false)) {
            *error = at_line(line_number) + "message '" + e.name +
                     "' may hold one %s and no other conversion (write %% for a percent sign)";
            return false;
        }
        if (e.kind == KIND_PLAIN_MESSAGE && !is_safe_message_format(value, true)) {
            *error = at_line(line_number) + "message '" + e.name +
                     "' is shown as it is, with nothing to put in a %s: it may hold no "
                     "conversion (write %% for a percent sign)";
            return false;
        }
        if (e.kind == KIND_ENCODED && !value.empty() && !is_class_name(value)) {
            *error = at_line(line_number) + "main class '" + shown(value) +
                     "' is not a Java class name: names of letters, digits, '_' and '$' "
                     "joined by single dots, such as com.example.Main (no blanks, no-break or "
                     "zero-width spaces)";
            return false;
        }
        if (e.kind == KIND_ENCODED && value.size() > MAX_ENCODED_BYTES) {
            *error = at_line(line_number) + "main class is longer than " +
                     std::to_string((int)MAX_ENCODED_BYTES) + " characters";
            return false;
        }
        std::string stored, problem = check_setting_value(e.id, value, &stored);
        if (!problem.empty() && check_values) {
            *error = at_line(line_number) + problem;
            return false;
        }
        if (check_values)
            value = stored;
        if (utf16_length(value) > MAX_SETTING_LENGTH) {
            *error = at_line(line_number) + "'" + e.name + "' is longer than " +
                     std::to_string(MAX_SETTING_LENGTH) +
                     " characters (UTF-16 units), the most a launcher setting holds";
            return false;
        }
        values[i] = value;
        set_on_line[i] = line_number;
    }

    // "main_jar = app.jar": the class path starts with the jar, and the launcher runs the
    // Main-Class of its manifest.
    const size_t main_class = (size_t)find_entry("main_class"),
                 class_path = (size_t)find_entry("class_path");
    if (!out->main_jar.empty()) {
        int line = single_lines["main_jar"];
        if (!values[main_class].empty()) {
            *error = at_line(line) + "'main_jar' runs the Main-Class of the jar's manifest; "
                     "leave out 'main_class' (line " + std::to_string(set_on_line[main_class]) +
                     ") or 'main_jar'";
            return false;
        }
        if (!out->embedded.empty()) {
            *error = at_line(line) + "'main_jar' starts the class path, but embedded files "
                     "become the class path: embed the jar first and leave out 'main_class'";
            return false;
        }
        std::string &path = values[class_path];
        path = out->main_jar + (path.empty() ? "" : ";" + path);
        if (utf16_length(path) > MAX_SETTING_LENGTH) {
            *error = at_line(line) + "'class_path' with 'main_jar' is longer than " +
                     std::to_string(MAX_SETTING_LENGTH) + " characters (UTF-16 units)";
            return false;
        }
    }
    // Without a main class, the class path must start with a jar, whose manifest names it.
    std::string first = out->embedded.empty()
                            ? values[class_path].substr(0, values[class_path].find(';'))
                            : out->embedded.front();
    bool jar_first = first.size() > 4;
    for (size_t k = 0; jar_first && k < 4; k++)
        jar_first = (first[first.size() - 4 + k] | 0x20) == ".jar"[k];

    out->settings.clear();
    for (size_t i = 0; i < entry_count; i++) {
        const setting_entry &e = entries[i];
        if (e.kind == KIND_ENCODED) {
            if (values[i].empty() && jar_first) {
                out->settings.push_back({e.id, "", set_on_line[i] != 0});
                continue;
            }
            if (values[i].empty()) {
                *error = "no main class: add a line 'main_class = <fully qualified class name>', "
                         "or 'main_jar = <jar>' to run the Main-Class of a jar's manifest (the "
                         "main class may be empty only when the class path starts with a jar)";
                return false;
            }
            if (!out->embedded.empty() && values[i].size() > MAX_UNPACKING_CLASS_BYTES) {
                *error = at_line(set_on_line[i]) + "main class is longer than " +
                         std::to_string(MAX_UNPACKING_CLASS_BYTES) +
                         " bytes, too long for embedded files: the launcher unpacks them into "
                         "<temp folder>\\<main class, 2 hex digits a byte>\\<16-digit hash>\\"
                         "<file name>, which "
                         "with a temp folder such as C:\\Users\\<name>\\AppData\\Local\\Temp would "
                         "pass the 259 characters a Windows path may have";
                return false;
            }
            char encoded[2 * MAX_ENCODED_BYTES + 1];
            encode_setting_text(values[i].c_str(), encoded, sizeof encoded);
            out->settings.push_back({e.id, encoded, set_on_line[i] != 0});
        } else {
            out->settings.push_back({e.id, values[i], set_on_line[i] != 0});
        }
    }
    return true;
}
