// Conversions of setting texts.
#include "base/setting_codec.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char setting_key[17] = "Q4vT8mZk2RwN6yHc";

// '0'..'9' give 0..9 and every other character c - 55, so only upper-case A..F decode as
// hexadecimal; the builder never writes anything else.
static unsigned digit_value(char c)
{
    return c >= '0' && c <= '9' ? (unsigned)(c - '0') : (unsigned)(c - 55);
}

char *decode_setting_text(const char *text, char *out)
{
    memset(out, 0, DECODE_BUFFER_SIZE);
    size_t length = strlen(text);
    size_t bytes = length / 2;
    if (bytes > MAX_ENCODED_BYTES)
        bytes = MAX_ENCODED_BYTES;
    // An odd last digit pairs with the terminating NUL, as the digit pairs are read.
    size_t i;
    for (i = 0; i < bytes; i++)
        out[i] = (char)(digit_value(text[2 * i]) * 16 + digit_value(text[2 * i + 1]));
    if (length % 2 && bytes < MAX_ENCODED_BYTES)
        out[i] = (char)(digit_value(text[2 * i]) * 16 + digit_value('\0'));
    for (i = 0; i < bytes; i++)
        out[i] ^= setting_key[i % sizeof setting_key];
    return out;
}

bool encode_setting_text(const char *plain, char *out, size_t out_size)
{
    static const char hex[] = "0123456789ABCDEF";
    size_t length = strlen(plain);
    if (length > MAX_ENCODED_BYTES || out_size < 2 * length + 1)
        return false;
    for (size_t i = 0; i < length; i++) {
        unsigned char b = (unsigned char)(plain[i] ^ setting_key[i % sizeof setting_key]);
        out[2 * i] = hex[b >> 4];
        out[2 * i + 1] = hex[b & 15];
    }
    out[2 * length] = '\0';
    return true;
}

bool setting_flag(const char *text)
{
    return text[0] != '0';
}

int setting_integer(const char *text)
{
    return atoi(text);
}

unsigned setting_hex(const char *text)
{
    unsigned value = 0;
    if (sscanf(text, "%x", &value) != 1)
        return 0;
    return value;
}

unsigned priority_class_for_index(int index)
{
    // REALTIME, HIGH, ABOVE_NORMAL, NORMAL, BELOW_NORMAL, IDLE_PRIORITY_CLASS.
    static const unsigned table[] = {0x100, 0x80, 0x8000, 0x20, 0x4000, 0x40};
    unsigned i = (unsigned)index;
    return i < sizeof table / sizeof table[0] ? table[i] : 0;
}

bool is_web_address(const char *text)
{
    static const char *const schemes[] = {"http://", "https://"};
    for (const char *scheme : schemes) {
        size_t n = 0;
        while (scheme[n] && (text[n] >= 'A' && text[n] <= 'Z' ? text[n] + 32 : text[n]) ==
                                scheme[n])
            n++;
        if (scheme[n] || !text[n])
            continue;
        for (const char *p = text + n; *p; p++)
            if ((unsigned char)*p <= 0x20 || *p == 0x7F)
                return false;
        return true;
    }
    return false;
}
