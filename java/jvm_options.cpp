// Building the JVM options. Portable: folders are listed through the system seam.
#include "java/jvm_options.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/command_line.h"
#include "base/memory.h"
#include "base/messages.h"
#include "base/path.h"
#include "base/string_list.h"
#include "base/text.h"
#include "java/runtime_search.h"
#include "os/os.h"
#include "os/report.h"

static bool has_archive_suffix(const char *name)
{
    size_t n = strlen(name);
    if (n < 4)
        return false;
    const char *suffix = name + n - 4;
    return strcasecmp(suffix, ".jar") == 0 || strcasecmp(suffix, ".zip") == 0;
}

// Where the class path's entries are collected: the list they go to, and the current directory
// (null when it cannot be read) that relative entries are made absolute against.
struct class_path_builder {
    jvm_option_list *list;
    const char *directory;
    const run_guard *guard;
    const char *runtime_home;
};

// Appends path to the class path, made absolute against the current directory (the launcher's
// folder, or the working directory entered early) when relative: the virtual machine opens
// class path entries when it first needs them, after the application may have entered another
// directory (return_to_startup_dir). An entry whose path holds ';' is given by its short form,
// which has none; false (reported) when it has no short form, and when the runtime at the
// builder's runtime_home cannot open an archive by its path.
static bool add_class_path_entry(class_path_builder &builder, const char *path)
{
    char *entry = builder.directory && !is_absolute_path(path)
                      ? join_path(builder.directory, path) : must_copy(path);
    if (strchr(entry, ';')) {
        char *short_form = short_path_name(entry);
        if (!short_form || strchr(short_form, ';')) {
            free(short_form);
            report_error(MSG_CLASS_PATH_SEPARATOR, entry);
            free(entry);
            return false;
        }
        free(entry);
        entry = short_form;
    } else if (!runtime_opens_archive(entry, builder.runtime_home)) {
        report_error(MSG_CLASS_PATH_TOO_LONG, entry);
        free(entry);
        return false;
    }
    jvm_option_list *list = builder.list;
    list->class_path = (char **)must_realloc(list->class_path,
                                             ((size_t)list->class_path_count + 1) * sizeof(char *));
    list->class_path[list->class_path_count++] = entry;
    return true;
}

// Adds every ".jar" and ".zip" file below directory to the class path, at any depth and in the
// order the file system lists them; for a wildcard ("lib\*", as the java command reads it),
// only the ".jar" files of directory itself. A folder that is a link or junction is not
// followed: it may lead back up (a loop) or anywhere else. One trailing "\" or "/" of
// directory is removed in place. Returns false after a reported failure, which names the
// folder.
static bool add_directory_archives(class_path_builder &builder, char *directory,
                                   bool wildcard = false)
{
    size_t length = strlen(directory);
    if (length > 0 && is_path_separator(directory[length - 1]))
        directory[length - 1] = '\0';
    // A guarded run lists only folders no other account may change, held open until the
    // process ends: the archives listed are the ones the virtual machine reads.
    const run_guard &guard = *builder.guard;
    if (guard.guarded && hold_private_directory(directory, guard.own_account) != FOLDER_HELD) {
        report_error(folder_refusal(guard.own_account), directory);
        return false;
    }

    directory_listing *listing = nullptr;
    directory_entry entry;
    listing_step step = open_directory_listing(directory, &listing, &entry);
    if (step == LISTING_END)
        return true;
    if (step == LISTING_FAILED) {
        report_error_with_reason(MSG_LISTING_FAILED, directory);
        return false;
    }
    bool ok = true;
    while (ok) {
        bool dots = strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0;
        char *path = join_path(directory, entry.name);
        if (entry.is_directory) {
            if (!dots && !wildcard && !entry.is_link)
                ok = add_directory_archives(builder, path);
        } else if (has_archive_suffix(entry.name) &&
                   (!wildcard || strcasecmp(entry.name + strlen(entry.name) - 4, ".jar") == 0)) {
            ok = add_class_path_entry(builder, path);
        }
        free(path);
        if (!ok)
            break;
        step = next_directory_entry(listing, &entry);
        if (step == LISTING_END)
            break;
        if (step == LISTING_FAILED) {
            report_error_with_reason(MSG_LISTING_NEXT_FAILED, directory);
            ok = false;
        }
    }
    close_directory_listing(listing);
    return ok;
}

// Appends value (may be null) without one leading and one trailing double quote.
static void append_unquoted(string_list *list, const char *value)
{
    if (!value)
        return;
    size_t length = strlen(value);
    if (length > 0 && value[0] == '"') {
        value++;
        length--;
    }
    if (length > 0 && value[length - 1] == '"')
        length--;
    if (length == 0)
        return;
    // The value is appended whole, however long: a cut value would be a wrong option.
    char *copy = copy_text(value, length);
    string_list_append(list, copy);
    free(copy);
}

