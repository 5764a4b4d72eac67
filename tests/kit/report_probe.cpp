// Test helper: reports through the launcher's real reporting operations, in the run mode and
// with the texts given on the command line, so that a test can read what each sink received.
//
//   report_probe MODE SOURCE KIND TEXT [SUBJECT]
//     MODE    1 (message box) or 2 (event log)
//     SOURCE  event source name to register in mode 2, or "-" for none
//     KIND    info | error | last | reason | cut; "last" and "reason" first set the last error
//             to ERROR_ACCESS_DENIED; "cut" formats TEXT with SUBJECT into 16 bytes of a
//             buffer filled with 'x' beforehand, through the system's formatter, and prints
//             "[<buffer as a string>] <returned length>"
//     TEXT    the format; SUBJECT its "%s" value
#include <windows.h>
#include <shellapi.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/os.h"
#include "os/report.h"
#include "os/wide.h"
#include "service/service_system.h"

static int format_into(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = format_text(buffer, size, format, args);
    va_end(args);
    return n;
}

int main()
{
    // The arguments in UTF-8, as the launcher has its texts.
    int argc;
    wchar_t **wide_argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    char **argv = (char **)calloc((size_t)argc + 1, sizeof(char *));
    for (int i = 0; i < argc; i++)
        argv[i] = from_wide(wide_argv[i]);
    if (argc < 5)
        return 2;
    // Mode 2 sends the reports to the event log, recorded nowhere when no source is named.
    if (atoi(argv[1]) == 2)
        open_event_log(strcmp(argv[2], "-") != 0 ? argv[2] : nullptr);
    const char *kind = argv[3], *text = argv[4], *subject = argc > 5 ? argv[5] : "";

    if (strcmp(kind, "cut") == 0) {
        char buffer[32];
        memset(buffer, 'x', sizeof buffer - 1);
        buffer[sizeof buffer - 1] = '\0';
        int n = format_into(buffer, 16, text, subject);
        printf("[%s] %d\n", buffer, n);
    } else if (strcmp(kind, "info") == 0) {
        report_info(text, subject);
    } else if (strcmp(kind, "error") == 0) {
        report_error(text, subject);
    } else if (strcmp(kind, "last") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        report_last_error();
    } else if (strcmp(kind, "reason") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        report_error_with_reason(text, subject);
    } else {
        return 2;
    }
    close_event_log();
    return 0;
}
