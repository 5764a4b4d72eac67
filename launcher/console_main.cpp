// The entry point of the console launcher: the application has the console's standard
// streams, and every message goes to standard error as one line, so that nothing waits for
// a click in a script or a build.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "base/command_line.h"
#include "base/memory.h"
#include "launcher/launch.h"
#include "os/os.h"
#include "os/report.h"
#include "os/wide.h"

// "<caption>: <text>" on one line: every run of line breaks in text becomes one blank. A text
// that begins with its caption's word ("Error writing ...") is not given it twice.
static void write_message_line(bool error, const char *text)
{
    const char *caption = error ? "Error: " : "Information: ";
    size_t length = strlen(caption);
    if (strncmp(text, caption, length - 2) == 0) {
        caption = "";
        length = 0;
    }
    char *line = (char *)must_alloc(length + strlen(text) + 3);
    memcpy(line, caption, length);
    for (const char *p = text; *p; p++) {
        if (*p != '\r' && *p != '\n')
            line[length++] = *p;
        else if (p[1] && p[1] != '\r' && p[1] != '\n')
            line[length++] = ' ';
    }
    memcpy(line + length, "\r\n", 2);
    write_standard_error(line, length + 2);
    free(line);
}

// The program's entry point, under the name the linker gives a console program's entry (see
// gui_main.cpp).
extern "C" ENTRY_POINT void mainCRTStartup()
{
    _pei386_runtime_relocator();
    __set_app_type(CONSOLE_PROGRAM);
    set_message_sink(write_message_line);
    exit(launch(skip_program_name(from_wide(GetCommandLineW())), true));
}
