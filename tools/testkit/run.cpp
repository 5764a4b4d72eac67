// trevalo-run.exe [--timeout MS] COMMAND_LINE...
//
// Runs a program, answers each message box it shows with OK and prints what it saw:
//   box: <caption> | <icon> | <text>      one line per box, caption and text escaped
//   exit: 0x%08X                          the child's exact 32-bit exit code
// Exits 0 when the child ran to its end; 2 when it timed out ("timeout"; it is then
// terminated), or could not be started, or the arguments were wrong, or under Wine there is
// no X display (an "error: ..." line). Under Wine this is the way to see an exit code whole:
// wine itself passes on only its low 8 bits.
#include "tools/testkit/testkit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD DEFAULT_TIMEOUT_MS = 30000;

int usage() {
    std::printf("error: usage: trevalo-run.exe [--timeout MS] COMMAND_LINE...\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    DWORD timeout_ms = DEFAULT_TIMEOUT_MS;
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--timeout") == 0) {
        if (first + 1 >= argc)
            return usage();
        char *end = nullptr;
        unsigned long value = std::strtoul(argv[first + 1], &end, 10);
        if (*argv[first + 1] == '\0' || *end != '\0')
            return usage();
        timeout_ms = static_cast<DWORD>(value);
        first += 2;
    }
    if (first >= argc)
        return usage();

    if (!testkit::windows_can_appear()) {
        std::printf("error: no X display (DISPLAY is unset or empty): message boxes could not appear\n");
        return 2;
    }

    std::string command_line;
    for (int i = first; i < argc; ++i) {
        if (i > first)
            command_line += ' ';
        command_line += testkit::quote_argument(argv[i]);
    }

    testkit::run_result result = testkit::run_answering(command_line, "", timeout_ms);
    if (!result.started) {
        std::printf("error: cannot start %s (error %lu)\n", command_line.c_str(),
                    static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    for (const testkit::message_box &box : result.boxes)
        std::printf("box: %s | %s | %s\n", testkit::escape_line(box.caption).c_str(),
                    box.icon.c_str(), testkit::escape_line(box.text).c_str());
    if (result.timed_out) {
        std::printf("timeout\n");
        return 2;
    }
    std::printf("exit: 0x%08lX\n", static_cast<unsigned long>(result.exit_code));
    return 0;
}
