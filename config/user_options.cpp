// The user's options file. Portable: read through the system seam.
#include "config/user_options.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/path.h"
#include "base/text.h"
#include "base/unicode.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

// A file of options is a few lines; one far larger is no options file.
enum { USER_OPTIONS_MOST = 65536 };

void free_user_options(user_option_lines *options)
{
    for (int i = 0; i < options->count; i++)
        free(options->lines[i]);
    free(options->lines);
    options->count = 0;
    options->lines = nullptr;
}

int parse_user_options(const char *bytes, size_t size, user_option_lines *options,
                       const char **problem)
{
    options->count = 0;
    options->lines = nullptr;
    if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        bytes += 3;
        size -= 3;
    }
    const char *end = bytes + size;
    int number = 0;
    for (const char *line = bytes; line < end;) {
        number++;
        const char *stop = line;
        while (stop < end && *stop != '\n' && *stop != '\r')
            stop++;
        const char *next = stop < end && *stop == '\r' && stop + 1 < end && stop[1] == '\n'
                               ? stop + 2
                               : stop + (stop < end);
        // The blanks around the option are dropped; a blank line or a comment is no option.
        while (line < stop && (*line == ' ' || *line == '\t'))
            line++;
        while (stop > line && (stop[-1] == ' ' || stop[-1] == '\t'))
            stop--;
        size_t length = (size_t)(stop - line);
        *problem = !is_valid_utf8(line, length) || memchr(line, 0, length)
                       ? "the line is not UTF-8 text"
                   : line < stop && *line != '#' && *line != '-'
                       ? "a Java option starts with \"-\""
                       : nullptr;
        if (*problem) {
            free_user_options(options);
            return number;
        }
        if (line < stop && *line == '-') {
            options->lines = (char **)must_realloc(options->lines,
                                                   ((size_t)options->count + 1) * sizeof(char *));
            options->lines[options->count++] = copy_text(line, length);
        }
        line = next;
    }
    return 0;
}

void read_user_options(const char *name, user_option_lines *options, char **path)
{
    options->count = 0;
    options->lines = nullptr;
    *path = nullptr;
    if (!name[0])
        return;
    char *folder = environment_value("APPDATA");
    if (folder && folder[0])
        *path = join_path(folder, name);
    free(folder);
    if (!*path) {
        trace("user's options file %s: no application data folder", name);
        return;
    }
    int kind = path_attributes(*path);
    if (kind < 0) {
        trace("user's options file %s: none", *path);
        return;
    }
    char *bytes = (char *)must_alloc(USER_OPTIONS_MOST + 1);
    int size = kind == 0 ? read_file_part(*path, 0, bytes, USER_OPTIONS_MOST + 1) : -1;
    if (kind == 1)
        set_last_error(5); // ERROR_ACCESS_DENIED: a folder of that name
    if (size < 0) {
        report_error_with_reason(MSG_USER_OPTIONS_UNREADABLE, *path);
    } else if (size > USER_OPTIONS_MOST) {
        char *subject = join_text(*path, ": the file is larger than 64 KB");
        report_error(MSG_USER_OPTIONS_MALFORMED, subject);
        free(subject);
    } else {
        const char *problem;
        int line = parse_user_options(bytes, (size_t)size, options, &problem);
        if (line) {
            char digits[12];
            char *where = join_text(*path, ", line ", decimal_text(line, digits));
            char *subject = join_text(where, ": ", problem);
            report_error(MSG_USER_OPTIONS_MALFORMED, subject);
            free(where);
            free(subject);
        }
        trace("user's options file %s: %d options", *path, options->count);
    }
    free(bytes);
}
