// Reporting for the host build: the texts are recorded for the tests to check.
#include "tests/host/fake_report.h"

#include <stdarg.h>
#include <stdio.h>

#include "ui/report.h"

std::vector<std::string> reported;
bool report_echo;

static void record(const std::string &text)
{
    reported.push_back(text);
    if (!report_echo)
        return;
    std::string line;
    for (char c : text)
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    printf("reported: %s\n", line.c_str());
    fflush(stdout);
}

int format_text(char *buffer, size_t size, const char *format, va_list args)
{
    int n = vsnprintf(buffer, size, format, args);
    return n < 0 || (size_t)n >= size ? (int)size - 1 : n;
}

static std::string format(const char *format, va_list args)
{
    char buffer[8192];
    vsnprintf(buffer, sizeof buffer, format, args);
    return buffer;
}

void emit_message(bool, const char *text)
{
    record(text);
}

void report_info(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    record(format(f, args));
    va_end(args);
}

void report_error(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    record(format(f, args));
    va_end(args);
}

void report_last_error()
{
    record("(reason)");
}

void report_error_with_reason(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    record(format(f, args) + "\n\nReason: (reason)");
    va_end(args);
}
