// The host build's reporting: every report is recorded as the text it would show.
#pragma once

#include <string>
#include <vector>

// Every text reported since the last clear, in order; a report with a reason ends with
// "\n\nReason: (reason)".
extern std::vector<std::string> reported;
