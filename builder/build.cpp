// Making a launcher from a stub and a configuration.
#include "builder/build.h"

#include <string.h>

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "base/archive.h"
#include "base/resource_ids.h"
#include "builder/execution_level.h"
#include "builder/files.h"
#include "builder/icon.h"
#include "builder/pack.h"
#include "builder/version_info.h"
#include "config/setting_list.h"

namespace {

// The event-log message table every launcher carries; a file without it is not a stub.
const unsigned char launcher_message_table[52] = {
    2, 0, 0, 0,
    1, 0, 0, 0x40, 1, 0, 0, 0x40, 28, 0, 0, 0,
    2, 0, 0, 0xC0, 2, 0, 0, 0xC0, 40, 0, 0, 0,
    12, 0, 0, 0, '%', '1', '\r', '\n', 0, 0, 0, 0,
    12, 0, 0, 0, '%', '1', '\r', '\n', 0, 0, 0, 0,
};

// Resource types and languages as Windows numbers them.
const uint16_t RT_BITMAP_TYPE = 2, RT_STRING_TYPE = 6, RT_RCDATA_TYPE = 10,
               RT_MESSAGETABLE_TYPE = 11;
const uint16_t LANGUAGE_NEUTRAL = 0, LANGUAGE_EN_US = 0x0409;

typedef std::vector<unsigned char> bytes;

bytes bytes_of(const std::string &s)
{
    return bytes(s.begin(), s.end());
}

char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// The plain name of the file at path: what follows its last separator.
std::string plain_name(const std::string &path)
{
    size_t slash = path.find_last_of(PATH_SEPARATOR == '\\' ? "\\/" : "/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An embedded file found: where it is, the name it is packed under, and the configuration
// line that brought it.
struct found_file {
    std::string path, name;
    file_facts facts;
    int line;
};

// "<configuration>: line N: " for messages about what that line brought.
std::string where(const builder_config &config, int line)
{
    return (config.source.empty() ? "" : config.source + ": ") + "line " +
           std::to_string(line) + ": ";
}

// Adds the files directly inside folder (not those of its sub-folders) in sort_file_names'
// order.
bool add_folder(const std::string &folder, int line, std::vector<found_file> *found,
                std::string *error)
{
    std::vector<std::string> names;
    if (!list_plain_files(folder, &names, error))
        return false;
    sort_file_names(&names);
    for (const std::string &name : names) {
        found_file f = {folder + PATH_SEPARATOR + name, name, {}, line};
        if (!file_stat(f.path, &f.facts, error))
            return false;
        found->push_back(f);
    }
    return true;
}

// The files named by the configuration's embed lines, relative to the configuration's folder:
// first each found and checked (a plain file of a name Windows can hold, no two names alike,
// all together small enough for one program), then read. A device, a pipe or a name the
// launcher could not unpack is refused before anything is read.
bool collect_files(const builder_config &config, const std::string &base,
                   std::vector<packed_file> *files, std::string *error)
{
    std::vector<found_file> found;
    for (size_t i = 0; i < config.embedded.size(); i++) {
        const std::string &entry = config.embedded[i];
        int line = i < config.embedded_lines.size() ? config.embedded_lines[i] : 0;
        std::string path = resolve_path(entry, base);
        while (path.size() > 1 && (path.back() == PATH_SEPARATOR || path.back() == '/'))
            path.pop_back();
        found_file f = {path, plain_name(path), {}, line};
        if (!file_stat(path, &f.facts, error)) {
            // The entry as the configuration writes it, with the system's reason.
            *error = where(config, line) + "cannot embed " + entry +
                     error->substr(error->find(": "));
            return false;
        }
        if (f.facts.folder ? !add_folder(path, line, &found, error) : (found.push_back(f), false))
            return false;
    }
    uint64_t total = 0;
    std::unordered_map<std::string, size_t> names;
    for (size_t i = 0; i < found.size(); i++) {
        const found_file &f = found[i];
        std::string problem = !f.facts.regular ? "it is not a regular file (a device, pipe or "
                                                 "socket)"
                                               : packed_name_problem(f.name);
        if (!problem.empty()) {
            *error = where(config, f.line) + "cannot embed " + f.path + ": " + problem;
            return false;
        }
        // Windows compares file names without regard to case.
        std::string folded = f.name;
        for (char &c : folded)
            c = ascii_lower(c);
        auto first = names.emplace(folded, i);
        if (!first.second) {
            *error = where(config, f.line) + "two embedded files are named '" + f.name +
                     "' (the other is " + found[first.first->second].path +
                     "): Windows does not tell names apart by case";
            return false;
        }
        total += f.facts.size;
        if (total > MAX_INPUT_SIZE) {
            *error = where(config, f.line) + "cannot embed " + f.path + ": the embedded files "
                     "would pass the 2 GB a Windows program may have";
            return false;
        }
    }
    for (const found_file &f : found) {
        packed_file file;
        file.name = f.name;
        file.time_low = (uint32_t)f.facts.write_time;
        file.time_high = (uint32_t)(f.facts.write_time >> 32);
        if (!read_whole_file(f.path, &file.content, error))
            return false;
        files->push_back(std::move(file));
    }
    return true;
}

// True when the image is a console program (IMAGE_SUBSYSTEM_WINDOWS_CUI = 3 in its optional
// header's Subsystem field).
bool is_console_program(const pe_image &image)
{
    const std::vector<unsigned char> &f = image.file;
    if (f.size() < 0x40)
        return false;
    size_t pe = f[0x3C] | f[0x3D] << 8 | f[0x3E] << 16 | (size_t)f[0x3F] << 24;
    return pe + 24 + 70 <= f.size() && (f[pe + 24 + 68] | f[pe + 24 + 69] << 8) == 3;
}

// What a setting that no line gives holds in a launcher of a console stub: a command-line
// tool is run by scripts as the java command is, which start several at once, quote its
// arguments for the C runtime, expect it to work in their folder and to expand wildcards.
// Null: the setting list's default.
const char *console_default(unsigned id)
{
    switch (id) {
    case SETTING_multiple_instances:
    case SETTING_return_to_startup_dir:
    case SETTING_expand_wildcards:
        return "1";
    case SETTING_command_line_rule:
        return "windows";
    default:
        return nullptr;
    }
}

} // namespace

bool read_stub(const std::string &path, pe_image *image, std::string *error)
{
    std::string file;
    if (!read_whole_file(path, &file, error))
        return false;
    if (!pe_parse((const unsigned char *)file.data(), file.size(), image, error)) {
        *error = "stub " + path + ": " + *error;
        return false;
    }
    for (const pe_resource &r : image->resources) {
        if (r.type.text.empty() && r.type.number == RT_MESSAGETABLE_TYPE &&
            r.name.text.empty() && r.name.number == RESOURCE_MESSAGE_TABLE &&
            r.language == LANGUAGE_EN_US && r.data.size() == sizeof launcher_message_table &&
            memcmp(r.data.data(), launcher_message_table, sizeof launcher_message_table) == 0)
            return true;
    }
    *error = path + " is not a launcher stub (it has no launcher message table)";
    return false;
}

std::string default_stub_path(const builder_config &config)
{
    return builder_folder() + PATH_SEPARATOR + "trevalo-stub-" + config.architecture +
           (config.subsystem == "console" ? "-console" : "") + ".exe";
}

bool build_launcher(const builder_config &config, const std::string &config_folder,
                    pe_image *image, std::string *error)
{
    // Read everything first, so that a missing file changes nothing.
    std::vector<packed_file> files;
    if (!collect_files(config, config_folder, &files, error))
        return false;
    std::string bitmap;
    if (!config.splash.empty()) {
        std::string path = resolve_path(config.splash, config_folder), content;
        if (!read_whole_file(path, &content, error))
            return false;
        if (!bitmap_resource(content, &bitmap, error)) {
            *error = "splash " + path + ": " + *error;
            return false;
        }
    }
    std::string icon;
    if (!config.icon.empty() &&
        !read_whole_file(resolve_path(config.icon, config_folder), &icon, error))
        return false;

    const pe_resource_id archive = {RESOURCE_ARCHIVE}, hash = {RESOURCE_ARCHIVE_HASH},
                         splash = {RESOURCE_SPLASH};
    pe_remove_resources(image, {RT_STRING_TYPE}, nullptr, nullptr);
    pe_remove_resources(image, {RT_RCDATA_TYPE}, &archive, nullptr);
    pe_remove_resources(image, {RT_RCDATA_TYPE}, &hash, nullptr);
    pe_remove_resources(image, {RT_BITMAP_TYPE}, &splash, nullptr);

    const bool console = is_console_program(*image);
    for (const setting_value &v : config.settings) {
        const char *by_stub = console && !v.given ? console_default(v.id) : nullptr;
        const std::string &text = by_stub ? std::string(by_stub) : v.text;
        // An empty setting is simply absent: a missing string reads as the empty text.
        if (text.empty())
            continue;
        bytes block;
        if (!pe_encode_string_block({utf16_of(text)}, &block, error))
            return false;
        pe_set_resource(image, {RT_STRING_TYPE}, {(uint16_t)(v.id / 16 + 1)}, LANGUAGE_EN_US,
                        block);
    }
    // The archive is always written (one zero byte for no files), with its hash. The files'
    // contents go as soon as they are packed, and the archive as soon as it is a resource:
    // with large files, each copy counts.
    std::string packed = build_archive(files);
    std::vector<packed_file>().swap(files);
    uint64_t sum = archive_hash((const unsigned char *)packed.data(), packed.size());
    bytes sum_bytes(8);
    for (int i = 0; i < 8; i++)
        sum_bytes[i] = (unsigned char)(sum >> (8 * i));
    bytes archive_bytes = bytes_of(packed);
    std::string().swap(packed);
    pe_set_resource(image, {RT_RCDATA_TYPE}, archive, LANGUAGE_NEUTRAL, std::move(archive_bytes));
    pe_set_resource(image, {RT_RCDATA_TYPE}, hash, LANGUAGE_NEUTRAL, sum_bytes);
    if (!bitmap.empty())
        pe_set_resource(image, {RT_BITMAP_TYPE}, splash, LANGUAGE_NEUTRAL, bytes_of(bitmap));
    if (!icon.empty() &&
        !apply_icon(image, (const unsigned char *)icon.data(), icon.size(), error)) {
        *error = "icon " + resolve_path(config.icon, config_folder) + ": " + *error;
        return false;
    }
    return apply_version_info(image, config, error) &&
           apply_execution_level(image, config.execution_level, error);
}

void sort_file_names(std::vector<std::string> *names)
{
    std::sort(names->begin(), names->end(), [](const std::string &a, const std::string &b) {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; i++) {
            char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
            if (x != y)
                return (unsigned char)x < (unsigned char)y;
        }
        if (a.size() != b.size())
            return a.size() < b.size();
        return a < b;
    });
}

std::string resolve_path(const std::string &path, const std::string &base)
{
    // A configuration written for Windows separates folders with '\'; the Linux builder reads
    // it the same way, so that one configuration makes the same launcher on both systems.
    std::string native = path;
    if (PATH_SEPARATOR == '/')
        std::replace(native.begin(), native.end(), '\\', '/');
    return is_absolute_path(native) ? native : base + PATH_SEPARATOR + native;
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.find_last_of(PATH_SEPARATOR == '\\' ? "\\/" : "/");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}
