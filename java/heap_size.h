// Sizing the Java heap by the machine: -Xmx and -Xms as shares of its physical memory, and on
// a 32-bit process no more than its address space can reserve in one piece.
#pragma once

#include <stdint.h>

#include "config/settings.h"
#include "java/jvm_options.h"

// What the virtual machine takes from the largest free block of a 32-bit process's address
// space beside its heap, in MB: a heap of the largest free block less this can always be
// reserved. Measured with the 32-bit Java 8 client virtual machine in a process whose address
// space had that one free block: it needed 35 MB beside the heap (its 32 MB code cache, the
// first piece of its metaspace, its threads' stacks and its own libraries). 64 MB leaves room
// for the 48 MB code cache of a 32-bit server virtual machine.
enum { HEAP_ADDRESS_MARGIN_MB = 64 };

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
    unsigned max_mb, initial_mb;
};
heap_sizes compute_heap_sizes(const heap_rule &rule, const heap_machine &machine,
                              unsigned max_mb_given, unsigned initial_mb_given);

// The size of an -Xmx or -Xms value ("512m", "2G", "1048576", "64k") in MB, rounded down; 0
// when it is no size (or more than 4095 TB).
unsigned heap_option_mb(const char *value);

// The heap sizes the options give (-Xmx or -XX:MaxHeapSize=, -Xms or -XX:InitialHeapSize=;
// the later one wins, as in the virtual machine), in MB (0: none), traced with where each came
// from. Read from the list as build_jvm_options made it, whose configured and from_user
// counts say where an option came from.
heap_sizes given_heap_sizes(const launcher_settings &settings, const jvm_option_list &list);

// Adds -Xmx and -Xms to list as the heap settings ask, unless given has them; traces the
// physical memory, the largest free block and the computed values.
void add_heap_options(const launcher_settings &settings, const heap_sizes &given,
                      jvm_option_list *list);
