// Service mode: the service switches, installing and removing the service, and running as one.
#pragma once

#include "config/run_context.h"
#include "config/settings.h"

// Handles the command line when settings name a service and it is exactly one argument (slot
// 1; slot 0 is reserved) equal to one of the operating switches of settings (all but the
// service run's), and returns true (otherwise false: the arguments are the application's); *exit_status is then 0 on
// success (an install over this launcher's own service updates it) or the system's error code
// of the failure (1073 for another program's service of that name, 1053 for a service that
// did not stop in time, a failed run's exit code for -start and -stop). -status ends with 0
// for a running service, 2 for one starting or stopping, 3 for a stopped one. The names,
// texts and service settings are those of settings.
bool dispatch_service_switch(const launcher_settings &settings, int count, char **vector,
                             int *exit_status);

// Installs the running executable as the service name, with its event-log source, the
// description (may be empty) and the service settings of settings: start type, dependencies,
// account, delayed start, recovery and the pre-shutdown time. A setting that the manager does
// not accept is reported and leaves the service installed without it. 0 on success, -1 after
// a reported failure, which leaves no service record behind.
int install_service(const launcher_settings &settings, const char *name,
                    const char *description);

// The delay of a restart after a failure, in milliseconds as the manager takes it, for the
// setting restart_seconds; 0 for none, the longest the manager can hold for a longer one.
unsigned restart_delay_ms(int seconds);

// Stops the service name when it runs (within the stop time-out of settings), then removes it
// and the event-log source this launcher registered. 0 on success, -1 after a reported
// failure (the last error says why; 1053 when the service did not stop).
int uninstall_service(const launcher_settings &settings, const char *name);

// Makes the folders of the service's output files when they are missing; false after
// reporting one that cannot be made.
bool ready_service_output_folders(const launcher_settings &settings);

// Runs the process as the service of run (a service run): returns when the service has
// stopped, or at once when the manager did not start the process.
void run_as_service(const run_context &run);
