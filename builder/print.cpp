// Reading a built launcher back into its configuration.
#include "builder/print.h"

#include <stdio.h>
#include <string.h>

#include "base/archive.h"
#include "base/resource_ids.h"
#include "base/setting_codec.h"
#include "builder/config.h"
#include "builder/execution_level.h"
#include "builder/icon.h"
#include "builder/setting_check.h"
#include "builder/utf16.h"
#include "builder/version_info.h"
#include "config/setting_list.h"

namespace {

// RT_STRING, RT_BITMAP and RT_RCDATA; the builder writes the settings in US English.
const uint16_t STRING_TYPE = 6, BITMAP_TYPE = 2, RCDATA_TYPE = 10, US_ENGLISH = 0x0409;
// IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_ARM64; IMAGE_SUBSYSTEM_WINDOWS_GUI and _CUI.
const unsigned MACHINE_I386 = 0x14C, MACHINE_AMD64 = 0x8664, MACHINE_ARM64 = 0xAA64, SUBSYSTEM_GUI = 2,
               SUBSYSTEM_CONSOLE = 3;

struct setting_entry {
    unsigned id;
    const char *name;
    bool encoded;
};

const setting_entry settings[] = {
#define TREVALO_PRINT_ENTRY(name, id, kind, default_text) {id, #name, !strcmp(#kind, "MAIN_CLASS")},
    TREVALO_SETTINGS(TREVALO_PRINT_ENTRY)
#undef TREVALO_PRINT_ENTRY
};

unsigned get16(const unsigned char *p)
{
    return p[0] | p[1] << 8;
}

uint32_t get32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

// The numbered resource of this type and number, in language (any language when it has none
// in that one), or null.
const pe_resource *find(const pe_image &image, uint16_t type, uint16_t number, uint16_t language)
{
    const pe_resource *found = nullptr;
    for (const pe_resource &r : image.resources) {
        if (r.type.text.empty() && r.type.number == type && r.name.text.empty() &&
            r.name.number == number && (!found || r.language == language))
            found = &r;
    }
    return found;
}

// The setting's text as the string table stores it (UTF-8); empty when it has none.
bool stored_setting(const pe_image &image, unsigned id, std::string *text, std::string *error)
{
    text->clear();
    const pe_resource *block = find(image, STRING_TYPE, (uint16_t)(id / 16 + 1), US_ENGLISH);
    if (!block)
        return true;
    std::vector<std::u16string> strings;
    if (!pe_decode_string_block(block->data.data(), block->data.size(), &strings, error))
        return false;
    if (!utf16_to_utf8(strings[id % 16], text)) {
        *error = "setting " + std::to_string(id) + " is not UTF-16 text";
        return false;
    }
    return true;
}

// "YYYY-MM-DD hh:mm:ss UTC" of a FILETIME (100-nanosecond steps since 1601).
std::string time_text(uint32_t low, uint32_t high)
{
    int64_t seconds = (int64_t)(((uint64_t)high << 32 | low) / 10000000) - 11644473600LL;
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    // The civil date of a day count from 1970-01-01, in 400-year eras of 146097 days
    // that start on 1 March.
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t day_of_era = days - era * 146097;
    int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 -
                           day_of_era / 146096) / 365;
    int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    int64_t month_index = (5 * day_of_year + 2) / 153;
    int day = (int)(day_of_year - (153 * month_index + 2) / 5 + 1);
    int month = (int)(month_index < 10 ? month_index + 3 : month_index - 9);
    int64_t year = year_of_era + era * 400 + (month <= 2);
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d %02d:%02d:%02d UTC", (long long)year,
             month, day, (int)(rest / 3600), (int)(rest / 60 % 60), (int)(rest % 60));
    return buffer;
}

// A bitmap file of the bitmap resource: the 14-byte file header, which the resource leaves
// out, with the offset of the pixels after the bitmap's header, colour masks and colours.
std::string bitmap_file(const std::vector<unsigned char> &resource)
{
    uint32_t header_size = resource.size() >= 4 ? get32(resource.data()) : 0;
    uint32_t colors = 0, masks = 0;
    if (header_size == 12 && resource.size() >= 12) {
        unsigned bits = get16(&resource[10]);
        colors = bits <= 8 ? (1u << bits) * 3 : 0;
    } else if (header_size >= 40 && resource.size() >= 36) {
        unsigned bits = get16(&resource[14]);
        uint32_t compression = get32(&resource[16]), used = get32(&resource[32]);
        colors = 4 * (used ? used : bits <= 8 ? 1u << bits : 0);
        // BI_BITFIELDS after the 40-byte header: three colour masks.
        masks = header_size == 40 && compression == 3 ? 12 : 0;
    }
    uint32_t size = 14 + (uint32_t)resource.size(), pixels = 14 + header_size + masks + colors;
    unsigned char header[14] = {'B', 'M'};
    for (int i = 0; i < 4; i++) {
        header[2 + i] = (unsigned char)(size >> 8 * i);
        header[10 + i] = (unsigned char)(pixels >> 8 * i);
    }
    return std::string((const char *)header, 14) + std::string(resource.begin(), resource.end());
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    return text;
}

