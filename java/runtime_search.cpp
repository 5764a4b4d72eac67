// Finding the Java runtime library. Portable: the registry, the files and the environment are
// reached through the system seam.
#include "java/runtime_search.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/memory.h"
#include "base/text.h"
#include "config/search_methods.h"
#include "os/os.h"
#include "os/trace.h"

static const char *const runtime_keys[] = {
    "Software\\JavaSoft\\Java Runtime Environment",
    "Software\\IBM\\Java2 Runtime Environment",
    "Software\\JavaSoft\\Java Development Kit",
    "Software\\IBM\\Java Development Kit",
};

// Where the library lies in a runtime's home, in the order tried: a runtime's own bin folder,
// then the runtime inside a Java 8 development kit.
static const char *const home_library_paths[] = {
    "bin\\server\\jvm.dll",
    "bin\\client\\jvm.dll",
    "jre\\bin\\server\\jvm.dll",
    "jre\\bin\\client\\jvm.dll",
};

// A registry key whose sub-keys are runtimes: each holds the runtime's home in value, directly
// or, with vm_folders, in the installer folders below it.
struct registry_table {
    const char *key;
    const char *value;
    bool vm_folders;
};

// Method 5: the keys of Java 9 and later, by version.
static const registry_table java_keys[] = {
    {"SOFTWARE\\JavaSoft\\JDK", "JavaHome", false},
    {"SOFTWARE\\JavaSoft\\JRE", "JavaHome", false},
};

// Method 6: the vendors' own keys. The installers built from the Eclipse Adoptium template
// write <version>\<virtual machine>\<installer kind>, value Path; the first AdoptOpenJDK
// installers <version>\MSI.
static const registry_table vendor_keys[] = {
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "Path", true},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "Path", true},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "Path", true},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "Path", true},
    {"SOFTWARE\\Eclipse Foundation\\JDK", "Path", true},
    {"SOFTWARE\\Eclipse Foundation\\JRE", "Path", true},
    {"SOFTWARE\\Semeru\\JDK", "Path", true},
    {"SOFTWARE\\Semeru\\JRE", "Path", true},
    {"SOFTWARE\\Microsoft\\JDK", "Path", true},
    {"SOFTWARE\\Azul Systems\\Zulu", "InstallationPath", false},
    {"SOFTWARE\\Azul Systems\\Zulu 32-bit", "InstallationPath", false},
    {"SOFTWARE\\BellSoft\\Liberica", "InstallationPath", false},
};

static const char *const vm_folders[] = {
    "\\hotspot\\MSI", "\\hotspot\\EXE", "\\openj9\\MSI", "\\openj9\\EXE", "\\MSI",
};

// The folders beside the launcher that may hold the runtime it ships with (method 8).
static const char *const bundled_folders[] = {"runtime", "jre", "jdk"};

// What one search carries from method to method.
struct search_state {
    char *result;
    size_t capacity;
    char *home;           // RUNTIME_HOME_SIZE bytes
    char *relative;       // runtime_paths as the registry methods join it to a JavaHome
    const char *kit_path; // the library's path inside a kit's home; null until a kit method ran
    unsigned machine;     // the machine type the launcher loads
    unsigned required;    // the java_version setting, for the per-digit version test
    unsigned minimum, maximum; // feature versions of methods 5 to 9; 0: no bound
    // What was passed over, and the first folder refused: the outcome's.
    passed_over *passed;
    // Methods 5 to 9: whether the running method has chosen a runtime, and its version.
    bool chosen;
    java_version chosen_version;
    // A guarded search (elevated, or a service) takes a library only from private folders,
    // own_account trusting the process's account as well.
    bool guarded, own_account;
};

// Copies the parts, joined, into result when they fit its capacity with their terminator;
// a candidate that does not fit is refused rather than cut, since a cut path may name another
// file.
static bool join_candidate(char *result, size_t capacity, const char *first, const char *second,
                           const char *third)
{
    size_t a = strlen(first), b = strlen(second), c = strlen(third);
    if (a + b + c >= capacity)
        return false;
    memcpy(result, first, a);
    memcpy(result + a, second, b);
    memcpy(result + a + b, third, c + 1);
    return true;
}

