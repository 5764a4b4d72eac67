// Sizing the Java heap by the machine: -Xmx and -Xms as shares of its physical memory, and on
// a 32-bit process no more than its address space can reserve in one piece.
#pragma once

#include <stdint.h>

#include "config/settings.h"
#include "java/jvm_options.h"

// What the virtual machine reserves from the largest free block of a 32-bit process's address
// space before its heap, and beside it, in MB: a heap of the largest free block less this
// can always be reserved. Measured with a 32-bit Java 8 runtime, whose client virtual machine
// takes its 32 MB code cache and its class-data archive from the address space before the
// heap, and whose threads' stacks and libraries come after it.
enum { HEAP_ADDRESS_MARGIN_MB = 96 };

// The heap's share of the machine and its bounds (0: not given), as the settings give them.
struct heap_rule {
    int max_percent, initial_percent;
    int max_mb_min, max_mb_max;
};

// The machine: its physical memory, and for a 32-bit process the largest free block of its
// address space (free_block 0: a 64-bit process, whose address space is no limit); bytes.
struct heap_machine {
    uint64_t memory, free_block;
};

// The sizes to give, in MB (0: none). max_mb: max_percent of the memory, raised to
// max_mb_min and lowered to max_mb_max where they are given (the upper bound wins), then
// lowered to the free block less HEAP_ADDRESS_MARGIN_MB, and never below initial_mb_given;
// none when max_mb_given (an -Xmx of the options) is set. initial_mb: initial_percent of the
// memory, never above the maximum (given or computed); none when initial_mb_given is set.
struct heap_sizes {
    uint64_t max_mb, initial_mb;
};
heap_sizes compute_heap_sizes(const heap_rule &rule, const heap_machine &machine,
                              uint64_t max_mb_given, uint64_t initial_mb_given);

// The size of an -Xmx or -Xms value ("512m", "2G", "1048576", "64k") in MB, rounded down; 0
// when it is no size.
uint64_t heap_option_mb(const char *value);

// Adds -Xmx and -Xms to list as the heap settings ask, unless the options already give them
// (-Xmx or -XX:MaxHeapSize=, -Xms or -XX:InitialHeapSize=, wherever they come from); traces
// the physical memory, the largest free block, the computed values and where each heap
// option came from.
void add_heap_options(const launcher_settings &settings, jvm_option_list *list);
