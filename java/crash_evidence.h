// Evidence when the virtual machine crashes: its crash report written into a folder of the
// application's (not the working directory, often a folder nobody may write or finds), the
// newest reports kept, and a record of each run that tells the next start how it ended, so
// that a crash is told once.
#pragma once

#include "config/settings.h"
#include "java/jvm_options.h"

// The crash reports kept in the folder.
enum { CRASH_REPORTS_KEPT = 5 };

// How the run of a record ended, as the next start tells it.
enum last_run_end {
    RUN_ENDED,          // as a run ends, or ended from outside: nothing to say
    RUN_CRASHED,        // the virtual machine crashed and wrote its report
    RUN_ABORTED,        // through the virtual machine's abort, no report written
    RUN_BEFORE_VM,      // the process ended while the virtual machine was being created
};

// The end that record tells (its first line the crash report's path, then one line for each
// step the run reached: "starting", "created", "failed", "aborted"), report_exists saying
// whether the report named is there.
last_run_end read_run_end(const char *record, bool report_exists);

// Removes the oldest crash reports ("hs_err_pid*.log") of folder while it holds more than
// CRASH_REPORTS_KEPT.
void trim_crash_reports(const char *folder);

// Before the virtual machine is created: tells once of each earlier run of this application
// that crashed (a message for the user, unless crash_notice is off and messages go to a box;
// the trace always), trims the reports, adds -XX:ErrorFile= for this run's report to list
// unless the options name one, and opens this run's record. The folder: the user's
// %LOCALAPPDATA%\Trevalo\<main class>\crashes; a guarded run's (a service's, an elevated
// one's, as trust says) Trevalo\<stored main class>\crashes in the machine's private
// program-data folder. A folder that cannot be made leaves the run without evidence, never
// stops it.
void prepare_crash_evidence(const launcher_settings &settings, const run_guard &trust,
                            jvm_option_list *list);