bool parse_java_version(const char *text, size_t length, java_version *version)
{
    memset(version, 0, sizeof *version);
    size_t i = 0;
    while (i < length && (((text[i] | 0x20) >= 'a' && (text[i] | 0x20) <= 'z') || text[i] == '-'))
        i++;
    // Up to five numbers, so that "1.8.0_392" keeps its update once the leading 1 goes.
    unsigned numbers[5] = {};
    int count = 0;
    while (count < 5 && i < length && text[i] >= '0' && text[i] <= '9') {
        unsigned n = 0;
        for (; i < length && text[i] >= '0' && text[i] <= '9'; i++)
            if (n < 100000000)
                n = n * 10 + (unsigned)(text[i] - '0');
        numbers[count++] = n;
        if (i + 1 < length && (text[i] == '.' || text[i] == '_') && text[i + 1] >= '0' &&
            text[i + 1] <= '9')
            i++;
        else
            break;
    }
    // "1.N..." is feature N.
    int first = count > 1 && numbers[0] == 1 ? 1 : 0;
    for (int k = 0; k < 4 && first + k < count; k++)
        version->part[k] = numbers[first + k];
    if (version->part[0] == 0) {
        memset(version, 0, sizeof *version);
        return false;
    }
    return true;
}

// Negative, zero or positive as a is older than, the same as, or newer than b in their
// first count parts.
static int compare_version_parts(const java_version &a, const java_version &b, int count)
{
    for (int k = 0; k < count; k++)
        if (a.part[k] != b.part[k])
            return a.part[k] < b.part[k] ? -1 : 1;
    return 0;
}

int compare_java_versions(const java_version &a, const java_version &b)
{
    return compare_version_parts(a, b, 4);
}

bool read_release_version(const char *home, java_version *version)
{
    memset(version, 0, sizeof *version);
    char path[RUNTIME_PATH_SIZE];
    char text[4096];
    if (!join_candidate(path, sizeof path, home, "\\", "release"))
        return false;
    int count = read_file_part(path, 0, text, sizeof text);
    static const char key[] = "JAVA_VERSION=";
    const size_t key_length = sizeof key - 1;
    // A file written with the UTF-8 mark has its first line after it.
    int first = count >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    // The key at the start of a line; its value up to the line's end, quotes dropped.
    for (int start = first; start >= 0 && start < count;) {
        const char *line = text + start;
        size_t left = (size_t)(count - start);
        const char *end = (const char *)memchr(line, '\n', left);
        size_t line_length = end ? (size_t)(end - line) : left;
        if (line_length > key_length && memcmp(line, key, key_length) == 0) {
            const char *value = line + key_length;
            size_t value_length = line_length - key_length;
            if (value[0] == '"') {
                value++;
                value_length--;
            }
            return parse_java_version(value, value_length, version);
        }
        start = end ? (int)(end - text) + 1 : count;
    }
    return false;
}

unsigned library_machine(const char *path)
{
    // The MS-DOS header: "MZ", and at 0x3C the offset of "PE\0\0", which the machine type
    // follows. The first 512 bytes hold both in the libraries that linkers write, so one read
    // serves; a header further on takes a second.
    unsigned char header[512];
    int count = read_file_part(path, 0, header, sizeof header);
    if (count < 0x40 || header[0] != 'M' || header[1] != 'Z')
        return 0;
    uint32_t offset = header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 |
                      (uint32_t)header[0x3F] << 24;
    const unsigned char *signature = header + offset;
    if (offset > sizeof header - 6) {
        if (offset > 0x10000000 || read_file_part(path, offset, header, 6) != 6)
            return 0;
        signature = header;
    } else if ((int)offset + 6 > count) {
        return 0;
    }
    if (memcmp(signature, "PE\0\0", 4) != 0)
        return 0;
    return signature[4] | signature[5] << 8;
}

