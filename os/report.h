// Reporting: the only way the launcher shows or records a message. Messages go to a message
// box unless a sink is installed (a service run installs the event log).
#pragma once

// Each message is a message setting or a fixed text in which "%s" stands for subject and
// "%%" for a percent sign; nothing else in it has a meaning. The finished text is cut at the
// buffer's limit (8191 characters), never written past it.
void report_info(const char *message, const char *subject = "");
void report_error(const char *message, const char *subject = "");

// The system's text for the calling thread's last error.
void report_last_error();

// The message (cut at 4095 characters), two line feeds, "Reason: " and the system's text for
// the last error as it stood when this was called.
void report_error_with_reason(const char *message, const char *subject = "");

// The message (cut at 4095 characters), two line feeds and detail.
void report_error_with_detail(const char *message, const char *subject, const char *detail);

// The message (with no subject), two line feeds and detail (none when empty); then, when
// address is not empty, the offer to download from it: with the message box, a Yes/No
// question below the text whose Yes opens the address; with another sink, a line naming it.
void report_error_with_offer(const char *message, const char *detail, const char *address);

// Where finished texts go; error selects the error caption, icon or event type.
typedef void (*message_sink)(bool error, const char *text);

// Installs sink for every later report; null restores the message box.
void set_message_sink(message_sink sink);

// True when reports go to message boxes (no other sink installed).
bool reports_in_boxes();

// Whether reports of a Java exception carry its stack trace: on for a sink that keeps long
// records (the event log) and where no standard error shows the trace; off by default.
void set_report_stack_traces(bool on);
bool reports_stack_traces();

// Sends a finished text to the installed sink.
void emit_message(bool error, const char *text);

// Reports that memory ran out; the allocation failure hook of the launcher's programs.
void report_out_of_memory();
