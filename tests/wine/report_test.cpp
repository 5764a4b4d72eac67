// Both sinks of the reporting operations: message boxes in an interactive launch, event-log
// records in a service run, read from Wine's eventlog debug channel.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "tests/wine/harness.h"

namespace {

std::string probe()
{
    return quote(build_dir() + "\\report_probe.exe");
}

std::string system_text(DWORD code)
{
    char buffer[4000];
    DWORD n = FormatMessageA(0x1200, nullptr, code, 0x0400, buffer, sizeof buffer, nullptr);
    return std::string(buffer, n);
}

TEST(Report, MessageBoxesCarryCaptionIconAndTheWholeText)
{
    // Several kilobytes in lines, so that the box still fits the screen.
    std::string long_text;
    while (long_text.size() < 4000)
        long_text += std::string(99, 'k') + "\n";
    const struct {
        std::string args;
        const char *caption;
        const char *icon;
        std::string text;
    } cases[] = {
        {"1 - info \"Service installed: %s\" Svc", "Information", "information",
         "Service installed: Svc"},
        {"1 - error \"Unable to load JVM: %s\" \"C:\\jre\\bin\\client\\jvm.dll\"", "Error",
         "error", "Unable to load JVM: C:\\jre\\bin\\client\\jvm.dll"},
        {"1 - error \"Class: %s\" \"50%d %s %%\"", "Error", "error", "Class: 50%d %s %%"},
        {"1 - error %s \"" + long_text + "\"", "Error", "error", long_text},
        {"1 - last x", "Error", "error", system_text(ERROR_ACCESS_DENIED)},
        {"1 - reason \"Internal error RC000005\"", "Error", "error",
         "Internal error RC000005\n\nReason: " + system_text(ERROR_ACCESS_DENIED)},
    };
    for (const auto &c : cases) {
        run_result r = run_answering(probe() + " " + c.args, build_dir(), HANG_MS);
        EXPECT_EQ(r.exit_code, 0u) << c.args;
        ASSERT_EQ(r.boxes.size(), 1u) << c.args;
        EXPECT_EQ(r.boxes[0].caption, c.caption) << c.args;
        EXPECT_EQ(r.boxes[0].icon, c.icon) << c.args;
        EXPECT_EQ(r.boxes[0].text, c.text) << c.args;
    }
}

TEST(Report, FormattedTextsAreCutAtTheirBuffer)
{
    // report_error keeps 8191 characters; report_error_with_reason 4095 of the message.
    std::string subject(9000, 's');
    run_result r = run_answering(probe() + " 1 - error %s " + subject, build_dir(), HANG_MS);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, subject.substr(0, 8191));

    r = run_answering(probe() + " 1 - reason %s " + subject, build_dir(), HANG_MS);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text,
              subject.substr(0, 4095) + "\n\nReason: " + system_text(ERROR_ACCESS_DENIED));

    // The system's formatter, which the runtime's output goes through, into a buffer that was
    // full beforehand: the cut text ends where the buffer does.
    std::string output;
    EXPECT_EQ(run_capture(probe() + " 1 - cut %s 0123456789abcdefXYZ", build_dir(), &output), 0u);
    EXPECT_EQ(output, "[0123456789abcde] 15\r\n");
}

// The event-log records of one probe run: the lines of Wine's eventlog channel. Wine writes
// a program's debug channels to its own standard error, which the test script sends to the
// file named by TREVALO_WINE_LOG.
std::vector<std::string> event_lines(const std::string &args)
{
    const char *log = getenv("TREVALO_WINE_LOG");
    EXPECT_NE(log, nullptr) << "run the Windows tests through tests/run-wine-tests.sh";
    if (!log)
        return {};
    size_t before = read_file(log).size();
    std::string env = environment_with({"WINEDEBUG=+eventlog"});
    std::string output;
    DWORD status = run_capture(probe() + " " + args, build_dir(), &output, env.c_str());
    EXPECT_EQ(status, 0u) << output;
    std::vector<std::string> lines;
    for (const std::string &line : split_lines(read_file(log).substr(before)))
        if (line.find("ReportEvent") != std::string::npos)
            lines.push_back(line);
    return lines;
}

// Text as Wine's debug channels write a UTF-16 string: each unit past ASCII as \hhhh.
std::string wine_escaped(const std::string &text)
{
    std::string result;
    for (wchar_t unit : wide(text)) {
        char escaped[8];
        snprintf(escaped, sizeof escaped, "\\%04x", (unsigned)unit);
        result += unit < 127 ? std::string(1, (char)unit) : escaped;
    }
    return result;
}

TEST(Report, EventLogRecordsCarryTypeIdAndEveryCharacter)
{
    const struct {
        std::string args;
        std::vector<std::string> parts;  // each in one of the lines; none: no line at all
    } cases[] = {
        {"2 TrevaloTest info \"The %s service has started.\" \"Svc 50%d\"",
         {"0x0004,0x0000,0x40000001",  // information type, ID
          "trace:eventlog:ReportEventW L\"The Svc 50%d service has started.\""}},
        {"2 TrevaloTest error \"Error locating class: %s\" a/b/Main",
         {"0x0001,0x0000,0xc0000002",  // error type, ID
          "err:eventlog:ReportEventW L\"Error locating class: a/b/Main\""}},
        // A Japanese message with a Cyrillic subject under a Western code page.
        {"2 TrevaloTest error \"Java \u30e9\u30f3\u30bf\u30a4\u30e0: %s\" "
         "\u0416\u0443\u043a\U0001F600",
         {"err:eventlog:ReportEventW L\"" +
          wine_escaped("Java \u30e9\u30f3\u30bf\u30a4\u30e0: \u0416\u0443\u043a\U0001F600") +
          "\""}},
        {"2 - error \"Internal error RC000003\"", {}},  // no source
    };
    for (const auto &c : cases) {
        std::vector<std::string> lines = event_lines(c.args);
        if (c.parts.empty())
            EXPECT_TRUE(lines.empty()) << c.args << ": " << testing::PrintToString(lines);
        for (const std::string &part : c.parts)
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &line) {
                return line.find(part) != std::string::npos;
            })) << part << " in " << testing::PrintToString(lines);
    }
}

} // namespace