// Keeps what was passed over for the report: each path once, and of more than MOST_PASSED the
// most useful (the earliest found of equal use).
static void note_passed(search_state *state, passed_reason reason, unsigned number,
                        const char *path)
{
    static const char *const reasons[] = {"version outside the bounds", "version unknown",
                                          "built for another processor", "no jvm.dll",
                                          "no such folder"};
    trace("passed over %s: %s (%u)", path, reasons[reason], number);
    if (strlen(path) >= RUNTIME_PATH_SIZE)
        return;
    passed_over &passed = *state->passed;
    int slot = -1;
    for (int i = 0; i < passed.count; i++) {
        if (strcasecmp(passed.runtimes[i].path, path) == 0)
            return;
        // When full: the last of the least useful entries, if it is less useful than this.
        if (passed.runtimes[i].reason > reason &&
            (slot < 0 || passed.runtimes[i].reason >= passed.runtimes[slot].reason))
            slot = i;
    }
    if (passed.count < MOST_PASSED)
        slot = passed.count++;
    else if (slot < 0)
        return;
    passed.runtimes[slot].reason = reason;
    passed.runtimes[slot].number = number;
    strcpy(passed.runtimes[slot].path, path);
}

static void set_home_of_library(const char *library, char *home);

enum library_check { LIBRARY_OTHER_PROCESSOR = -1, LIBRARY_UNUSABLE, LIBRARY_USABLE };

// Whether the launcher can load the library at path. A library built for another processor
// is passed over, the first such remembered for the report. Strict, anything else that is not
// a PE image (missing, unreadable, truncated) is passed over too; otherwise an existing file
// that is no PE image is taken, as the registry methods always took it.
static library_check check_library(search_state *state, const char *path, bool strict)
{
    unsigned machine = library_machine(path);
    if (machine)
        trace("runtime library %s: machine type 0x%x", path, machine);
    else
        trace("runtime library %s: %s", path, file_exists(path) ? "not a program library" : "not there");
    if (machine == state->machine)
        return LIBRARY_USABLE;
    if (machine == 0)
        return !strict && file_exists(path) ? LIBRARY_USABLE : LIBRARY_UNUSABLE;
    note_passed(state, PASSED_OTHER_PROCESSOR, machine, path);
    return LIBRARY_OTHER_PROCESSOR;
}

// Whether the folder at path may hold a library a guarded search takes: it passes the
// private-folder test of the unpacking folder, and is then held open to the process's end, so
// that it can be neither renamed nor replaced before the library loads. The first folder
// refused is remembered for the report.
static bool folder_is_private(search_state *state, const char *path)
{
    if (hold_private_directory(path, state->own_account) == FOLDER_HELD)
        return true;
    char *refused = state->passed->refused;
    if (!refused[0] && strlen(path) < sizeof state->passed->refused)
        strcpy(refused, path);
    return false;
}

// Whether a guarded search may take the library at path: the folder holding it and, for a
// library at <home>\bin\<virtual machine>\jvm.dll, each folder from the home down to it must
// be private. A search that is not guarded takes every library.
static bool library_folders_private(search_state *state, const char *path)
{
    if (!state->guarded)
        return true;
    char folder[RUNTIME_PATH_SIZE], home[RUNTIME_HOME_SIZE];
    const char *last = strrchr(path, '\\');
    size_t end = last ? (size_t)(last - path) : 0;
    if (end == 0 || end >= sizeof folder)
        return false;
    set_home_of_library(path, home);
    size_t start = home[0] ? strlen(home) : end;
    for (size_t cut = start; cut <= end; cut++) {
        if (cut != end && path[cut] != '\\')
            continue;
        memcpy(folder, path, cut);
        folder[cut] = '\0';
        if (!folder_is_private(state, folder))
            return false;
    }
    return true;
}

static bool usable_library(search_state *state, const char *path, bool strict)
{
    return check_library(state, path, strict) == LIBRARY_USABLE &&
           library_folders_private(state, path);
}

// The home of a library at <home>\bin\<virtual machine>\jvm.dll into home; empty for a library
// laid out otherwise.
static void set_home_of_library(const char *library, char *home)
{
    home[0] = '\0';
    const char *cut[3] = {};
    for (const char *p = library; *p; p++)
        if (*p == '\\') {
            cut[2] = cut[1];
            cut[1] = cut[0];
            cut[0] = p;
        }
    if (!cut[2] || cut[1] - cut[2] != 4 || strncasecmp(cut[2] + 1, "bin", 3) != 0)
        return;
    size_t length = (size_t)(cut[2] - library);
    if (length < RUNTIME_HOME_SIZE) {
        memcpy(home, library, length);
        home[length] = '\0';
    }
}

