// Reporting for the host build: the texts are recorded for the tests to check.
#include "tests/host/fake_report.h"

#include <stdarg.h>
#include <stdio.h>

#include "ui/report.h"

std::vector<std::string> reported;

static std::string format(const char *format, va_list args)
{
    char buffer[8192];
    vsnprintf(buffer, sizeof buffer, format, args);
    return buffer;
}

void emit_message(bool, const char *text)
{
    reported.push_back(text);
}

void report_info(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    reported.push_back(format(f, args));
    va_end(args);
}

void report_error(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    reported.push_back(format(f, args));
    va_end(args);
}

void report_last_error()
{
    reported.push_back("(reason)");
}

void report_error_with_reason(const char *f, ...)
{
    va_list args;
    va_start(args, f);
    reported.push_back(format(f, args) + "\n\nReason: (reason)");
    va_end(args);
}
