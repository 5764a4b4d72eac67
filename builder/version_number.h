// Version numbers as a configuration writes them: the configuration reader checks them, the
// version information writes and reads them. Portable.
#pragma once

#include <stdint.h>

#include <string>

// Reads a version as a configuration writes it: one to four decimal numbers of 0 to 65535
// joined by dots ("2", "1.4", "1.2.3.4"); missing numbers are 0. Returns false with error
// saying what is wrong.
bool parse_version_number(const std::string &text, uint16_t version[4], std::string *error);

// The version as four numbers joined by dots.
std::string version_text(const uint16_t version[4]);
