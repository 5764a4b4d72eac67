// Allocation that never hands back null. Every heap block of the launcher comes from here, so
// running out of memory is handled in one place: the installed hook reports it, and the
// process ends.
#pragma once

#include <stddef.h>

// Called once when an allocation fails, before the process ends; the launcher's entry point
// installs one that reports the failure. Without a hook the process ends silently.
void set_allocation_failure_hook(void (*hook)());

// malloc, zero-filled.
void *must_alloc(size_t size);

// realloc; the block moves as realloc moves it.
void *must_realloc(void *block, size_t size);

// A heap copy of text.
char *must_copy(const char *text);
