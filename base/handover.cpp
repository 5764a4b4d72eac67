// The instance_handover setting and the hand-over message. Portable.
#include "base/handover.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "base/unicode.h"

// A Java identifier's characters as a launcher setting holds them: ASCII letters, digits, '_'
// and '$' (an inner class's name has one), and any character beyond ASCII (the virtual machine
// decides those). A part may not start with a digit.
static bool identifier_character(unsigned char c, bool first)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           c >= 0x80 || (!first && c >= '0' && c <= '9');
}

handover_mode parse_handover_setting(const char *value, char **class_name, char **method)
{
    *class_name = *method = nullptr;
    if (!value[0])
        return HANDOVER_NONE;
    if (strcmp(value, "front") == 0)
        return HANDOVER_FRONT;
    const char *last_dot = strrchr(value, '.');
    if (!last_dot)
        return HANDOVER_INVALID;
    bool first = true;
    for (const char *p = value; *p; p++) {
        if (*p == '.') {
            if (first)
                return HANDOVER_INVALID;  // an empty part
            first = true;
        } else if (!identifier_character((unsigned char)*p, first)) {
            return HANDOVER_INVALID;
        } else {
            first = false;
        }
    }
    if (first || !is_valid_utf8(value, strlen(value)))
        return HANDOVER_INVALID;
    *class_name = copy_text(value, (size_t)(last_dot - value));
    for (char *p = *class_name; *p; p++)
        if (*p == '.')
            *p = '/';
    *method = must_copy(last_dot + 1);
    return HANDOVER_METHOD;
}

static void put_number(unsigned char *at, uint32_t number)
{
    for (int i = 0; i < 4; i++)
        at[i] = (unsigned char)(number >> (8 * i));
}

static uint32_t get_number(const unsigned char *at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 |
           (uint32_t)at[3] << 24;
}

static const char MAGIC[4] = {'T', 'R', 'H', '1'};

// The header and the count: 12 bytes; each text adds 4 and its own.
enum { FIXED_SIZE = HANDOVER_HEADER_SIZE + 4 };

unsigned char *encode_handover_message(const char *folder, int count, char *const *arguments,
                                       size_t *size)
{
    size_t total = FIXED_SIZE + 4 + strlen(folder);
    for (int i = 0; i < count && total <= HANDOVER_MESSAGE_MOST; i++)
        total += 4 + strlen(arguments[i]);
    if (total > HANDOVER_MESSAGE_MOST)
        return nullptr;
    unsigned char *data = (unsigned char *)must_alloc(total), *at = data + FIXED_SIZE;
    memcpy(data, MAGIC, sizeof MAGIC);
    put_number(data + 4, (uint32_t)total);
    put_number(data + 8, (uint32_t)count + 1);
    for (int i = -1; i < count; i++) {
        const char *text = i < 0 ? folder : arguments[i];
        size_t length = strlen(text);
        put_number(at, (uint32_t)length);
        memcpy(at + 4, text, length);
        at += 4 + length;
    }
    *size = total;
    return data;
}

size_t handover_message_size(const unsigned char *header)
{
    uint32_t size = get_number(header + 4);
    if (memcmp(header, MAGIC, sizeof MAGIC) != 0 || size < FIXED_SIZE + 4 ||
        size > HANDOVER_MESSAGE_MOST)
        return 0;
    return size;
}

handover_message *decode_handover_message(const unsigned char *data, size_t size)
{
    if (size < HANDOVER_HEADER_SIZE || handover_message_size(data) != size)
        return nullptr;
    // Each text takes at least its 4-byte length: a count past what the size holds is a lie.
    uint32_t texts = get_number(data + 8);
    if (texts < 1 || texts > (size - FIXED_SIZE) / 4)
        return nullptr;
    // One block: the record, the pointers, then the texts, each with a NUL added; the texts
    // take no more than size bytes with those.
    size_t pointers = sizeof(handover_message) + texts * sizeof(char *);
    handover_message *message = (handover_message *)must_alloc(pointers + size);
    char **slots = (char **)(message + 1);
    char *text = (char *)message + pointers;
    const unsigned char *at = data + FIXED_SIZE, *end = data + size;
    for (uint32_t i = 0; i < texts; i++) {
        size_t room = (size_t)(end - at);
        size_t length = room >= 4 ? get_number(at) : 0;
        if (room < 4 || length > room - 4 || memchr(at + 4, '\0', length) ||
            !is_valid_utf8((const char *)at + 4, length)) {
            free(message);
            return nullptr;
        }
        memcpy(text, at + 4, length);
        text[length] = '\0';
        slots[i] = text;
        text += length + 1;
        at += 4 + length;
    }
    if (at != end) {
        free(message);
        return nullptr;
    }
    message->folder = slots[0];
    message->count = (int)texts - 1;
    message->arguments = slots + 1;
    return message;
}
