// Sizing the Java heap by the machine. Portable: the machine is read through the system seam.
#include "java/heap_size.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

heap_sizes compute_heap_sizes(const heap_rule &rule, const heap_machine &machine,
                              uint64_t max_mb_given, uint64_t initial_mb_given)
{
    heap_sizes sizes = {0, 0};
    uint64_t memory_mb = machine.memory >> 20;
    if (rule.max_percent > 0 && !max_mb_given && memory_mb) {
        uint64_t mb = memory_mb * (uint64_t)rule.max_percent / 100;
        if (rule.max_mb_min > 0 && mb < (uint64_t)rule.max_mb_min)
            mb = (uint64_t)rule.max_mb_min;
        if (rule.max_mb_max > 0 && mb > (uint64_t)rule.max_mb_max)
            mb = (uint64_t)rule.max_mb_max;
        if (machine.free_block) {
            // What the virtual machine can reserve in one piece, whatever the bounds say: a
            // larger heap would not start at all.
            uint64_t free_mb = machine.free_block >> 20;
            uint64_t room = free_mb > HEAP_ADDRESS_MARGIN_MB ? free_mb - HEAP_ADDRESS_MARGIN_MB : 0;
            if (mb > room)
                mb = room;
        }
        // A virtual machine refuses an initial heap above the maximum: the user's -Xms stands.
        sizes.max_mb = mb > initial_mb_given ? mb : initial_mb_given;
    }
    if (rule.initial_percent > 0 && !initial_mb_given && memory_mb) {
        uint64_t mb = memory_mb * (uint64_t)rule.initial_percent / 100;
        uint64_t most = max_mb_given ? max_mb_given : sizes.max_mb;
        sizes.initial_mb = most && mb > most ? most : mb;
    }
    return sizes;
}

uint64_t heap_option_mb(const char *value)
{
    uint64_t bytes = 0;
    const char *p = value;
    for (; *p >= '0' && *p <= '9'; p++) {
        bytes = bytes * 10 + (uint64_t)(*p - '0');
        if (bytes >> 50)
            return 0;
    }
    if (p == value)
        return 0;
    static const char units[] = "kmgt";
    const char *unit = *p ? strchr(units, *p | 0x20) : nullptr;
    if (*p && (!unit || p[1]))
        return 0;
    for (int shift = unit ? (int)(unit - units + 1) * 10 : 0; shift > 0; shift -= 10)
        bytes <<= 10;
    return bytes >> 20;
}

// Where option index of list came from.
static const char *option_source(const launcher_settings &settings, const jvm_option_list &list,
                                 int index)
{
    if (index < list.configured)
        return settings.jvm_options_from_ini ? "the INI file" : "the launcher's jvm_options";
    if (index < list.configured + list.from_user)
        return "the user's options file";
    return "the launcher";
}

// The size in MB that the options give with either prefix (the later option wins, as in the
// virtual machine), traced with where it came from; 0 when none gives one.
static uint64_t given_size(const launcher_settings &settings, const jvm_option_list &list,
                           const char *prefix, const char *long_prefix)
{
    int at = -1, long_at = -1;
    const char *value = last_jvm_option(list, prefix, &at);
    const char *long_value = last_jvm_option(list, long_prefix, &long_at);
    if (long_at > at) {
        value = long_value;
        at = long_at;
    }
    if (!value)
        return 0;
    trace("heap: %s from %s", list.options[at], option_source(settings, list, at));
    uint64_t mb = heap_option_mb(value);
    // A size the virtual machine reads but not in whole MB (below 1 MB): still given.
    return mb ? mb : 1;
}

// Appends "<prefix><mb>m".
static void append_size(jvm_option_list *list, const char *prefix, uint64_t mb, const char *why)
{
    char digits[24], *p = digits + sizeof digits;
    *--p = '\0';
    do
        *--p = (char)('0' + mb % 10);
    while (mb /= 10);
    char *option = join_text(prefix, p, "m");
    trace("heap: %s computed (%s)", option, why);
    append_jvm_option(list, option);
}

void add_heap_options(const launcher_settings &settings, jvm_option_list *list)
{
    if (settings.max_heap_percent <= 0 && settings.initial_heap_percent <= 0)
        return;
    heap_rule rule = {settings.max_heap_percent, settings.initial_heap_percent,
                      settings.max_heap_mb_min, settings.max_heap_mb_max};
    heap_machine machine = {physical_memory(), 0};
    bool limited = largest_free_block(&machine.free_block);
    trace("heap: physical memory %u MB; largest free block of the address space %s%u MB",
          (unsigned)(machine.memory >> 20), limited ? "" : "(64-bit: no limit) ",
          (unsigned)(machine.free_block >> 20));
    uint64_t max_given = given_size(settings, *list, "-Xmx", "-XX:MaxHeapSize=");
    uint64_t initial_given = given_size(settings, *list, "-Xms", "-XX:InitialHeapSize=");
    heap_sizes sizes = compute_heap_sizes(rule, machine, max_given, initial_given);
    if (sizes.max_mb)
        append_size(list, "-Xmx", sizes.max_mb, "max_heap_percent of the physical memory");
    if (sizes.initial_mb)
        append_size(list, "-Xms", sizes.initial_mb, "initial_heap_percent of the physical memory");
}
