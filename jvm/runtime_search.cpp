// Finding the Java runtime library.
#include "jvm/runtime_search.h"

#include <string.h>

#include "jvm/platform.h"
#include "launcher/setting_codec.h"
#include "launcher/settings.h"

char runtime_home[RUNTIME_HOME_SIZE];
const char *kit_runtime_path;

static const char *const runtime_keys[] = {
    "Software\\JavaSoft\\Java Runtime Environment",
    "Software\\IBM\\Java2 Runtime Environment",
    "Software\\JavaSoft\\Java Development Kit",
    "Software\\IBM\\Java Development Kit",
};

char *next_token(char *text, const char *separators, char **cursor)
{
    if (!text || (*cursor && !**cursor)) {
        *cursor = nullptr;
        return nullptr;
    }
    char *start = *cursor ? *cursor : text;
    start += strspn(start, separators);
    if (!*start) {
        *cursor = nullptr;
        return nullptr;
    }
    char *end = start + strcspn(start, separators);
    if (*end) {
        *end = '\0';
        *cursor = end + 1;
    } else {
        *cursor = end;
    }
    return start;
}

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

bool try_configured_runtime_paths(char *result, size_t capacity)
{
    if (!settings.runtime_paths[0])
        return false;
    char *cursor = nullptr;
    while (char *entry = next_token(settings.runtime_paths, ";", &cursor)) {
        if (file_exists(entry) && join_candidate(result, capacity, entry, "", ""))
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

bool check_runtime_version_key(char *key_path, const char *version_name, char *result,
                               size_t capacity)
{
    if (!passes_version_test(version_name))
        return false;
    size_t key_length = strlen(key_path);
    if (key_length + 1 + strlen(version_name) >= KEY_PATH_SIZE)
        return false;
    key_path[key_length] = '\\';
    strcpy(key_path + key_length + 1, version_name);

    memset(runtime_home, 0, sizeof runtime_home);
    query_registry_text(key_path, "JavaHome", runtime_home, sizeof runtime_home);

    memset(result, 0, capacity);
    int registered = query_registry_text(key_path, "RuntimeLib", result, capacity);
    if (file_exists(result))
        return true;
    // A registered library that is missing disqualifies the version.
    if (registered == 0 || !runtime_home[0])
        return false;
    if (settings.runtime_paths[0] &&
        join_candidate(result, capacity, runtime_home, "\\", settings.runtime_paths) &&
        file_exists(result))
        return true;
    return kit_runtime_path &&
           join_candidate(result, capacity, runtime_home, "\\", kit_runtime_path) &&
           file_exists(result);
}

bool search_runtime_keys(char *result, size_t capacity, int first_row, int row_count)
{
    char key_path[KEY_PATH_SIZE];
    char version[VERSION_NAME_SIZE];
    for (int row = first_row; row < first_row + row_count; row++) {
        strcpy(key_path, runtime_keys[row]);
        if (query_registry_text(key_path, "CurrentVersion", version, sizeof version) == 0 &&
            check_runtime_version_key(key_path, version, result, capacity))
            return true;

        registry_key *key = open_registry_key(runtime_keys[row]);
        if (!key)
            continue;
        for (unsigned index = 0; enum_registry_subkey(key, index, version, sizeof version);
             index++) {
            strcpy(key_path, runtime_keys[row]);
            if (check_runtime_version_key(key_path, version, result, capacity)) {
                close_registry_key(key);
                return true;
            }
        }
        close_registry_key(key);
    }
    return false;
}

bool find_runtime_library(char *result, size_t capacity)
{
    static const char *const kit_paths[] = {
        "jre\\bin\\client\\jvm.dll",
        "jre\\bin\\server\\jvm.dll",
        "jre\\bin\\classic\\jvm.dll",
    };
    for (const char *method = settings.search_order; *method; method++) {
        bool found = false;
        switch (*method) {
        case '0':
            found = try_configured_runtime_paths(result, capacity);
            break;
        case '1':
            found = search_runtime_keys(result, capacity, 0, 2);
            break;
        case '2':
        case '3':
        case '4':
            kit_runtime_path = kit_paths[*method - '2'];
            found = search_runtime_keys(result, capacity, 2, 2);
            break;
        default:
            break;
        }
        if (found)
            return true;
    }
    return false;
}
