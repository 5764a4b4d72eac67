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

// An earlier run's record found in the crash folder: one that a running launcher holds
// cannot be read and is not listed.
struct earlier_run_record {
    char *name;         // its file name ("<process id>.run")
    char *text;         // what it holds
    bool report_exists; // whether the crash report its first line names is there
};

// What the system tells of the crash evidence before the run is planned; gathering reads
// only, and makes nothing.
struct crash_facts {
    // The crash folder, made or not yet: the user's %LOCALAPPDATA%\Trevalo\<main class>\crashes;
    // a guarded run's (a service's, an elevated one's, as the guard says)
    // Trevalo\<stored main class>\crashes in the machine's program-data folder. Null when
    // that base folder is not known: the run goes without evidence.
    char *folder;
    earlier_run_record *records; // the earlier runs' records in it, record_count of them
    int record_count;
    bool boxes;           // reports go to message boxes
    unsigned process_id;  // this process's
};

// Gathers the crash facts of a run with settings, guarded as trust says. A guarded run reads
// a record only where its folder passes the private-folder check.
void gather_crash_facts(const launcher_settings &settings, const run_guard &trust,
                        crash_facts *facts);
void free_crash_facts(crash_facts *facts);

// An earlier run to tell of. Its record is removed first, and only the start that removes it
// tells: of two launchers starting at once, one tells.
struct earlier_run_notice {
    char *record;        // the record's path
    const char *message; // how it ended: the notice, its %s the report; null: as runs end
    bool shown;          // the user is told (not the trace only)
    char *report;        // the crash report the record names
};

// The crash evidence decided before the virtual machine is created. No folder: none.
struct crash_evidence_plan {
    char *folder;                 // the crash folder, made (held, for a guarded run) by the run
    earlier_run_notice *earlier;  // earlier_count runs to tell of, in the folder's order
    int earlier_count;
    char *report;                 // this run's crash report, as its record's first line names it
    char *record;                 // this run's record
    // The -XX:ErrorFile= option added: its index in the option list, then, once the launch
    // plan has sorted the options, among its given ones; -1 when none was added.
    int option_at;
};

// Decides the crash evidence from facts: the earlier runs told (a notice for the user unless
// crash_notice is off and messages go to a box; the trace always), this run's report (the one
// the options name, %p its process id as the virtual machine reads it, else one in the
// folder, then given to the virtual machine by -XX:ErrorFile=, appended to list, when the
// runtime can read it) and this run's record.
void plan_crash_evidence(const launcher_settings &settings, const crash_facts &facts,
                         jvm_option_list *list, crash_evidence_plan *plan);

// Before the virtual machine is created: makes the plan's folder (private and held for a
// guarded run), tells the earlier runs, trims the reports and opens this run's record. A
// folder that cannot be made leaves the run without evidence (false: the -XX:ErrorFile=
// option is then not given), never stops it.
bool make_crash_evidence(const crash_evidence_plan &plan, const run_guard &trust);
void free_crash_evidence_plan(crash_evidence_plan *plan);
