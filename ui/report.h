// Reporting: the only way the launcher shows or records a message. The sink follows the run
// mode: a message box for an interactive launch, the event log for a service run.
#pragma once

#include <stdarg.h>
#include <stddef.h>

// Each format is a printf format (a message setting or a fixed text); the finished text is
// cut at the buffer's limit, never written past it, and never used as a format again.
void report_info(const char *format, ...);
void report_error(const char *format, ...);

// The system's text for the calling thread's last error.
void report_last_error();

// The formatted message, two line feeds, "Reason: " and the system's text for the last error
// as it stood when this was called.
void report_error_with_reason(const char *format, ...);

// Formats into buffer (size bytes), cut at its end and always terminated; returns the length
// of the text in buffer.
int format_text(char *buffer, size_t size, const char *format, va_list args);

// Sends a finished text to the sink of the run mode; error selects the error caption, icon
// and event type.
void emit_message(bool error, const char *text);
