// Small heap-text helpers shared by the launcher's modules.
#pragma once

#include <stddef.h>

// first + second + third in a new heap text, however long they are; the caller frees it.
char *join_text(const char *first, const char *second, const char *third = "");

// The first n characters of text in a new heap text; the caller frees it.
char *copy_text(const char *text, size_t n);
