// Conversions between UTF-8, the configuration's text, and UTF-16, the text of a Windows
// program's resources. Portable.
#pragma once

#include <string>

// The UTF-16 units of well-formed UTF-8 text. Refuses (returns false) stray continuation
// bytes, truncated or overlong sequences, surrogates and code points beyond U+10FFFF.
bool utf8_to_utf16(const std::string &text, std::u16string *out);

// The UTF-8 text of UTF-16 units. Refuses a surrogate without its partner.
bool utf16_to_utf8(const std::u16string &text, std::string *out);
