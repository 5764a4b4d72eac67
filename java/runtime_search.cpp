// Finding the Java runtime library. Portable: the registry and the files are reached through
// the system seam.
#include "java/runtime_search.h"

#include <stdlib.h>
#include <string.h>

#include "base/setting_codec.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"

static const char *const runtime_keys[] = {
    "Software\\JavaSoft\\Java Runtime Environment",
    "Software\\IBM\\Java2 Runtime Environment",
    "Software\\JavaSoft\\Java Development Kit",
    "Software\\IBM\\Java Development Kit",
};

// What one search carries from method to method.
struct search_state {
    char *result;
    size_t capacity;
    char *home;           // RUNTIME_HOME_SIZE bytes
    char *relative;       // setting 1040 as the registry methods join it to a JavaHome
    const char *kit_path; // the library's path inside a kit's home; null until a kit method ran
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

// Method 0: the entries of setting 1040, in order. Once it has run, the registry methods join
// only the list up to the end of its first entry to a JavaHome.
static bool try_configured_runtime_paths(search_state *state)
{
    if (!state->relative[0])
        return false;
    char *cursor = nullptr;
    while (char *entry = next_token(state->relative, ";", &cursor)) {
        if (file_exists(entry) && join_candidate(state->result, state->capacity, entry, "", ""))
            return true;
    }
    return false;
}

// The per-digit version test: the first character of the name against the required major
// version, its third against the lowest four bits of the required minor version, each on its
// own. A name of fewer than three characters has no minor digit and is refused.
static bool passes_version_test(const char *version_name)
{
    if (strlen(version_name) < 3)
        return false;
    unsigned required = setting_hex(settings.java_version_text);
    int major = version_name[0] - '0';
    int minor = version_name[2] - '0';
    return major >= (int)(required >> 16) && minor >= (int)(required & 0xF);
}

// Tests the version sub-key version_name of the table key in key_path (a KEY_PATH_SIZE buffer,
// to which "\" and the name are appended) and looks for its runtime library.
static bool check_runtime_version_key(search_state *state, char *key_path,
                                      const char *version_name)
{
    if (!passes_version_test(version_name))
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
    if (file_exists(result))
        return true;
    // A registered library that is missing disqualifies the version.
    if (registered == 0 || !home[0])
        return false;
    if (state->relative[0] && join_candidate(result, capacity, home, "\\", state->relative) &&
        file_exists(result))
        return true;
    return state->kit_path && join_candidate(result, capacity, home, "\\", state->kit_path) &&
           file_exists(result);
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
        for (unsigned index = 0; enum_registry_subkey(key, index, version, sizeof version);
             index++) {
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

bool find_runtime_library(char *result, size_t capacity, char *home)
{
    static const char *const kit_paths[] = {
        "jre\\bin\\client\\jvm.dll",
        "jre\\bin\\server\\jvm.dll",
        "jre\\bin\\classic\\jvm.dll",
    };
    home[0] = '\0';
    search_state state = {result, capacity, home, join_text(settings.runtime_paths, ""),
                          nullptr};
    bool found = false;
    for (const char *method = settings.search_order; *method && !found; method++) {
        switch (*method) {
        case '0':
            found = try_configured_runtime_paths(&state);
            break;
        case '1':
            found = search_runtime_keys(&state, 0, 2);
            break;
        case '2':
        case '3':
        case '4':
            state.kit_path = kit_paths[*method - '2'];
            found = search_runtime_keys(&state, 2, 2);
            break;
        default:
            break;
        }
    }
    free(state.relative);
    return found;
}