// Method 0: the entries of runtime_paths, in order. Once it has run, the registry methods join
// only the list up to the end of its first entry to a JavaHome.
static bool try_configured_runtime_paths(search_state *state)
{
    if (!state->relative[0])
        return false;
    // A relative entry is relative to the launcher's folder, whatever folder the search runs
    // in: the library is loaded by its full path.
    char path[RUNTIME_PATH_SIZE];
    char *folder = executable_path();
    char *last = folder ? strrchr(folder, '\\') : nullptr;
    if (last)
        last[1] = '\0';
    char *cursor = nullptr;
    bool found = false;
    while (char *entry = next_token(state->relative, ";", &cursor)) {
        bool relative = entry[0] != '\\' && entry[0] != '/' && !(entry[0] && entry[1] == ':');
        if (!join_candidate(path, sizeof path, relative && last ? folder : "", entry, ""))
            continue;
        if (usable_library(state, path, true) &&
            join_candidate(state->result, state->capacity, path, "", "")) {
            set_home_of_library(path, state->home);
            found = true;
            break;
        }
    }
    free(folder);
    return found;
}

// The per-digit version test: the first character of the name against the required major
// version, its third against the lowest four bits of the required minor version, each on its
// own. A name of fewer than three characters has no minor digit and is refused.
static bool passes_version_test(unsigned required, const char *version_name)
{
    if (strlen(version_name) < 3)
        return false;
    int major = version_name[0] - '0';
    int minor = version_name[2] - '0';
    return major >= (int)(required >> 16) && minor >= (int)(required & 0xF);
}

// Tests the version sub-key version_name of the table key in key_path (a KEY_PATH_SIZE buffer,
// to which "\" and the name are appended) and looks for its runtime library.
static bool check_runtime_version_key(search_state *state, char *key_path,
                                      const char *version_name)
{
    if (!passes_version_test(state->required, version_name))
        return false;
    size_t key_length = strlen(key_path);
    if (key_length + 1 + strlen(version_name) >= KEY_PATH_SIZE)
        return false;
    key_path[key_length] = '\\';
    strcpy(key_path + key_length + 1, version_name);

    char *home = state->home, *result = state->result;
    size_t capacity = state->capacity;
    memset(home, 0, RUNTIME_HOME_SIZE);
    query_registry_text(REGISTRY_MACHINE, key_path, "JavaHome", home, RUNTIME_HOME_SIZE);

    memset(result, 0, capacity);
    int registered = query_registry_text(REGISTRY_MACHINE, key_path, "RuntimeLib", result,
                                         capacity);
    if (usable_library(state, result, false))
        return true;
    // A registered library that is missing, or built for another processor, disqualifies the
    // version.
    if (registered == 0 || !home[0])
        return false;
    if (state->relative[0] && join_candidate(result, capacity, home, "\\", state->relative) &&
        usable_library(state, result, false))
        return true;
    return state->kit_path && join_candidate(result, capacity, home, "\\", state->kit_path) &&
           usable_library(state, result, false);
}

// Methods 1 to 4: the registry keys of rows first_row .. first_row + row_count - 1.
static bool search_runtime_keys(search_state *state, int first_row, int row_count)
{
    char key_path[KEY_PATH_SIZE];
    char version[VERSION_NAME_SIZE];
    for (int row = first_row; row < first_row + row_count; row++) {
        strcpy(key_path, runtime_keys[row]);
        if (query_registry_text(REGISTRY_MACHINE, key_path, "CurrentVersion", version,
                                sizeof version) == 0 &&
            check_runtime_version_key(state, key_path, version))
            return true;

        registry_key *key = open_registry_key(REGISTRY_MACHINE, runtime_keys[row]);
        if (!key)
            continue;
        // A sub-key whose name does not fit is passed over; the list goes on to its end.
        subkey_step step;
        for (unsigned index = 0;
             (step = enum_registry_subkey(key, index, version, sizeof version)) != SUBKEY_END;
             index++) {
            if (step == SUBKEY_SKIPPED)
                continue;
            strcpy(key_path, runtime_keys[row]);
            if (check_runtime_version_key(state, key_path, version)) {
                close_registry_key(key);
                return true;
            }
        }
        close_registry_key(key);
    }
    return false;
}

