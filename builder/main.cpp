// trevalo-build: writes an application's configuration into a copy of the launcher stub.
//
//   trevalo-build [--stub STUB] CONFIGURATION OUTPUT
//   trevalo-build --print LAUNCHER [FOLDER]
//
// Without --stub, the stub is the one beside the builder that the configuration's architecture
// and subsystem name: trevalo-stub-<x64|x86>[-console].exe. The output is written under
// a temporary name in its folder and renamed only when complete, so a failed run never leaves
// a half-written launcher behind.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <algorithm>

#include "base/archive.h"
#include "base/resource_ids.h"
#include "builder/config.h"
#include "builder/execution_level.h"
#include "builder/icon.h"
#include "builder/pack.h"
#include "builder/pe_resources.h"
#include "builder/print.h"
#include "builder/version_info.h"

namespace {


// The event-log message table every launcher carries; a file without it is not a stub.
const unsigned char launcher_message_table[52] = {
    2, 0, 0, 0,
    1, 0, 0, 0x40, 1, 0, 0, 0x40, 28, 0, 0, 0,
    2, 0, 0, 0xC0, 2, 0, 0, 0xC0, 40, 0, 0, 0,
    12, 0, 0, 0, '%', '1', '\r', '\n', 0, 0, 0, 0,
    12, 0, 0, 0, '%', '1', '\r', '\n', 0, 0, 0, 0,
};

const WORD LANGUAGE_EN_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

int fail(const std::string &message)
{
    fprintf(stderr, "trevalo-build: error: %s\n", message.c_str());
    return 1;
}

// The system's text for the last error, without its line break.
std::string last_error_text()
{
    DWORD code = GetLastError();
    char buffer[512];
    // 0x1200 = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
    DWORD n = FormatMessageA(0x1200, nullptr, code, 0, buffer, sizeof buffer, nullptr);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' '))
        n--;
    if (n == 0)
        return "error " + std::to_string(code);
    return std::string(buffer, n);
}

bool read_file(const std::string &path, std::string *content, std::string *error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot read " + path + ": " + last_error_text();
        return false;
    }
    content->clear();
    char buffer[65536];
    DWORD n;
    bool ok;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &n, nullptr)) && n > 0)
        content->append(buffer, n);
    if (!ok)
        *error = "cannot read " + path + ": " + last_error_text();
    CloseHandle(file);
    return ok;
}

std::string builder_folder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return ".";
    char *slash = strrchr(path, '\\');
    if (slash)
        *slash = '\0';
    return path;
}

// A resource of the stub that the new launcher keeps as it is.
struct kept_resource {
    std::string type, name;  // "#n" for a number, as the A functions take it
    WORD language;
    std::string data;
};

std::string resource_id(LPCSTR id)
{
    return IS_INTRESOURCE(id) ? "#" + std::to_string((unsigned)(ULONG_PTR)id) : std::string(id);
}

LPCSTR resource_id(const std::string &id)
{
    return id[0] == '#' ? MAKEINTRESOURCEA(atoi(id.c_str() + 1)) : id.c_str();
}

// What the builder writes itself, so the stub's own copy is dropped: the string table, the
// embedded-file archive and the splash bitmap.
bool is_replaced(LPCSTR type, LPCSTR name)
{
    if (!IS_INTRESOURCE(type))
        return false;
    ULONG_PTR t = (ULONG_PTR)type;
    return t == (ULONG_PTR)RT_STRING ||
           (t == (ULONG_PTR)RT_RCDATA && (name == MAKEINTRESOURCEA(RESOURCE_ARCHIVE) ||
                                           name == MAKEINTRESOURCEA(RESOURCE_ARCHIVE_HASH))) ||
           (t == (ULONG_PTR)RT_BITMAP && name == MAKEINTRESOURCEA(RESOURCE_SPLASH));
}

BOOL CALLBACK keep_language(HMODULE module, LPCSTR type, LPCSTR name, WORD language,
                            LONG_PTR param)
{
    HRSRC resource = FindResourceExA(module, type, name, language);
    const char *data = (const char *)LockResource(LoadResource(module, resource));
    auto *kept = reinterpret_cast<std::vector<kept_resource> *>(param);
    kept->push_back({resource_id(type), resource_id(name), language,
                     std::string(data, SizeofResource(module, resource))});
    return TRUE;
}