// Appends the first n characters of text.
static void append_part(string_list *list, const char *text, size_t n)
{
    char *part = copy_text(text, n);
    string_list_append(list, part);
    free(part);
}

char *expand_variables(const char *text, const char *runtime_home)
{
    string_list result = {};
    const char *p = text;
    while (const char *open = strchr(p, '%')) {
        append_part(&result, p, (size_t)(open - p));
        if (open[1] == '%') {
            // "%%" writes a percent sign, as in "-XX:ErrorFile=hs_err_%%p.log".
            string_list_append(&result, "%");
            p = open + 2;
            continue;
        }
        const char *close = strchr(open + 1, '%');
        size_t n = close ? (size_t)(close - open - 1) : 0;
        if (!close || strcspn(open + 1, " \t=") < n) {
            // No partner, or the text up to it cannot be a variable's name (names hold no
            // blank and no '='): a lone '%', dropped, and nothing after it is swallowed.
            p = open + 1;
            continue;
        }
        char *name = copy_text(open + 1, n);
        char *path = nullptr;
        if (strcmp(name, "JAVA_HOME") == 0) {
            string_list_append(&result, runtime_home);
        } else if ((strcmp(name, "LAUNCHER_DIR") == 0 || strcmp(name, "LAUNCHER_PATH") == 0) &&
                   (path = executable_path()) != nullptr) {
            // The launcher's folder (without a trailing backslash), or its full path.
            char *folder = name[9] == 'D' ? path_folder(path) : nullptr;
            string_list_append(&result, folder ? folder : path);
            free(folder);
        } else {
            char *value = environment_value(name);
            append_unquoted(&result, value);
            free(value);
        }
        free(path);
        free(name);
        p = close + 1;
    }
    string_list_append(&result, p);
    return result.text ? result.text : must_copy("");
}

// Appends the n bytes of part in the runtime's encoding, or its short form when it has none
// there; false when neither will do.
static bool append_runtime_part(string_list *list, const char *part, size_t n)
{
    char *text = copy_text(part, n);
    char *converted = runtime_option_text(text);
    if (!converted) {
        char *short_form = short_path_name(text);
        converted = short_form ? runtime_option_text(short_form) : nullptr;
        free(short_form);
    }
    free(text);
    if (converted)
        string_list_append(list, converted);
    free(converted);
    return converted != nullptr;
}

// option in the runtime's encoding: as it is, or with each ";"-separated path of its value
// (after the first "=", or the whole option) that needs it by its short form. Null when that
// cannot make it fit.
char *runtime_option(const char *option)
{
    char *converted = runtime_option_text(option);
    if (converted)
        return converted;
    // "-Dx=C:\Users\Жук\a;b": the name as it is, each path on its own.
    string_list result = {};
    const char *equals = strchr(option, '=');
    const char *value = equals ? equals + 1 : option;
    bool ok = value == option || append_runtime_part(&result, option, (size_t)(value - option));
    while (ok) {
        size_t n = strcspn(value, ";");
        ok = append_runtime_part(&result, value, n);
        if (!ok || !value[n])
            break;
        string_list_append(&result, ";");
        value += n + 1;
    }
    if (ok)
        return result.text ? result.text : must_copy("");
    free(result.text);
    return nullptr;
}

bool class_path_option(const jvm_option_list &list, bool for_runtime, char **option)
{
    *option = nullptr;
    if (list.class_path_count == 0)
        return true;
    string_list text = {};
    string_list_append(&text, "-Djava.class.path=");
    int start = text.length;
    for (int i = 0; i < list.class_path_count; i++) {
        if (i > 0)
            string_list_append(&text, ";");
        string_list_append(&text, list.class_path[i]);
    }
    char *converted = for_runtime ? runtime_option_text(text.text) : nullptr;
    if (!for_runtime || converted) {
        *option = converted ? converted : text.text;
        if (converted)
            free(text.text);
        return true;
    }
    // Some entry has characters outside the code page: each entry on its own.
    text.length = start;
    text.text[start] = '\0';
    for (int i = 0; i < list.class_path_count; i++) {
        const char *entry = list.class_path[i];
        int before = text.length;
        if (before > start)
            string_list_append(&text, ";");
        if (!append_runtime_part(&text, entry, strlen(entry))) {
            // The separator undone. An entry that is not there is passed over, as the java
            // command passes over a missing entry; one that is there cannot be given.
            text.length = before;
            text.text[before] = '\0';
            if (path_attributes(entry) != -1) {
                report_error(MSG_OPTION_NOT_REPRESENTABLE, entry);
                free(text.text);
                return false;
            }
        }
    }
    *option = text.text;
    return true;
}

