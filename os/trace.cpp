// The trace. Portable: the file, the clock and the environment come through the system seam.
#include "os/trace.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "base/text.h"
#include "os/os.h"

enum { TRACE_LINE_SIZE = 4096 };

// Where the lines go: a file, or standard error; neither when the trace is off. Process-wide,
// as every layer traces and none is handed a trace to write to.
static os_file *trace_file;
static bool trace_to_standard_error;
static unsigned trace_start;

void start_trace(bool standard_error, char *(*private_folder)())
{
    char *target = environment_value("TREVALO_TRACE");
    if (target && strcmp(target, "-") == 0) {
        trace_to_standard_error = standard_error;
    } else if (target && target[0] && private_folder) {
        char *folder = private_folder();
        char *path = folder ? join_text(folder, "\\trace.txt") : nullptr;
        trace_file = path ? append_to_file(path) : nullptr;
        free(folder);
        free(path);
    } else if (target && target[0]) {
        trace_file = append_to_file(target);
    }
    free(target);
    trace_start = milliseconds();
}

// Writes the milliseconds ms right-aligned in six places and a blank; returns the length.
static int put_time(char *line, unsigned ms)
{
    char digits[10];
    int count = 0, n = 0;
    do
        digits[count++] = (char)('0' + ms % 10);
    while ((ms /= 10) != 0);
    for (int pad = 6 - count; pad > 0; pad--)
        line[n++] = ' ';
    while (count > 0)
        line[n++] = digits[--count];
    line[n++] = ' ';
    return n;
}

void trace(const char *format, ...)
{
    if (!trace_file && !trace_to_standard_error)
        return;
    char text[TRACE_LINE_SIZE], line[TRACE_LINE_SIZE];
    int n = put_time(line, milliseconds() - trace_start);
    va_list args;
    va_start(args, format);
    format_text(text, sizeof text, format, args);
    va_end(args);
    // Each control character in four places at most; the line keeps room for its end.
    for (const char *p = text; *p && n < TRACE_LINE_SIZE - 6; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 0x20 && c != 0x7F) {
            line[n++] = (char)c;
            continue;
        }
        line[n++] = '\\';
        if (c == '\r' || c == '\n' || c == '\t') {
            line[n++] = c == '\r' ? 'r' : c == '\n' ? 'n' : 't';
        } else {
            line[n++] = 'x';
            line[n++] = "0123456789ABCDEF"[c >> 4];
            line[n++] = "0123456789ABCDEF"[c & 15];
        }
    }
    memcpy(line + n, "\r\n", 2);
    if (trace_file)
        write_file(trace_file, line, (uint32_t)n + 2);
    else
        write_standard_error(line, (size_t)n + 2);
}