BOOL CALLBACK keep_name(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param)
{
    if (!is_replaced(type, name))
        EnumResourceLanguagesA(module, type, name, keep_language, param);
    return TRUE;
}

BOOL CALLBACK keep_type(HMODULE module, LPSTR type, LONG_PTR param)
{
    EnumResourceNamesA(module, type, keep_name, param);
    return TRUE;
}

// Checks that path is a launcher stub (it carries the launcher's message table) and collects
// the resources the new launcher keeps from it.
bool read_stub(const std::string &path, std::vector<kept_resource> *kept, std::string *error)
{
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        *error = "cannot open stub " + path + ": " + last_error_text();
        return false;
    }
    HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(11), MAKEINTRESOURCEA(1),
                                     LANGUAGE_EN_US);
    bool is_launcher = resource &&
        SizeofResource(module, resource) == sizeof launcher_message_table &&
        memcmp(LockResource(LoadResource(module, resource)), launcher_message_table,
               sizeof launcher_message_table) == 0;
    if (is_launcher)
        EnumResourceTypesA(module, keep_type, (LONG_PTR)kept);
    FreeLibrary(module);
    if (!is_launcher)
        *error = path + " is not a launcher stub (it has no launcher message table)";
    return is_launcher;
}

// A string-table block that holds one setting as its first string: the length word and UTF-16
// text of the setting, then one zero length word.
std::vector<WORD> string_block_data(const std::string &text, UINT code_page)
{
    int units = MultiByteToWideChar(code_page, 0, text.data(), (int)text.size(), nullptr, 0);
    std::vector<WORD> data(1 + units + 1, 0);
    data[0] = (WORD)units;
    MultiByteToWideChar(code_page, 0, text.data(), (int)text.size(), (LPWSTR)&data[1], units);
    return data;
}

// Writes the launcher's resources into target, a copy of the stub: every resource kept from
// the stub, then the settings, the archive and the splash bitmap. All earlier resources are
// dropped first, so nothing of a launcher used as the stub survives unless kept.
bool write_resources(const std::string &target, const std::vector<kept_resource> &kept,
                     const std::vector<setting_value> &values, UINT code_page,
                     const std::string &archive, const std::string &bitmap, std::string *error)
{
    HANDLE update = BeginUpdateResourceA(target.c_str(), TRUE);
    if (!update) {
        *error = "cannot update " + target + ": " + last_error_text();
        return false;
    }
    bool ok = true;
    for (const kept_resource &r : kept)
        ok = ok && UpdateResourceA(update, resource_id(r.type), resource_id(r.name), r.language,
                                   (void *)r.data.data(), (DWORD)r.data.size());
    for (const setting_value &v : values) {
        // An empty setting is simply absent: a missing string reads as the empty text.
        if (!ok || v.text.empty())
            continue;
        std::vector<WORD> data = string_block_data(v.text, code_page);
        ok = UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(v.id / 16 + 1),
                             LANGUAGE_EN_US, data.data(), (DWORD)(data.size() * sizeof(WORD)));
    }
    // The archive is always written (one zero byte for no files), with its hash; language
    // neutral.
    uint64_t hash = archive_hash((const unsigned char *)archive.data(), archive.size());
    unsigned char hash_bytes[8];
    for (int i = 0; i < 8; i++)
        hash_bytes[i] = (unsigned char)(hash >> (8 * i));
    ok = ok && UpdateResourceA(update, RT_RCDATA, MAKEINTRESOURCEA(RESOURCE_ARCHIVE),
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                               (void *)archive.data(), (DWORD)archive.size()) &&
         UpdateResourceA(update, RT_RCDATA, MAKEINTRESOURCEA(RESOURCE_ARCHIVE_HASH),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), hash_bytes, sizeof hash_bytes);
    if (!bitmap.empty())
        ok = ok && UpdateResourceA(update, RT_BITMAP, MAKEINTRESOURCEA(RESOURCE_SPLASH),
                                   MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                   (void *)bitmap.data(), (DWORD)bitmap.size());
    if (!ok) {
        *error = "cannot write the settings: " + last_error_text();
        EndUpdateResourceA(update, TRUE);
        return false;
    }
    if (!EndUpdateResourceA(update, FALSE)) {
        *error = "cannot write the settings: " + last_error_text();
        return false;
    }
    return true;
}