// A name for the splash bitmap or the icon that no embedded file has: base.extension, else
// base-2.extension and so on.
std::string free_name(const std::string &base, const std::string &extension,
                      const std::vector<printed_file> &files)
{
    for (int n = 1;; n++) {
        std::string name = base + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
        bool taken = false;
        // Windows compares file names without regard to case.
        for (const printed_file &f : files)
            taken = taken || lower(f.name) == name;
        if (!taken)
            return name;
    }
}

std::string image_size(unsigned width, unsigned height)
{
    return std::to_string(width ? width : 256) + "x" + std::to_string(height ? height : 256);
}

} // namespace

bool print_launcher(const pe_image &image, std::string *text, std::vector<printed_file> *files,
                    std::string *error)
{
    files->clear();
    std::string &out = *text;
    out = "\xEF\xBB\xBF# The configuration of a launcher, read from it by trevalo-build --print.\n"
          "# With the files it names beside it, it builds the same launcher.\n\n";

    // 1. The stub: the machine and subsystem fields of the program's header.
    const unsigned char *pe = image.file.data() + get32(&image.file[0x3C]);
    unsigned machine = get16(pe + 4), subsystem = get16(pe + 24 + 68);
    if ((machine != MACHINE_I386 && machine != MACHINE_AMD64 && machine != MACHINE_ARM64) ||
        (subsystem != SUBSYSTEM_GUI && subsystem != SUBSYSTEM_CONSOLE)) {
        *error = "not a launcher: machine " + std::to_string(machine) + ", subsystem " +
                 std::to_string(subsystem);
        return false;
    }
    if (image.is_signed)
        out += "# The launcher is signed (Authenticode). Built again it is not: sign it again "
               "after building.\n";
    out += std::string("architecture = ") +
           (machine == MACHINE_I386 ? "x86" : machine == MACHINE_ARM64 ? "arm64" : "x64") + "\n";
    out += std::string("subsystem = ") + (subsystem == SUBSYSTEM_GUI ? "gui" : "console") +
           "\n\n";

    // 2. Every setting, the main class decoded.
    std::vector<std::string> stored;
    for (const setting_entry &s : settings) {
        std::string value;
        if (!stored_setting(image, s.id, &value, error))
            return false;
        stored.push_back(value);
        if (s.encoded && !value.empty()) {
            char decoded[DECODE_BUFFER_SIZE];
            value = decode_setting_text(value.c_str(), decoded);
            std::u16string check;
            if (!utf8_to_utf16(value, &check)) {
                *error = "the main class is not UTF-8 text (it was written from an ANSI "
                         "configuration)";
                return false;
            }
        }
        out += std::string(s.name) + " = " + value + "\n";
        if (s.id == SETTING_search_order)
            out += "# search methods: " + search_method_names(value) + "\n";
    }

    // 3. The embedded files, in the archive's order.
    const pe_resource *archive = find(image, RCDATA_TYPE, RESOURCE_ARCHIVE, 0);
    uint32_t count = 0;
    const char *bad_name = nullptr;
    if (archive && archive->data.size() >= 4 &&
        archive_check(archive->data.data(), archive->data.size(), &count, &bad_name) !=
            ARCHIVE_OK) {
        *error = "the launcher's embedded-file archive is damaged";
        return false;
    }
    if (count)
        out += "\n# Embedded files: size in bytes, last written\n";
    size_t offset = 4;
    for (uint32_t i = 0; i < count; i++) {
        archive_entry entry;
        archive_read_entry(archive->data.data(), &offset, &entry);
        files->push_back({entry.name, entry.time_low, entry.time_high,
                          std::string((const char *)entry.content, entry.size)});
        out += "# " + std::string(entry.name) + ": " + std::to_string(entry.size) + " bytes, " +
               time_text(entry.time_low, entry.time_high) + "\nembed = " + entry.name + "\n";
    }

    // 4. The splash bitmap and the icon.
    std::string splash_name, icon_name;
    const pe_resource *splash = find(image, BITMAP_TYPE, RESOURCE_SPLASH, 0);
    if (splash) {
        std::string file = bitmap_file(splash->data);
        splash_name = free_name("splash", ".bmp", *files);
        files->push_back({splash_name, 0, 0, file});
        out += "\n# The splash bitmap: " + std::to_string(file.size()) + " bytes\nsplash = " +
               splash_name + "\n";
    }
    std::vector<icon_image> images;
    bool has_icon;
    if (!read_icon(image, &images, &has_icon, error))
        return false;
    if (has_icon) {
        std::vector<unsigned char> file = build_icon_file(images);
        icon_name = free_name("icon", ".ico", *files);
        files->push_back({icon_name, 0, 0, std::string(file.begin(), file.end())});
        out += "\n# The icon: " + std::to_string(images.size()) + " image(s):";
        for (const icon_image &i : images)
            out += " " + image_size(i.width, i.height) + " " + std::to_string(i.bit_count) +
                   "-bit (" + std::to_string(i.data.size()) + " bytes)";
        out += "\nicon = " + icon_name + "\n";
    }

    // 5. The version information: the fixed versions and the strings the keys give.
    const pe_resource *version = find(image, RT_VERSION_TYPE, 1, US_ENGLISH);
    version_info info = {};
    if (version) {
        if (!decode_version_info(version->data.data(), version->data.size(), &info, error))
            return false;
        out += "\nfile_version = " + version_text(info.file_version) +
               "\nproduct_version = " + version_text(info.product_version) + "\n";
        for (const auto &entry : info.strings) {
            const version_key *key = nullptr;
            for (size_t k = 0; k < version_key_count; k++)
                if (entry.first == version_keys[k].string_name)
                    key = &version_keys[k];
            if (!key)
                out += "# version string " + entry.first + " (no key gives it): " +
                       entry.second + "\n";
            else if (key->field != &builder_config::file_version &&
                     key->field != &builder_config::product_version)
                out += std::string(key->key) + " = " + entry.second + "\n";
        }
    }

    // 6. The manifest's execution level.
    std::string level;
    if (!read_execution_level(image, &level, error))
        return false;
    out += "\nexecution_level = " + level + "\n";

    // 7. The text must read back as what was read: a line break or blanks at either end of a
    // value would be lost or misread.
    builder_config back;
    std::string problem;
    if (!parse_config(out, &back, &problem, false)) {
        *error = "the launcher's configuration cannot be written as a configuration file: " +
                 problem;
        return false;
    }
    std::string differs;
    for (size_t i = 0; i < back.settings.size() && differs.empty(); i++)
        if (back.settings[i].text != stored[i])
            differs = std::string("setting ") + settings[i].name;
    for (size_t i = 0; i < count && differs.empty(); i++)
        if (i >= back.embedded.size() || back.embedded[i] != (*files)[i].name)
            differs = "embedded file '" + (*files)[i].name + "'";
    if (back.embedded.size() != count && differs.empty())
        differs = "the embedded files";
    if (back.splash != splash_name || back.icon != icon_name)
        differs = "the splash or icon file name";
    for (size_t i = 0; version && i < info.strings.size() && differs.empty(); i++) {
        for (size_t k = 0; k < version_key_count; k++) {
            const version_key &key = version_keys[k];
            bool fixed = key.field == &builder_config::file_version ||
                         key.field == &builder_config::product_version;
            if (!fixed && info.strings[i].first == key.string_name &&
                back.*key.field != info.strings[i].second)
                differs = std::string("version string ") + key.string_name;
        }
    }
    if (!differs.empty()) {
        *error = differs + " holds what a configuration line cannot give back (a line break, "
                 "or blanks at either end)";
        return false;
    }

    // 8. A launcher built before the builder checked values against their kinds may hold one
    // it now refuses or stores in another form: say so at the top, where it is read first.
    builder_config checked;
    std::string notes;
    bool refused = !parse_config(out, &checked, &problem);
    if (refused)
        notes = "# Building this configuration again is refused until this is changed: " +
                problem + "\n";
    for (size_t i = 0; !refused && i < checked.settings.size(); i++)
        if (checked.settings[i].text != stored[i])
            notes += std::string("# ") + settings[i].name + ": this launcher holds '" +
                     shown(stored[i]) + "'; built again, it holds '" +
                     shown(checked.settings[i].text) + "'\n";
    if (!notes.empty())
        out.insert(out.find("\n\n") + 1, notes);
    return true;
}

std::string free_file_name(const std::string &base, const std::string &extension,
                           const std::vector<printed_file> &files)
{
    return free_name(base, extension, files);
}
