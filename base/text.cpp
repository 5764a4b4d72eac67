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

// The length of text (n bytes) without a UTF-8 sequence cut short at its end.
static size_t whole_characters(const char *text, size_t n)
{
    size_t start = n;
    while (start > 0 && ((unsigned char)text[start - 1] & 0xC0) == 0x80)
        start--;
    if (start == 0)
        return n;
    unsigned char lead = (unsigned char)text[start - 1];
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return n - (start - 1) < length ? start - 1 : n;
}

size_t fill_message(char *buffer, size_t size, const char *message, const char *subject)
{
    size_t n = 0;
    const char *p = message;
    for (; *p && n + 1 < size; p++) {
        if (p[0] == '%' && p[1] == 's') {
            const char *q = subject;
            while (*q && n + 1 < size)
                buffer[n++] = *q++;
            if (*q)
                break;
            p++;
        } else {
            buffer[n++] = *p;
            if (p[0] == '%' && p[1] == '%')
                p++;
        }
    }
    // A text cut at the buffer's end ends with a whole character.
    if (*p)
        n = whole_characters(buffer, n);
    buffer[n] = '\0';
    return n;
}

const char *decimal_text(int number, char *buffer)
{
    char *end = buffer + 11;
    *end = '\0';
    unsigned magnitude = number < 0 ? 0u - (unsigned)number : (unsigned)number;
    do
        *--end = (char)('0' + magnitude % 10);
    while (magnitude /= 10);
    if (number < 0)
        *--end = '-';
    return end;
}
