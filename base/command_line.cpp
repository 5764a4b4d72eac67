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

// One scan of text under the C runtime's rule: counts the arguments and, with vector not
// null, stores each in vector[first], vector[first + 1], ... and, with wild not null, in
// wild[first + i] whether it holds a '*' or '?' outside double quotes. Each argument is built
// in buffer, which holds the whole text.
static int scan_windows_arguments(const char *text, char *buffer, char **vector, bool *wild,
                                  int first)
{
    const char *s = text;
    int found = 0;
    bool quoted = false;
    for (;;) {
        while (*s == ' ' || *s == '\t')
            s++;
        if (!*s)
            return found;
        size_t length = 0;
        bool wildcard = false;
        for (;;) {
            size_t backslashes = 0;
            while (*s == '\\') {
                s++;
                backslashes++;
            }
            bool keep = true;
            if (*s == '"' && backslashes % 2 == 0) {
                // "" inside quotes is one double quote and the quoting goes on; any other
                // unescaped quote opens or closes the quoted part.
                if (quoted && s[1] == '"')
                    s++;
                else {
                    keep = false;
                    quoted = !quoted;
                }
            }
            // Half the backslashes before a quote stay (an odd one out made it a character);
            // all of them elsewhere.
            if (*s == '"')
                backslashes /= 2;
            memset(buffer + length, '\\', backslashes);
            length += backslashes;
            if (!*s || (!quoted && (*s == ' ' || *s == '\t')))
                break;
            if (keep) {
                wildcard = wildcard || (!quoted && (*s == '*' || *s == '?'));
                buffer[length++] = *s;
            }
            s++;
        }
        if (vector) {
            char *argument = (char *)must_alloc(length + 1);
            memcpy(argument, buffer, length);
            argument[length] = '\0';
            vector[first + found] = argument;
        }
        if (wild)
            wild[first + found] = wildcard;
        found++;
    }
}

void split_windows_command_line(const char *text, int *count, char ***vector,
                                bool reserve_slot_0, bool **wildcards)
{
    int first = reserve_slot_0 ? 1 : 0;
    char *buffer = text ? (char *)must_alloc(strlen(text) + 1) : nullptr;
    int n = (text ? scan_windows_arguments(text, buffer, nullptr, nullptr, 0) : 0) + first;
    *count = n;
    *vector = nullptr;
    if (n > 0) {
        *vector = (char **)must_alloc((size_t)n * sizeof(char *));
        if (reserve_slot_0)
            (*vector)[0] = nullptr;
        if (wildcards)
            *wildcards = (bool *)must_alloc((size_t)n * sizeof(bool));
        if (reserve_slot_0 && wildcards)
            (*wildcards)[0] = false;
        if (text)
            scan_windows_arguments(text, buffer, *vector, wildcards ? *wildcards : nullptr,
                                   first);
    } else if (wildcards) {
        *wildcards = nullptr;
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

// The length of the UTF-8 sequence that starts with byte c (1 for a byte that starts none).
static int sequence_length(unsigned char c)
{
    return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
}

static char fold(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool wildcard_match(const char *pattern, const char *name)
{
    // The last '*' seen and where in name its run would end next: on a mismatch, the run
    // takes one more character. One step back suffices, so the match is linear in name for
    // each star.
    const char *star = nullptr, *resume = nullptr;
    while (*name) {
        int n = sequence_length((unsigned char)*name);
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
            continue;
        }
        if (*pattern == '?') {
            pattern++;
            for (int i = 0; i < n && *name; i++)
                name++;
            continue;
        }
        if (*pattern && fold(*pattern) == fold(*name)) {
            pattern++;
            name++;
            continue;
        }
        if (!star)
            return false;
        pattern = star;
        resume += sequence_length((unsigned char)*resume);
        name = resume;
    }
    while (*pattern == '*')
        pattern++;
    return !*pattern;
}
