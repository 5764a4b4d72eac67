// Sizing the Java heap by the machine. Portable: the machine is read through the system seam.
#include "java/heap_size.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

// percent of mb, in 32 bits: the stub has no 64-bit division.
static unsigned share(unsigned mb, int percent)
{
    return mb / 100 * (unsigned)percent + mb % 100 * (unsigned)percent / 100;
}

heap_sizes compute_heap_sizes(const heap_rule &rule, const heap_machine &machine,
                              unsigned max_mb_given, unsigned initial_mb_given)
{
    heap_sizes sizes = {0, 0};
    unsigned memory_mb = (unsigned)(machine.memory >> 20);
    if (rule.max_percent > 0 && !max_mb_given && memory_mb) {
        unsigned mb = share(memory_mb, rule.max_percent);
        if (rule.max_mb_min > 0 && mb < (unsigned)rule.max_mb_min)
            mb = (unsigned)rule.max_mb_min;
        if (rule.max_mb_max > 0 && mb > (unsigned)rule.max_mb_max)
            mb = (unsigned)rule.max_mb_max;
        if (machine.free_block) {
            // What the virtual machine can reserve in one piece, whatever the bounds say: a
            // larger heap would not start at all.
            unsigned free_mb = (unsigned)(machine.free_block >> 20);
            unsigned room = free_mb > HEAP_ADDRESS_MARGIN_MB ? free_mb - HEAP_ADDRESS_MARGIN_MB : 0;
            if (mb > room)
                mb = room;
        }
        // A virtual machine refuses an initial heap above the maximum: the user's -Xms stands.
        sizes.max_mb = mb > initial_mb_given ? mb : initial_mb_given;
    }
    if (rule.initial_percent > 0 && !initial_mb_given && memory_mb) {
        unsigned mb = share(memory_mb, rule.initial_percent);
        unsigned most = max_mb_given ? max_mb_given : sizes.max_mb;
        sizes.initial_mb = most && mb > most ? most : mb;
    }
    return sizes;
}

unsigned heap_option_mb(const char *value)
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
    int shift = unit ? (int)(unit - units + 1) * 10 : 0;
    return shift >= 20 ? (unsigned)(bytes << (shift - 20)) : (unsigned)(bytes >> (20 - shift));
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
static unsigned given_size(const launcher_settings &settings, const jvm_option_list &list,
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
    unsigned mb = heap_option_mb(value);
    // A size the virtual machine reads but not in whole MB (below 1 MB): still given.
    return mb ? mb : 1;
}

// Appends "<prefix><mb>m".
static void append_size(jvm_option_list *list, const char *prefix, unsigned mb, const char *why)
{
    char digits[12];
    char *option = join_text(prefix, decimal_text((int)mb, digits), "m");
    trace("heap: %s computed (%s)", option, why);
    append_jvm_option(list, option);
}

heap_sizes given_heap_sizes(const launcher_settings &settings, const jvm_option_list &list)
{
    return {given_size(settings, list, "-Xmx", "-XX:MaxHeapSize="),
            given_size(settings, list, "-Xms", "-XX:InitialHeapSize=")};
}

void add_heap_options(const launcher_settings &settings, const heap_sizes &given,
                      jvm_option_list *list)
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
    heap_sizes sizes = compute_heap_sizes(rule, machine, given.max_mb, given.initial_mb);
    if (sizes.max_mb)
        append_size(list, "-Xmx", sizes.max_mb, "max_heap_percent of the physical memory");
    if (sizes.initial_mb)
        append_size(list, "-Xms", sizes.initial_mb, "initial_heap_percent of the physical memory");
}
