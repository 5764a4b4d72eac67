// UTF-16 for the Windows-only modules (service/, ui/, launcher/), which call Win32 directly:
// the same conversions the system seam makes at each of its calls.
#pragma once

#include <wchar.h>

// text as a new heap text in UTF-16; null gives null.
wchar_t *to_wide(const char *text);

// The UTF-16 text (units long, or up to its 0 when units is -1) as a new heap text in UTF-8.
char *from_wide(const wchar_t *text, int units = -1);
