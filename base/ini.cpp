#include "base/ini.h"

#include <string.h>
#include <strings.h>

#include "base/text.h"

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Narrows [*start, *end) to its text without the blanks around it.
static void trim(const char **start, const char **end)
{
    while (*start < *end && is_blank(**start))
        (*start)++;
    while (*end > *start && is_blank((*end)[-1]))
        (*end)--;
}

// True when [start, end) is name, without regard to ASCII case.
static bool same_name(const char *start, const char *end, const char *name)
{
    size_t length = (size_t)(end - start);
    return length == strlen(name) && strncasecmp(start, name, length) == 0;
}

char *ini_value(const char *text, const char *section, const char *key)
{
    bool in_section = false;
    for (const char *line = text; *line;) {
        const char *end = strchr(line, '\n');
        const char *next = end ? end + 1 : line + strlen(line);
        if (!end)
            end = next;
        const char *start = line;
        line = next;
        trim(&start, &end);
        if (start == end || *start == ';')
            continue;
        if (*start == '[') {
            const char *close = (const char *)memchr(start, ']', (size_t)(end - start));
            const char *name = start + 1, *name_end = close ? close : end;
            trim(&name, &name_end);
            in_section = same_name(name, name_end, section);
            continue;
        }
        const char *equals = (const char *)memchr(start, '=', (size_t)(end - start));
        if (!in_section || !equals)
            continue;
        const char *name_end = equals, *value = equals + 1;
        trim(&start, &name_end);
        if (!same_name(start, name_end, key))
            continue;
        trim(&value, &end);
        if (end - value >= 2 && (*value == '"' || *value == '\'') && end[-1] == *value) {
            value++;
            end--;
        }
        return value == end ? nullptr : copy_text(value, (size_t)(end - value));
    }
    return nullptr;
}
