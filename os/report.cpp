// Message reporting through the installed sink. Portable: formatting and the system's error
// texts come through the system seam.
#include "os/report.h"

#include <stdarg.h>

#include "base/messages.h"
#include "os/os.h"

enum {
    MESSAGE_SIZE = 8192,
    REASON_SIZE = 4000,
    REASON_MESSAGE_SIZE = 4096,
};

static message_sink sink = show_message_box;

void set_message_sink(message_sink new_sink)
{
    sink = new_sink ? new_sink : show_message_box;
}

void emit_message(bool error, const char *text)
{
    sink(error, text);
}

static void format_bounded(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    format_text(buffer, size, format, args);
    va_end(args);
}

void report_info(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    format_text(message, sizeof message, format, args);
    va_end(args);
    emit_message(false, message);
}

void report_error(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    format_text(message, sizeof message, format, args);
    va_end(args);
    emit_message(true, message);
}

void report_last_error()
{
    unsigned code = last_error();
    char message[MESSAGE_SIZE];
    system_error_text(code, message, sizeof message);
    emit_message(true, message);
}

void report_error_with_reason(const char *format, ...)
{
    // The last error first, before formatting can change it.
    unsigned code = last_error();
    char reason[REASON_SIZE];
    system_error_text(code, reason, sizeof reason);

    char message[REASON_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    format_text(message, sizeof message, format, args);
    va_end(args);

    char combined[MESSAGE_SIZE];
    format_bounded(combined, sizeof combined, "%s\n\nReason: %s", message, reason);
    emit_message(true, combined);
}

void report_out_of_memory()
{
    emit_message(true, MSG_OUT_OF_MEMORY);
}