// Adds the file at path to files under its plain name, with its content and last-write time.
bool add_file(const std::string &path, std::vector<packed_file> *files, std::string *error)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
        *error = "cannot embed " + path + ": " + last_error_text();
        return false;
    }
    if (attributes.nFileSizeHigh != 0) {
        *error = "cannot embed " + path + ": files of 4 GB and more cannot be embedded";
        return false;
    }
    packed_file file;
    size_t slash = path.find_last_of("\\/");
    file.name = slash == std::string::npos ? path : path.substr(slash + 1);
    file.time_low = attributes.ftLastWriteTime.dwLowDateTime;
    file.time_high = attributes.ftLastWriteTime.dwHighDateTime;
    if (!read_file(path, &file.content, error))
        return false;
    files->push_back(file);
    return true;
}

// Adds the files directly inside folder (not those of its sub-folders), ordered by name
// without regard to case, so that the same folder always packs the same way.
bool add_folder(const std::string &folder, std::vector<packed_file> *files, std::string *error)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = "cannot list " + folder + ": " + last_error_text();
        return false;
    }
    std::vector<std::string> names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        int order = lstrcmpiA(a.c_str(), b.c_str());
        return order != 0 ? order < 0 : a < b;
    });
    for (const std::string &name : names)
        if (!add_file(folder + "\\" + name, files, error))
            return false;
    return true;
}

// path as written in the configuration: absolute, or relative to the configuration's folder.
std::string resolve(const std::string &path, const std::string &base)
{
    bool absolute = path[0] == '\\' || path[0] == '/' || (path.size() > 1 && path[1] == ':');
    return absolute ? path : base + "\\" + path;
}

// The files named by the configuration's embed lines, relative to the configuration's folder.
bool collect_files(const std::vector<std::string> &entries, const std::string &base,
                   std::vector<packed_file> *files, std::string *error)
{
    for (const std::string &entry : entries) {
        std::string path = resolve(entry, base);
        while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
            path.pop_back();
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            *error = "cannot embed " + entry + ": " + last_error_text();
            return false;
        }
        bool ok = attributes & FILE_ATTRIBUTE_DIRECTORY ? add_folder(path, files, error)
                                                        : add_file(path, files, error);
        if (!ok)
            return false;
    }
    return check_packed_names(*files, error);
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool write_file(const std::string &path, const std::string &content, uint32_t time_low,
                uint32_t time_high, std::string *error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    FILETIME time = {time_low, time_high};
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, content.data(), (DWORD)content.size(), &n, nullptr) &&
              n == content.size() &&
              (!(time_low | time_high) || SetFileTime(file, nullptr, nullptr, &time));
    if (!ok)
        *error = "cannot write " + path + ": " + last_error_text();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return ok;
}

// Writes the icon, the version information and the execution level of config into the
// launcher at path: the portable modules rewrite the parsed program.
bool write_program_resources(const std::string &path, const builder_config &config,
                             const std::string &config_folder, std::string *error)
{
    std::string content, icon;
    pe_image image;
    if (!config.icon.empty() && !read_file(resolve(config.icon, config_folder), &icon, error))
        return false;
    if (!read_file(path, &content, error) ||
        !pe_parse((const unsigned char *)content.data(), content.size(), &image, error))
        return false;
    if (!icon.empty() &&
        !apply_icon(&image, (const unsigned char *)icon.data(), icon.size(), error)) {
        *error = "icon " + config.icon + ": " + *error;
        return false;
    }
    std::vector<unsigned char> out;
    return apply_version_info(&image, config, error) &&
           apply_execution_level(&image, config.execution_level, error) &&
           pe_write(image, &out, error) &&
           write_file(path, std::string(out.begin(), out.end()), 0, 0, error);
}

