// The run's arguments from the command line, and the expansion of their wildcards. Portable:
// the folders are listed through the system seam.
#include "config/arguments.h"

#include <stdlib.h>
#include <string.h>

#include "base/command_line.h"
#include "base/memory.h"
#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

// The growing result vector.
struct argument_list {
    char **items;
    int count, capacity;
};

static void add_argument(argument_list *list, char *argument)
{
    if (list->count == list->capacity) {
        list->capacity = list->capacity ? 2 * list->capacity : 16;
        char **grown = (char **)must_alloc((size_t)list->capacity * sizeof(char *));
        if (list->count)
            memcpy(grown, list->items, (size_t)list->count * sizeof(char *));
        free(list->items);
        list->items = grown;
    }
    list->items[list->count++] = argument;
}

static bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// Adds the names in argument's folder that match its last part, after that folder part as
// written; returns how many.
static int add_matches(argument_list *list, const char *argument, const char *base)
{
    // The folder part: up to the last separator, or a drive's "C:".
    const char *name = argument;
    for (const char *p = argument; *p; p++)
        if (is_separator(*p) || (p == argument + 1 && *p == ':'))
            name = p + 1;
    size_t folder_length = (size_t)(name - argument);
    if (strcspn(argument, "*?") < folder_length || !name[strcspn(name, "*?")])
        return 0;
    char *folder = (char *)must_alloc(folder_length + 1);
    memcpy(folder, argument, folder_length);
    folder[folder_length] = '\0';
    // The folder to list: the written one when absolute (a root, a drive), else below base.
    bool absolute = is_separator(folder[0]) || (folder[0] && folder[1] == ':');
    char *listed = absolute ? join_text(folder, "")
                            : join_text(base, folder_length ? "\\" : "", folder);
    // The listing adds "\*.*": a root's "C:\" becomes "C:", whose "C:\*.*" is the root.
    size_t listed_length = strlen(listed);
    if (listed_length && is_separator(listed[listed_length - 1]))
        listed[listed_length - 1] = '\0';

    int found = 0;
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(listed, &listing, &entry);
    if (step == LISTING_ENTRY) {
        for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
            if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0 ||
                !wildcard_match(name, entry.name))
                continue;
            add_argument(list, join_text(folder, entry.name));
            found++;
        }
        close_directory_listing(listing);
    }
    trace("argument %s: %d names in %s", argument, found, listed);
    free(listed);
    free(folder);
    return found;
}

const char *configured_arguments(const launcher_settings &settings, int count)
{
    return count == 0 ? settings.app_args : nullptr;
}

void expand_wildcard_arguments(int *count, char ***vector, const bool *wildcards, int first,
                               const char *base)
{
    bool any = false;
    for (int i = first; i < *count; i++)
        any = any || wildcards[i];
    if (!any)
        return;
    argument_list list = {};
    for (int i = 0; i < *count; i++) {
        char *argument = (*vector)[i];
        if (i >= first && wildcards[i] && add_matches(&list, argument, base) > 0)
            free(argument);
        else
            add_argument(&list, argument);
    }
    free(*vector);
    *vector = list.items;
    *count = list.count;
}

run_arguments read_run_arguments(const launcher_settings &settings, const char *command_line)
{
    run_arguments arguments = {};
    if (strcmp(settings.command_line_rule, "windows") == 0)
        split_windows_command_line(command_line, &arguments.count, &arguments.vector, true,
                                   &arguments.wildcards);
    else
        split_command_line(command_line, &arguments.count, &arguments.vector, true);
    arguments.service_run = settings.service_name[0] && settings.service_switch[0] &&
                            arguments.count == 2 &&
                            strcmp(arguments.vector[1], settings.service_switch) == 0;
    return arguments;
}
