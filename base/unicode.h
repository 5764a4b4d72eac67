// UTF-8 and UTF-16. The launcher's texts are UTF-8; Windows and Java take UTF-16. Windows
// names and Java strings may hold unpaired surrogates, so these are carried through unchanged:
// inside, an unpaired surrogate is written as the three bytes UTF-8 would give its value
// (the form called WTF-8), and read back as that one unit. Both conversions accept any other
// input: what is not valid becomes U+FFFD, one for each byte that cannot be read as part of a
// character (a lone continuation byte, a sequence cut short, an overlong form, a value past
// U+10FFFF). Nothing is read past the length given.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The UTF-16 form of the length bytes of text as a new heap text with a terminating 0; its
// count of units (without the 0) in *units when units is not null.
uint16_t *utf8_to_utf16(const char *text, size_t length, size_t *units);

// The UTF-8 form of the units code units of text as a new heap text with a terminating 0.
char *utf16_to_utf8(const uint16_t *text, size_t units);

// True when the length bytes of text are valid UTF-8 (an encoded surrogate is not).
bool is_valid_utf8(const char *text, size_t length);
