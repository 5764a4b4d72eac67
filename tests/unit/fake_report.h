// The host build's reporting: every report is recorded as the text it would show.
#pragma once

#include <string>
#include <vector>

// Every text reported since the last clear, in order; a report with a reason ends with
// "\n\nReason: (reason)".
extern std::vector<std::string> reported;

// When set, every report is also printed at once to standard output as "reported: <text>"
// (line feeds written as \n), for tests that read a child process's output.
extern bool report_echo;
