// Setting texts for host tests: each replaces the heap text it held, as the launcher's own
// replacements do.
#pragma once

#include <stdlib.h>
#include <string.h>

inline void set_text(char **setting, const char *value)
{
    free(*setting);
    *setting = strdup(value);
}