// Methods 5 to 9: the runtime whose home is given (its trailing backslashes dropped) becomes
// the choice when its version lies within the bounds and is newer than the choice so far, and
// one of its library paths holds a library of the launcher's processor. The version is the
// release file's, else the one key_name (null: none) gives, else unknown, which passes only
// when there is no minimum. A runtime of the user's own keys (per_user) must be newer in its
// feature, interim and update numbers: a key name may carry a build number as a fourth part
// where the release file has none, and the user's choice never outranks the machine's for
// the same version.
static void consider_runtime(search_state *state, const char *given_home, const char *key_name,
                             bool per_user = false)
{
    size_t length = strlen(given_home);
    while (length > 0 && given_home[length - 1] == '\\')
        length--;
    char home[RUNTIME_HOME_SIZE];
    if (length == 0 || length >= sizeof home)
        return;
    memcpy(home, given_home, length);
    home[length] = '\0';

    // A folder that is not there is no runtime to tell the user about.
    if (path_attributes(home) != 1)
        return;
    java_version version;
    if (!read_release_version(home, &version) && key_name)
        parse_java_version(key_name, strlen(key_name), &version);
    unsigned feature = version.part[0];
    if (state->chosen && (compare_java_versions(version, state->chosen_version) <= 0 ||
                          (per_user && compare_version_parts(version, state->chosen_version, 3) <= 0)))
        return;
    if (feature < state->minimum || (state->maximum && feature > state->maximum)) {
        note_passed(state, feature ? PASSED_VERSION : PASSED_UNKNOWN_VERSION, feature, home);
        return;
    }
    char library[RUNTIME_PATH_SIZE];
    for (const char *path : home_library_paths) {
        if (!join_candidate(library, sizeof library, home, "\\", path))
            continue;
        library_check check = check_library(state, library, true);
        // A home holds libraries of one processor: after one of another, the rest are too.
        if (check == LIBRARY_OTHER_PROCESSOR)
            return;
        if (check != LIBRARY_USABLE)
            continue;
        // A library in a folder a guarded search refuses is named as refused, not as missing.
        if (!library_folders_private(state, library))
            return;
        if (join_candidate(state->result, state->capacity, library, "", "")) {
            memcpy(state->home, home, length + 1);
            state->chosen = true;
            state->chosen_version = version;
            return;
        }
    }
    note_passed(state, PASSED_NO_LIBRARY, 0, home);
}

// Methods 5 and 6: every sub-key of the tables, under each of the roots; a guarded search
// reads the machine's keys only, as the user's own may name any folder.
static void search_registry_tables(search_state *state, const registry_table *tables,
                                   size_t table_count, int root_count)
{
    static const registry_root roots[] = {REGISTRY_MACHINE, REGISTRY_USER};
    if (state->guarded)
        root_count = 1;
    char name[VERSION_NAME_SIZE], key_path[KEY_PATH_SIZE], home[RUNTIME_HOME_SIZE];
    for (int r = 0; r < root_count; r++) {
        for (size_t t = 0; t < table_count; t++) {
            const registry_table &table = tables[t];
            registry_key *key = open_registry_key(roots[r], table.key);
            if (!key)
                continue;
            subkey_step step;
            for (unsigned index = 0;
                 (step = enum_registry_subkey(key, index, name, sizeof name)) != SUBKEY_END;
                 index++) {
                if (step == SUBKEY_SKIPPED)
                    continue;
                size_t folders = table.vm_folders ? sizeof vm_folders / sizeof *vm_folders : 1;
                for (size_t f = 0; f < folders; f++) {
                    char base[KEY_PATH_SIZE];
                    if (join_candidate(base, sizeof base, table.key, "\\", name) &&
                        join_candidate(key_path, sizeof key_path, base, "",
                                       table.vm_folders ? vm_folders[f] : "") &&
                        query_registry_text(roots[r], key_path, table.value, home,
                                            sizeof home) == 0)
                        consider_runtime(state, home, name, roots[r] == REGISTRY_USER);
                }
            }
            close_registry_key(key);
        }
    }
}

