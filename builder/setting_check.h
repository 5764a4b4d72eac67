// The values of the launcher's settings checked against their kinds, as the launcher will read
// them: a value that the launcher would read as something else (a flag of "no", which it takes
// for on; a priority outside its table; a search-order character that names no method) is
// refused with what would be accepted. Portable.
#pragma once

#include <string>

// Checks value, given for setting id in a configuration, against the setting's kind and the
// range the launcher honours. Returns "" when the value is fine, else the problem, naming the
// setting and what would be accepted. stored receives the text to store: the value itself, or
// the form the launcher reads where the builder accepts another (flags written as true, false,
// yes, no, on or off become 1 or 0; a java_version written as 1.8 or 17 becomes hexadecimal).
std::string check_setting_value(unsigned id, const std::string &value, std::string *stored);

// The search methods that the digits of order name, as "8 bundled, 0 runtime_paths"; a
// character that names none is left out.
std::string search_method_names(const std::string &order);

// Problems of the name of an embedded file as Windows would hold it (empty: none): characters
// Windows refuses in names (< > : " / \ | ? * and control characters), a trailing blank or
// dot, which Windows drops, and the names of devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1
// to LPT9, CONIN$, CONOUT$), with any extension.
std::string windows_name_problem(const std::string &name);

// The text as an error message shows it: at most 60 characters, a longer one cut (on a
// character's boundary) and ended with "...".
std::string shown(const std::string &text);
