// Conversions of setting texts: the encoded main class, flags, numbers and the priority table.
// Shared by the launcher, which decodes, and the launcher builder, which encodes.
#pragma once

#include <stddef.h>

// The 16 letters and digits of the key and their terminating NUL together form the 17-byte key
// that scrambles the main class (the main_class setting).
extern const char setting_key[17];

enum { DECODE_BUFFER_SIZE = 256, MAX_ENCODED_BYTES = DECODE_BUFFER_SIZE - 1 };

// Decodes a text of upper-case hexadecimal digit pairs into out, which holds
// DECODE_BUFFER_SIZE bytes, and returns out. At most 255 bytes are decoded so that out always
// keeps its terminating zero; digits past that are ignored.
char *decode_setting_text(const char *text, char *out);

// Writes the encoded form of plain (2 upper-case hexadecimal digits per byte) into out, which
// must hold 2 * strlen(plain) + 1 characters. Returns false, writing nothing, when plain is
// longer than MAX_ENCODED_BYTES.
bool encode_setting_text(const char *plain, char *out, size_t out_size);

// A flag is on unless its text begins with the digit 0; the empty text is on.
bool setting_flag(const char *text);

// Decimal integer as atoi reads it: no number gives 0.
int setting_integer(const char *text);

// Hexadecimal number with optional blanks and 0x prefix; no number gives 0.
unsigned setting_hex(const char *text);

// The priority-class value for an index of the priority table, or 0 when the index, taken as
// unsigned, is outside the table and the priority is to be left alone.
unsigned priority_class_for_index(int index);

// True when text is a web address the shell may open for the user: "http://" or "https://"
// (letters in any case) and at least one character more, none of them a control character or
// a blank. Anything else (a program, a script, a "file:" address, a bare name) is never opened.
bool is_web_address(const char *text);
