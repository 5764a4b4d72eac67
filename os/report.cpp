// Message reporting through the installed sink. Portable: the system's error texts come
// through the system seam.
#include "os/report.h"

#include "base/messages.h"
#include "base/setting_codec.h"
#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

enum {
    MESSAGE_SIZE = 8192,
    REASON_SIZE = 4000,
    DETAILED_MESSAGE_SIZE = 4096,
};

// Where reports go (the entry point chooses; null for the message box, so that the launcher
// has no initialised writable data for it) and whether they carry stack traces: process-wide,
// as every layer reports and the virtual machine's hooks report too, with no pointer of the
// launcher's.
static message_sink sink;
static bool stack_traces;

void set_report_stack_traces(bool on)
{
    stack_traces = on;
}

bool reports_stack_traces()
{
    return stack_traces;
}

void set_message_sink(message_sink new_sink)
{
    sink = new_sink;
}

bool reports_in_boxes()
{
    return !sink || sink == show_message_box;
}

void emit_message(bool error, const char *text)
{
    trace("reported: %s", text);
    (sink ? sink : show_message_box)(error, text);
}

static void report(bool error, const char *message, const char *subject)
{
    char text[MESSAGE_SIZE];
    fill_message(text, sizeof text, message, subject);
    emit_message(error, text);
}

void report_info(const char *message, const char *subject)
{
    report(false, message, subject);
}

void report_error(const char *message, const char *subject)
{
    report(true, message, subject);
}

void report_last_error()
{
    unsigned code = last_error();
    char text[MESSAGE_SIZE];
    system_error_text(code, text, sizeof text);
    emit_message(true, text);
}

static void report_with(const char *message, const char *subject, const char *label,
                        const char *detail)
{
    char text[MESSAGE_SIZE];
    size_t n = fill_message(text, DETAILED_MESSAGE_SIZE, message, subject);
    n += fill_message(text + n, sizeof text - n, "\n\n%s", label);
    fill_message(text + n, sizeof text - n, "%s", detail);
    emit_message(true, text);
}

void report_error_with_reason(const char *message, const char *subject)
{
    // The last error first, before anything can change it.
    unsigned code = last_error();
    char reason[REASON_SIZE];
    system_error_text(code, reason, sizeof reason);
    report_with(message, subject, "Reason: ", reason);
}

void report_error_with_detail(const char *message, const char *subject, const char *detail)
{
    report_with(message, subject, "", detail);
}

void report_error_with_offer(const char *message, const char *detail, const char *address)
{
    char text[MESSAGE_SIZE];
    size_t n = fill_message(text, DETAILED_MESSAGE_SIZE, message, "");
    if (detail[0])
        n += fill_message(text + n, sizeof text - n, "\n\n%s", detail);
    // Only a web address is offered: any other text in a launcher's resources (a program, a
    // script, a "file:" address) would be run by the shell, elevated in an elevated run.
    if (!is_web_address(address)) {
        emit_message(true, text);
        return;
    }
    bool ask = !sink || sink == show_message_box;
    n += fill_message(text + n, sizeof text - n, "\n\n", "");
    fill_message(text + n, sizeof text - n, ask ? MSG_DOWNLOAD_QUESTION : MSG_DOWNLOAD_AT,
                 address);
    if (!ask)
        emit_message(true, text);
    else if (ask_question(text))
        open_address(address);
}

void report_out_of_memory()
{
    emit_message(true, MSG_OUT_OF_MEMORY);
}
