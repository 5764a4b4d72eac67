// The command-line splitter.
#include "base/command_line.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"

// One scan of the text under the splitting rules. With vector null it only counts; otherwise
// it stores each argument in vector[first], vector[first + 1], ... Both uses share this scan so
// that the counting pass and the filling pass can never disagree.
static int scan_arguments(const char *text, char **vector, int first)
{
    while (*text == ' ')
        text++;

    int found = 0;
    bool quoted = false;
    bool last_was_space = false;
    const char *start = text;
    const char *p = text;
    for (;; p++) {
        bool at_end = *p == '\0';
        if (!at_end && *p == '"')
            quoted = !quoted;
        bool separates = !at_end && *p == ' ' && !quoted;
        if (separates || (at_end && !last_was_space)) {
            if (vector) {
                size_t length = (size_t)(p - start);
                const char *from = start;
                if (length > 0 && *from == '"') {
                    // Drop the opening and the closing character; a lone quote gives "".
                    from++;
                    length = length >= 2 ? length - 2 : 0;
                }
                char *argument = (char *)must_alloc(length + 1);
                memcpy(argument, from, length);
                argument[length] = '\0';
                vector[first + found] = argument;
            }
            found++;
            start = p + 1;
        }
        if (at_end)
            break;
        last_was_space = *p == ' ';
    }
    return found;
}

void split_command_line(const char *text, int *count, char ***vector, bool reserve_slot_0)
{
    bool has_text = text && *text;
    int first = reserve_slot_0 ? 1 : 0;
    int n = (has_text ? scan_arguments(text, nullptr, 0) : 0) + first;

    *count = n;
    *vector = nullptr;
    if (n == 0)
        return;
    *vector = (char **)must_alloc((size_t)n * sizeof(char *));
    if (has_text)
        scan_arguments(text, *vector, first);
}

// One scan of text under the Windows convention: counts the arguments and, with vector not
// null, stores each in vector[first], vector[first + 1], ... Each argument is built in
// buffer, which holds the whole text.
static int scan_windows_arguments(const char *text, char *buffer, char **vector, int first)
{
    const char *s = text;
    while (*s == ' ' || *s == '\t')
        s++;
    if (!*s)
        return 0;
    int found = 0;
    size_t length = 0;
    int quotes = 0, backslashes = 0;
    for (;;) {
        if (!*s || ((*s == ' ' || *s == '\t') && quotes == 0)) {
            if (vector) {
                char *argument = (char *)must_alloc(length + 1);
                memcpy(argument, buffer, length);
                argument[length] = '\0';
                vector[first + found] = argument;
            }
            found++;
            while (*s == ' ' || *s == '\t')
                s++;
            if (!*s)
                return found;
            length = 0;
            backslashes = 0;
        } else if (*s == '\\') {
            buffer[length++] = *s++;
            backslashes++;
        } else if (*s == '"') {
            // Half the backslashes before it stay; an odd one out makes the quote a character.
            length -= (size_t)(backslashes / 2);
            if (backslashes % 2)
                buffer[length - 1] = '"';
            else
                quotes++;
            s++;
            backslashes = 0;
            for (; *s == '"'; s++) {
                if (++quotes == 3) {
                    buffer[length++] = '"';
                    quotes = 0;
                }
            }
            if (quotes == 2)
                quotes = 0;
        } else {
            buffer[length++] = *s++;
            backslashes = 0;
        }
    }
}

void split_windows_command_line(const char *text, int *count, char ***vector,
                                bool reserve_slot_0)
{
    int first = reserve_slot_0 ? 1 : 0;
    char *buffer = text ? (char *)must_alloc(strlen(text) + 1) : nullptr;
    int n = (text ? scan_windows_arguments(text, buffer, nullptr, 0) : 0) + first;
    *count = n;
    *vector = nullptr;
    if (n > 0) {
        *vector = (char **)must_alloc((size_t)n * sizeof(char *));
        if (reserve_slot_0)
            (*vector)[0] = nullptr;
        if (text)
            scan_windows_arguments(text, buffer, *vector, first);
    }
    free(buffer);
}

const char *skip_program_name(const char *command_line)
{
    const char *p = command_line;
    if (*p == '"') {
        p = strchr(p + 1, '"');
        p = p ? p + 1 : command_line + strlen(command_line);
    }
    while (*p && *p != ' ' && *p != '\t')
        p++;
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}
