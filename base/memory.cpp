// Allocation that never hands back null.
#include "base/memory.h"

#include <stdlib.h>
#include <string.h>

static void (*failure_hook)();

void set_allocation_failure_hook(void (*hook)())
{
    failure_hook = hook;
}

static void *checked(void *block)
{
    if (!block) {
        if (failure_hook)
            failure_hook();
        abort();
    }
    return block;
}

void *must_alloc(size_t size)
{
    return checked(calloc(size ? size : 1, 1));
}

void *must_realloc(void *block, size_t size)
{
    return checked(realloc(block, size ? size : 1));
}

char *must_copy(const char *text)
{
    size_t n = strlen(text) + 1;
    return (char *)memcpy(must_alloc(n), text, n);
}
