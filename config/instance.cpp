#include "config/instance.h"

#include <stdlib.h>
#include <string.h>

#include "base/handover.h"
#include "base/text.h"
#include "base/unicode.h"
#include "os/handover_channel.h"
#include "os/os.h"

enum {
    // Windows's MAX_PATH: the longest name a kernel object may have, in UTF-16 units with its 0.
    NAME_UNITS_MOST = 260,
    // ERROR_ALREADY_EXISTS.
    ALREADY_RUNNING_STATUS = 183,
};

// The instance's tag: a hash of the launcher's full path and main class, upper-cased as
// Windows compares paths. The main class alone is shared by unrelated applications (every
// Spring Boot jar has the same one), so the hash covers the launcher's full path with it:
// stable for every start of one launcher however its path is typed, distinct for launchers in
// different folders. A hash of the configuration would instead let an updated launcher start
// beside the old one still running. The hash is of the UTF-16 text's bytes, as launchers
// have always made it: launchers of both ages must find each other's instance.
static void instance_tag(const char *path, const char *main_class,
                         char tag[ARCHIVE_FOLDER_NAME_SIZE])
{
    char *hashed = join_text(path, "\n", main_class);
    char *upper = upper_case_name(hashed);
    free(hashed);
    size_t units;
    uint16_t *key = utf8_to_utf16(upper, strlen(upper), &units);
    free(upper);
    archive_folder_name(archive_hash((const unsigned char *)key, units * sizeof *key), tag);
    free(key);
}

// The instance's name: "Local\Trevalo-<tag>-<main class>", in the session's namespace. The
// main class follows for whoever reads the name (cut to keep the name within MAX_PATH).
static uint16_t *instance_name(const char *tag, const char *main_class)
{
    char *prefix = join_text("Local\\Trevalo-", tag, "-");
    char *text = join_text(prefix, main_class);
    size_t units;
    uint16_t *name = utf8_to_utf16(text, strlen(text), &units);
    free(prefix);
    free(text);
    if (units >= NAME_UNITS_MOST)
        name[NAME_UNITS_MOST - 1] = 0;
    return name;
}

instance_plan plan_instance(const run_context &run, const char *executable_path)
{
    const launcher_settings &settings = *run.settings;
    instance_plan plan = {};
    instance_tag(executable_path ? executable_path : "", settings.main_class, plan.tag);
    plan.mutex_name = instance_name(plan.tag, settings.main_class);
    char *class_name, *method;
    handover_mode mode = parse_handover_setting(settings.instance_handover, &class_name, &method);
    free(class_name);
    free(method);
    // Only front and a method hand over: an empty setting, or one that is not valid, refuses.
    plan.channel = mode == HANDOVER_FRONT || mode == HANDOVER_METHOD
                       ? handover_channel_name(plan.tag) : nullptr;
    // Refused: a script must see that a refused console launcher did nothing, so it ends with
    // ERROR_ALREADY_EXISTS; a GUI launcher ends with 0, as it always has. A failed hand-over is
    // a start that failed.
    plan.refused_status = run.kind == RUN_CONSOLE ? ALREADY_RUNNING_STATUS : 0;
    plan.handed_over_status = 0;
    plan.handover_failed_status = start_failure_status(run.kind);
    return plan;
}

void free_instance_plan(instance_plan *plan)
{
    free(plan->mutex_name);
    free(plan->channel);
    plan->mutex_name = nullptr;
    plan->channel = nullptr;
}