// Copies text into buffer (size bytes) without enclosing double quotes and trailing
// backslashes; false when nothing is left or it does not fit.
static bool copy_folder(char *buffer, size_t size, const char *text)
{
    size_t length = strlen(text);
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        text++;
        length -= 2;
    }
    while (length > 0 && text[length - 1] == '\\')
        length--;
    if (length == 0 || length >= size)
        return false;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return true;
}

// Where the machine's own environment variables are kept, apart from each user's.
static const char MACHINE_ENVIRONMENT_KEY[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The variable name as a new heap text; null when it is not set. A guarded search takes the
// machine's own value only, as the machine keeps it: the process's environment holds the
// user's variables too.
static char *variable_value(const search_state *state, const char *name)
{
    if (!state->guarded)
        return environment_value(name);
    // The longest value a variable may have, in UTF-8.
    const size_t capacity = 3 * 32767 + 1;
    char *value = (char *)must_alloc(capacity);
    if (query_registry_text(REGISTRY_MACHINE, MACHINE_ENVIRONMENT_KEY, name, value, capacity) !=
        0) {
        free(value);
        return nullptr;
    }
    return value;
}

// Whether a guarded search passes over the folder text of a machine variable: one that names
// another variable ("%SystemRoot%\\system32"), whose value the user may set.
static bool names_variable(const search_state *state, const char *text)
{
    return state->guarded && strchr(text, '%');
}

// Method 7: the runtime that the JAVA_HOME variable names.
static void try_java_home_variable(search_state *state)
{
    char *value = variable_value(state, "JAVA_HOME");
    char home[RUNTIME_HOME_SIZE];
    // A JAVA_HOME that names no folder is said, not passed over in silence: the user set it.
    if (value && !names_variable(state, value) && copy_folder(home, sizeof home, value)) {
        if (path_attributes(home) != 1)
            note_passed(state, PASSED_NO_FOLDER, 0, home);
        consider_runtime(state, home, nullptr);
    }
    free(value);
}

// Method 8: a runtime in one of the bundled folders beside the launcher.
static void try_bundled_runtime(search_state *state)
{
    char home[RUNTIME_HOME_SIZE];
    char *folder = executable_path();
    char *last = folder ? strrchr(folder, '\\') : nullptr;
    if (last)
        *last = '\0';
    for (const char *name : bundled_folders) {
        if (!last || state->chosen)
            break;
        if (join_candidate(home, sizeof home, folder, "\\", name))
            consider_runtime(state, home, nullptr);
    }
    free(folder);
}

// Method 9: the runtime of the first java.exe in a bin folder of the PATH variable.
static void try_path_variable(search_state *state)
{
    char *list = variable_value(state, "Path");
    if (!list)
        return;
    char *cursor = nullptr;
    char folder[RUNTIME_PATH_SIZE], launcher[RUNTIME_PATH_SIZE];
    while (char *entry = next_token(list, ";", &cursor)) {
        if (names_variable(state, entry) || !copy_folder(folder, sizeof folder, entry) ||
            !join_candidate(launcher, sizeof launcher, folder, "\\", "java.exe") ||
            !file_exists(launcher))
            continue;
        // Only <home>\bin holds a runtime's own java.exe; other folders (such as the one that
        // only links to an installed java.exe) are passed over.
        char *last = strrchr(folder, '\\');
        if (!last || strcasecmp(last + 1, "bin") != 0)
            continue;
        *last = '\0';
        consider_runtime(state, folder, nullptr);
        if (state->chosen)
            break;
    }
    free(list);
}

unsigned minimum_feature_version(unsigned required)
{
    unsigned major = required >> 16, minor = required & 0xFFFF;
    return major <= 1 ? minor : major;
}

// The methods of the search-method list, each with the list's function name: true when it
// found a runtime library.
static bool search_configured_paths(search_state *state)
{
    return try_configured_runtime_paths(state);
}

static bool search_registered_runtimes(search_state *state)
{
    return search_runtime_keys(state, 0, 2);
}

// Methods 2 to 4: the development kits' keys, each with its path of the library inside a
// kit's home, which registry methods run later also join to a JavaHome.
static bool search_kits(search_state *state, const char *kit_path)
{
    state->kit_path = kit_path;
    return search_runtime_keys(state, 2, 2);
}

static bool search_kits_client(search_state *state)
{
    return search_kits(state, "jre\\bin\\client\\jvm.dll");
}

static bool search_kits_server(search_state *state)
{
    return search_kits(state, "jre\\bin\\server\\jvm.dll");
}

static bool search_kits_classic(search_state *state)
{
    return search_kits(state, "jre\\bin\\classic\\jvm.dll");
}

static bool search_java_keys(search_state *state)
{
    search_registry_tables(state, java_keys, sizeof java_keys / sizeof *java_keys, 1);
    return state->chosen;
}

static bool search_vendor_keys(search_state *state)
{
    search_registry_tables(state, vendor_keys, sizeof vendor_keys / sizeof *vendor_keys, 2);
    return state->chosen;
}

static bool search_java_home(search_state *state)
{
    try_java_home_variable(state);
    return state->chosen;
}

static bool search_bundled(search_state *state)
{
    try_bundled_runtime(state);
    return state->chosen;
}

static bool search_path_variable(search_state *state)
{
    try_path_variable(state);
    return state->chosen;
}

struct search_method {
    char digit;
    bool (*run)(search_state *state);
};

static const search_method search_methods[] = {
#define TREVALO_SEARCH_METHOD(digit, name, function, description) {digit, function},
    TREVALO_SEARCH_METHODS(TREVALO_SEARCH_METHOD)
#undef TREVALO_SEARCH_METHOD
};

// Puts the runtimes of passed in the order of their reasons, the most useful first; of equal
// use, in the order they were kept.
static void order_passed(passed_over *passed)
{
    for (int i = 1; i < passed->count; i++)
        for (int j = i; j > 0 && passed->runtimes[j - 1].reason > passed->runtimes[j].reason;
             j--) {
            passed_runtime swap = passed->runtimes[j];
            passed->runtimes[j] = passed->runtimes[j - 1];
            passed->runtimes[j - 1] = swap;
        }
}

bool find_runtime_library(const runtime_request &request, unsigned machine,
                          runtime_search_outcome *outcome)
{
    memset(outcome, 0, sizeof *outcome);
    search_state state = {};
    state.result = outcome->library;
    state.capacity = sizeof outcome->library;
    state.home = outcome->home;
    state.relative = join_text(request.runtime_paths, "");
    state.machine = machine;
    state.required = request.required_version;
    state.minimum = minimum_feature_version(request.required_version);
    state.maximum = request.max_java_version > 0 ? (unsigned)request.max_java_version : 0;
    state.passed = &outcome->passed;
    state.guarded = request.guarded;
    state.own_account = request.own_account;
    bool found = false;
    // A character of the order that names no method (which the builder refuses) is passed
    // over.
    for (const char *digit = request.search_order; *digit && !found; digit++) {
        trace("search method %c", *digit);
        state.chosen = false;
        for (const search_method &method : search_methods)
            if (method.digit == *digit)
                found = method.run(&state);
    }
    free(state.relative);
    if (found)
        trace("runtime chosen: %s, home %s", outcome->library, outcome->home);
    else
        outcome->library[0] = '\0';
    order_passed(&outcome->passed);
    outcome->found = found;
    return found;
}

bool runtime_opens_archive(const char *path, const char *home)
{
    // The length in the runtime's encoding; a path that has none there is given by its short
    // form, whose long form the runtime opens.
    char *converted = runtime_option_text(path);
    size_t bytes = strlen(converted ? converted : path);
    free(converted);
    java_version version;
    return bytes < RUNTIME_ARCHIVE_PATH_BYTES || path_attributes(path) != 0 ||
           (home && read_release_version(home, &version) && version.part[0] >= 9);
}
