// Reading and checking the embedded-file archive.
#include "base/archive.h"

#include <string.h>

static uint32_t read_u32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

enum { ENTRY_FIXED_BYTES = 8 + 4 }; // time and size after the name

bool archive_name_is_safe(const char *name)
{
    if (name[0] == '\\' || name[0] == '/' || strchr(name, ':'))
        return false;
    const char *component = name;
    for (;;) {
        size_t length = strcspn(component, "\\/");
        size_t dots = 0;
        bool only_dots_and_blanks = true;
        for (size_t i = 0; i < length; i++) {
            if (component[i] == '.')
                dots++;
            else if (component[i] != ' ')
                only_dots_and_blanks = false;
        }
        if (only_dots_and_blanks && dots >= 2)
            return false;
        if (!component[length])
            return true;
        component += length + 1;
    }
}

archive_check_result archive_check(const unsigned char *data, size_t size, uint32_t *count,
                                   const char **bad_name)
{
    if (size < 4)
        return ARCHIVE_MALFORMED;
    uint32_t entries = read_u32(data);
    size_t offset = 4;
    for (uint32_t i = 0; i < entries; i++) {
        const unsigned char *name = data + offset;
        const unsigned char *end = (const unsigned char *)memchr(name, 0, size - offset);
        if (!end || end == name)
            return ARCHIVE_MALFORMED;
        offset = (size_t)(end - data) + 1;
        if (size - offset < ENTRY_FIXED_BYTES)
            return ARCHIVE_MALFORMED;
        uint32_t content_size = read_u32(data + offset + 8);
        offset += ENTRY_FIXED_BYTES;
        if (size - offset < content_size)
            return ARCHIVE_MALFORMED;
        offset += content_size;
        if (!archive_name_is_safe((const char *)name)) {
            *bad_name = (const char *)name;
            return ARCHIVE_UNSAFE_NAME;
        }
    }
    *count = entries;
    return ARCHIVE_OK;
}

void archive_read_entry(const unsigned char *data, size_t *offset, archive_entry *entry)
{
    const unsigned char *p = data + *offset;
    entry->name = (const char *)p;
    p += strlen(entry->name) + 1;
    entry->time_low = read_u32(p);
    entry->time_high = read_u32(p + 4);
    entry->size = read_u32(p + 8);
    entry->content = p + 12;
    *offset = (size_t)(entry->content - data) + entry->size;
}

uint64_t archive_hash(const unsigned char *data, size_t size)
{
    const uint64_t prime = 0x100000001b3ULL;
    uint64_t hash = 0xcbf29ce484222325ULL ^ size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, data + i, 8);
        hash = (hash ^ word) * prime;
        hash ^= hash >> 29;
    }
    for (; i < size; i++)
        hash = (hash ^ data[i]) * prime;
    return hash ^ (hash >> 32);
}

void archive_folder_name(uint64_t hash, char name[ARCHIVE_FOLDER_NAME_SIZE])
{
    for (int i = 0; i < 16; i++)
        name[i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xF];
    name[16] = '\0';
}
