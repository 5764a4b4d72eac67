// Reporting: the only way the launcher shows or records a message. Messages go to a message
// box unless a sink is installed (a service run installs the event log).
#pragma once

// Each format is a printf format (a message setting or a fixed text); the finished text is
// cut at the buffer's limit, never written past it, and never used as a format again.
void report_info(const char *format, ...);
void report_error(const char *format, ...);

// The system's text for the calling thread's last error.
void report_last_error();

// The formatted message, two line feeds, "Reason: " and the system's text for the last error
// as it stood when this was called.
void report_error_with_reason(const char *format, ...);

// Where finished texts go; error selects the error caption, icon or event type.
typedef void (*message_sink)(bool error, const char *text);

// Installs sink for every later report; null restores the message box.
void set_message_sink(message_sink sink);

// Sends a finished text to the installed sink.
void emit_message(bool error, const char *text);

// Reports that memory ran out; the allocation failure hook of the launcher's programs.
void report_out_of_memory();
