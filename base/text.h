// Small heap-text helpers shared by the launcher's modules.
#pragma once

#include <stddef.h>

// first + second + third in a new heap text, however long they are; the caller frees it.
char *join_text(const char *first, const char *second, const char *third = "");

// The first n characters of text in a new heap text; the caller frees it.
char *copy_text(const char *text, size_t n);

// Re-entrant, in-place tokenizer: the caller sets *cursor to null before the first call and
// passes text and cursor unchanged afterwards. Each separator after a token is overwritten
// with a NUL; empty tokens are never returned. Returns null when no token is left.
char *next_token(char *text, const char *separators, char **cursor);

// Writes message into buffer (size bytes, at least 1) with each "%s" replaced by subject and
// each "%%" by "%"; every other character, any other '%' included, is copied as it is, so a
// message can never read an argument that is not there. Cut at the buffer's end (before a
// UTF-8 character that does not fit whole) and always terminated; returns the length of the
// text in buffer.
size_t fill_message(char *buffer, size_t size, const char *message, const char *subject);

// number in decimal, with a '-' when it is negative, written at the end of buffer (at least
// 12 bytes); returns where the text starts.
const char *decimal_text(int number, char *buffer);