// Adds the entries of class_path to the class path of builder, each folder followed by the
// archives below it when expand_folders; false after a reported failure. Only what the
// configuration's author wrote is expanded: the configured entries (expand_folders), each on
// its own. Paths the launcher makes (the unpacked files, the archives listed from a folder)
// are taken as they are, since a folder may hold a '%' (a user named "50%" has one in the
// temporary folder's path).
static bool add_class_path(class_path_builder &builder, const char *class_path,
                           bool expand_folders, const char *runtime_home)
{
    char *entries = must_copy(class_path);
    char *cursor = nullptr;
    bool ok = true;
    while (char *token = next_token(entries, ";", &cursor)) {
        // Expanded first: "%LAUNCHER_DIR%\lib\*" is a folder's archives as "lib\*" is, also
        // in a folder whose name holds '%' (written "%%").
        char *entry = expand_folders ? expand_variables(token, runtime_home) : must_copy(token);
        size_t length = strlen(entry);
        if (expand_folders && length > 0 && entry[length - 1] == '*' &&
            (length == 1 || is_path_separator(entry[length - 2]))) {
            // "lib\*": the folder's archives stand in its place; a folder that is not there
            // gives none, as with the java command.
            entry[length - 1] = '\0';
            char *folder = length == 1 ? (char *)"." : entry;
            ok = path_attributes(folder) != 1 || add_directory_archives(builder, folder, true);
        } else if (expand_folders && strchr(entry, ';') && path_attributes(entry) < 0) {
            // A variable may hold a list of its own ("%CLASSPATH%"): its entries are entries,
            // unless the whole names a path (a folder whose name holds ';'), taken as they
            // are.
            char *cursor_inner = nullptr;
            while (char *part = ok ? next_token(entry, ";", &cursor_inner) : nullptr)
                ok = add_class_path_entry(builder, part);
        } else if (length > 0) {
            ok = add_class_path_entry(builder, entry) &&
                 // A folder named through a variable stays as it is, not listed.
                 (!expand_folders || strchr(token, '%') || path_attributes(entry) != 1 ||
                  add_directory_archives(builder, entry));
        }
        free(entry);
        if (!ok)
            break;
    }
    free(entries);
    return ok;
}

bool build_jvm_options(const char *options, const char *class_path, bool expand_folders,
                       const char *runtime_home, jvm_option_list *list, const run_guard &guard,
                       const user_option_lines *user)
{
    *list = {};
    char *directory = current_directory();
    class_path_builder builder = {list, directory, &guard, runtime_home};
    bool added = add_class_path(builder, class_path, expand_folders, runtime_home);
    free(directory);
    if (!added) {
        free_jvm_options(list);
        return false;
    }
    // Split first, then expand inside each option: a value with a blank ("-Dx=%JAVA_HOME%"
    // with the runtime under "C:\Program Files") stays in its option.
    int count = 0;
    char **vector = nullptr;
    split_command_line(options, &count, &vector, false);
    int user_count = user ? user->count : 0;
    list->options = (char **)must_alloc(((size_t)count + user_count + 1) * sizeof(char *));
    int kept = 0;
    // An empty piece (two blanks in a row, a blank at either end, blanks alone, a variable
    // with no value) is no option: a virtual machine would refuse it ("Unrecognized option: ")
    // and not start.
    for (int i = 0; i < count; i++) {
        char *expanded = expand_variables(vector[i], runtime_home);
        free(vector[i]);
        if (expanded[0])
            list->options[kept++] = expanded;
        else
            free(expanded);
    }
    free(vector);
    list->configured = kept;
    for (int i = 0; i < user_count; i++)
        list->options[kept++] = expand_variables(user->lines[i], runtime_home);
    list->from_user = user_count;
    list->count = kept;
    return true;
}

void append_jvm_option(jvm_option_list *list, char *option)
{
    list->options =
        (char **)must_realloc(list->options, ((size_t)list->count + 1) * sizeof(char *));
    list->options[list->count++] = option;
}

const char *last_jvm_option(const jvm_option_list &list, const char *prefix, int *index)
{
    size_t n = strlen(prefix);
    for (int i = list.count - 1; i >= 0; i--)
        if (strncmp(list.options[i], prefix, n) == 0) {
            *index = i;
            return list.options[i] + n;
        }
    return nullptr;
}

void free_jvm_options(jvm_option_list *list)
{
    for (int i = 0; i < list->count; i++)
        free(list->options[i]);
    free(list->options);
    for (int i = 0; i < list->class_path_count; i++)
        free(list->class_path[i]);
    free(list->class_path);
    *list = {};
}
