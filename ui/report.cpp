// Message reporting through a message box or the event log.
#include "ui/report.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

#include "launcher/startup.h"
#include "service/service.h"

enum {
    MESSAGE_SIZE = 8192,
    REASON_SIZE = 4000,
    REASON_MESSAGE_SIZE = 4096,
};

// Event IDs of the launcher's message table: informational and error severity.
static const DWORD EVENT_ID_INFO = 0x40000001;
static const DWORD EVENT_ID_ERROR = 0xC0000002;

// Formats into buffer, cut at its end. The system C runtime's _vsnprintf leaves no terminator
// when the text does not fit, so the last byte is always set here. (It is used rather than
// vsnprintf, whose C99 version would bring a formatter of its own into the stub.)
int format_text(char *buffer, size_t size, const char *format, va_list args)
{
    int n = _vsnprintf(buffer, size - 1, format, args);
    buffer[size - 1] = '\0';
    return n < 0 || (size_t)n >= size ? (int)size - 1 : n;
}

static void format_bounded(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    format_text(buffer, size, format, args);
    va_end(args);
}

// The system's text for code, or a substitute naming the code when the system has none.
static void system_error_text(DWORD code, char *buffer, DWORD size)
{
    // 0x1200 = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS; 0x0400 is the
    // user's default language.
    DWORD n = FormatMessageA(0x1200, nullptr, code, 0x0400, buffer, size, nullptr);
    if (n == 0)
        format_bounded(buffer, size, "Unknown error %lu.\r\n", (unsigned long)code);
}

void emit_message(bool error, const char *text)
{
    if (run_mode == RUN_MODE_SERVICE) {
        if (!event_source)
            return;
        ReportEventA((HANDLE)event_source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                     error ? EVENT_ID_ERROR : EVENT_ID_INFO, nullptr, 1, 0, &text, nullptr);
        return;
    }
    if (error)
        MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    else
        MessageBoxA(nullptr, text, "Information", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
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
    DWORD code = GetLastError();
    char message[MESSAGE_SIZE];
    system_error_text(code, message, sizeof message);
    emit_message(true, message);
}

void report_error_with_reason(const char *format, ...)
{
    // The last error first, before formatting can change it.
    DWORD code = GetLastError();
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
