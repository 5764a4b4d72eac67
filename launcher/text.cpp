// Small heap-text helpers.
#include "launcher/text.h"

#include <stdlib.h>
#include <string.h>

char *join_text(const char *first, const char *second, const char *third)
{
    size_t a = strlen(first), b = strlen(second), c = strlen(third);
    char *text = (char *)malloc(a + b + c + 1);
    memcpy(text, first, a);
    memcpy(text + a, second, b);
    memcpy(text + a + b, third, c + 1);
    return text;
}

char *copy_text(const char *text, size_t n)
{
    char *copy = (char *)malloc(n + 1);
    memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}
