// The string list.
#include "base/string_list.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"

void string_list_append(string_list *list, const char *text)
{
    if (!text || !*text)
        return;
    int n = (int)strlen(text);
    int step = 4 * n > 1024 ? 4 * n : 1024;
    if (!list->text) {
        list->capacity = step;
        list->text = (char *)must_alloc((size_t)step);
        list->length = 0;
    } else if (n + list->length > list->capacity - 1) {
        // One step always suffices: it is at least four times the text.
        list->capacity += step;
        list->text = (char *)must_realloc(list->text, (size_t)list->capacity);
    }
    memcpy(list->text + list->length, text, (size_t)n + 1);
    list->length += n;
}
