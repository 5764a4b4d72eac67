#include "base/unicode.h"

#include "base/memory.h"

enum { REPLACEMENT = 0xFFFD };

// Reads the character at text[*i] (end: one past the last byte) and moves *i past it; an
// invalid sequence gives -1 and moves past its first byte only, so that each byte that
// belongs to no character is replaced once and a valid character after it is kept. An encoded
// surrogate is read as its value with surrogates, else it is invalid.
static long next_code_point(const unsigned char *text, size_t end, size_t *i, bool surrogates)
{
    unsigned char lead = text[*i];
    *i += 1;
    if (lead < 0x80)
        return lead;
    // The count of continuation bytes and the least value that needs them.
    size_t extra = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2
                 : lead >= 0xF0 && lead <= 0xF4 ? 3 : 0;
    static const long least[] = {0, 0x80, 0x800, 0x10000};
    if (extra == 0 || end - *i < extra)
        return -1;
    long value = lead & (0x3F >> extra);
    for (size_t k = 0; k < extra; k++) {
        if ((text[*i + k] & 0xC0) != 0x80)
            return -1;
        value = value << 6 | (text[*i + k] & 0x3F);
    }
    if (value < least[extra] || value > 0x10FFFF ||
        (!surrogates && value >= 0xD800 && value <= 0xDFFF))
        return -1;
    *i += extra;
    return value;
}

uint16_t *utf8_to_utf16(const char *text, size_t length, size_t *units)
{
    // Never more units than bytes: each unit takes at least one byte.
    uint16_t *out = (uint16_t *)must_alloc((length + 1) * sizeof(uint16_t));
    const unsigned char *bytes = (const unsigned char *)text;
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        long c = next_code_point(bytes, length, &i, true);
        if (c < 0)
            c = REPLACEMENT;
        if (c >= 0x10000) {
            out[n++] = (uint16_t)(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        out[n++] = (uint16_t)c;
    }
    out[n] = 0;
    if (units)
        *units = n;
    return out;
}

char *utf16_to_utf8(const uint16_t *text, size_t units)
{
    // At most three bytes a unit: a pair of units takes four.
    char *out = (char *)must_alloc(units * 3 + 1);
    size_t n = 0;
    for (size_t i = 0; i < units; i++) {
        unsigned long c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        // An unpaired surrogate takes the three-byte form of its value.
        if (c < 0x80) {
            out[n++] = (char)c;
        } else if (c < 0x800) {
            out[n++] = (char)(0xC0 | c >> 6);
            out[n++] = (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[n++] = (char)(0xE0 | c >> 12);
            out[n++] = (char)(0x80 | (c >> 6 & 0x3F));
            out[n++] = (char)(0x80 | (c & 0x3F));
        } else {
            out[n++] = (char)(0xF0 | c >> 18);
            out[n++] = (char)(0x80 | (c >> 12 & 0x3F));
            out[n++] = (char)(0x80 | (c >> 6 & 0x3F));
            out[n++] = (char)(0x80 | (c & 0x3F));
        }
    }
    out[n] = '\0';
    return out;
}

bool is_valid_utf8(const char *text, size_t length)
{
    for (size_t i = 0; i < length;)
        if (next_code_point((const unsigned char *)text, length, &i, false) < 0)
            return false;
    return true;
}
