// Small heap-text helpers.
#include "base/text.h"

#include <string.h>

#include "base/memory.h"

char *join_text(const char *first, const char *second, const char *third)
{
    size_t a = strlen(first), b = strlen(second), c = strlen(third);
    char *text = (char *)must_alloc(a + b + c + 1);
    memcpy(text, first, a);
    memcpy(text + a, second, b);
    memcpy(text + a + b, third, c + 1);
    return text;
}

char *copy_text(const char *text, size_t n)
{
    char *copy = (char *)must_alloc(n + 1);
    memcpy(copy, text, n);
    return copy;
}

char *next_token(char *text, const char *separators, char **cursor)
{
    if (!text || (*cursor && !**cursor)) {
        *cursor = nullptr;
        return nullptr;
    }
    char *start = *cursor ? *cursor : text;
    start += strspn(start, separators);
    if (!*start) {
        *cursor = nullptr;
        return nullptr;
    }
    char *end = start + strcspn(start, separators);
    if (*end) {
        *end = '\0';
        *cursor = end + 1;
    } else {
        *cursor = end;
    }
    return start;
}

size_t fill_message(char *buffer, size_t size, const char *message, const char *subject)
{
    size_t n = 0;
    for (const char *p = message; *p && n + 1 < size; p++) {
        if (p[0] == '%' && p[1] == 's') {
            for (const char *q = subject; *q && n + 1 < size; q++)
                buffer[n++] = *q;
            p++;
        } else {
            buffer[n++] = *p;
            if (p[0] == '%' && p[1] == '%')
                p++;
        }
    }
    buffer[n] = '\0';
    return n;
}