// --print: the configuration of launcher to standard output or, with a folder, into
// folder\launcher.cfg beside the files it names (embedded files with their last-write times).
int print_configuration(const std::string &launcher, const char *folder)
{
    std::string content, text, error;
    pe_image image;
    std::vector<printed_file> files;
    if (!read_file(launcher, &content, &error))
        return fail(error);
    if (!pe_parse((const unsigned char *)content.data(), content.size(), &image, &error) ||
        !print_launcher(image, &text, &files, &error))
        return fail(launcher + ": " + error);
    if (!folder) {
        fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return fail(std::string("cannot create ") + folder + ": " + last_error_text());
    files.push_back({"launcher.cfg", 0, 0, text});
    for (const printed_file &f : files)
        if (!write_file(std::string(folder) + "\\" + f.name, f.content, f.time_low, f.time_high,
                        &error))
            return fail(error);
    printf("trevalo-build: wrote %s\\launcher.cfg\n", folder);
    return 0;
}

int usage()
{
    fprintf(stderr,
            "usage: trevalo-build [--stub STUB] CONFIGURATION OUTPUT\n"
            "Writes the settings of CONFIGURATION (lines of 'key = value') into a copy of the\n"
            "launcher stub (default: the one beside this program that the configuration's\n"
            "'architecture' and 'subsystem' name, trevalo-stub-x64.exe unless they say\n"
            "otherwise) and saves it as OUTPUT.\n"
            "       trevalo-build --print LAUNCHER [FOLDER]\n"
            "Writes the configuration of LAUNCHER to standard output or, with FOLDER, into\n"
            "FOLDER\\launcher.cfg beside its embedded files, splash bitmap and icon.\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && argc <= 4 && strcmp(argv[1], "--print") == 0)
        return print_configuration(argv[2], argc == 4 ? argv[3] : nullptr);
    std::string stub;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; i++) {
        if (strcmp(argv[i], "--stub") == 0 && i + 1 < argc)
            stub = argv[++i];
        else
            return usage();
    }
    if (argc - i != 2)
        return usage();
    std::string config_path = argv[i], output = argv[i + 1];

    std::string error, config_text;
    if (!read_file(config_path, &config_text, &error))
        return fail(error);
    builder_config config;
    if (!parse_config(config_text, &config, &error))
        return fail(config_path + ": " + error);
    // A file saved as UTF-8 with its byte-order mark is read as UTF-8, any other as ANSI text,
    // the launcher's own code page.
    UINT code_page = config.utf8 ? CP_UTF8 : CP_ACP;
    std::vector<packed_file> files;
    if (!collect_files(config.embedded, folder_of(config_path), &files, &error))
        return fail(error);
    std::string bitmap;
    if (!config.splash.empty()) {
        std::string path = resolve(config.splash, folder_of(config_path)), content;
        if (!read_file(path, &content, &error))
            return fail(error);
        if (!bitmap_resource(content, &bitmap, &error))
            return fail("splash " + config.splash + ": " + error);
    }

    if (stub.empty())
        stub = builder_folder() + "\\trevalo-stub-" + config.architecture +
               (config.subsystem == "console" ? "-console" : "") + ".exe";
    std::vector<kept_resource> kept;
    if (!read_stub(stub, &kept, &error))
        return fail(error);

    // The new launcher is made under a temporary name beside the output, then renamed.
    std::string folder = folder_of(output);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "tvb", 0, temp))
        return fail("cannot create a file in " + folder + ": " + last_error_text());
    bool ok = CopyFileA(stub.c_str(), temp, FALSE);
    if (!ok)
        error = "cannot copy " + stub + ": " + last_error_text();
    ok = ok && write_resources(temp, kept, config.settings, code_page, build_archive(files), bitmap,
                              &error) &&
         write_program_resources(temp, config, folder_of(config_path), &error);
    if (ok && !MoveFileExA(temp, output.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = "cannot write " + output + ": " + last_error_text();
        ok = false;
    }
    if (!ok) {
        DeleteFileA(temp);
        return fail(error);
    }
    printf("trevalo-build: wrote %s\n", output.c_str());
    return 0;
}
