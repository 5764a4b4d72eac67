// The single-instance guard's plan: the name of the mutex that marks the running instance,
// the channel a second start hands over on, and how a second start ends. Decided from the
// run's context and the launcher's path, before the launcher takes or finds the mutex.
#pragma once

#include <stdint.h>

#include "base/archive.h"
#include "config/run_context.h"

struct instance_plan {
    // The instance's tag: the same for every start of one launcher, however its path is typed.
    char tag[ARCHIVE_FOLDER_NAME_SIZE];
    // The named mutex, in UTF-16 as Windows takes it, with a terminating 0.
    uint16_t *mutex_name;
    // The hand-over channel's name; null when a second start hands nothing over (the
    // instance_handover setting is empty or invalid, or the account cannot be read).
    char *channel;
    // How a second start ends: refused (the "already running" report made), its arguments
    // handed over, or after a reported failure to hand them over.
    int refused_status, handed_over_status, handover_failed_status;
};

// The plan of run's single instance for the launcher at executable_path (null when it cannot
// be read). free_instance_plan releases it.
instance_plan plan_instance(const run_context &run, const char *executable_path);
void free_instance_plan(instance_plan *plan);
