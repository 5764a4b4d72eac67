// The plan of a run's virtual machine: what the run decides before anything is loaded, from
// the settings, the command line and what the system reports. Creating the virtual machine
// (jvm.h) only carries it out.
#pragma once

#include "config/run_context.h"
#include "config/user_options.h"
#include "java/class_sharing.h"
#include "java/crash_evidence.h"
#include "java/runtime_search.h"
#include "output/output_files.h"
#include "unpacking/embedded_files.h"

// What the system reported for a run's virtual machine, gathered before it is planned.
struct launch_facts {
    // The user's options file: read only where the run may use it (reads_user_options).
    user_option_lines user;
    crash_facts crash; // the crash folder and the earlier runs' records in it
    // The runtime search's, as runtime_request_for(run) asks it for this launcher's processor.
    runtime_search_outcome runtime;
};

struct launch_plan {
    // Planned at the start of the run (plan_run_start), and each carried out before the next
    // part is planned, since that part depends on it:
    // the embedded files' action, whose folder lists the class path;
    unpack_plan unpack;
    // the directory entered before the virtual machine is planned (relative class-path entries
    // resolve in it), and the one entered just before main is called; null: stays.
    const char *early_directory;
    const char *main_directory;
    // The runtime library chosen.
    char library_path[RUNTIME_PATH_SIZE];
    // The creation options in the runtime's encoding, in order, the class path's last; they
    // stay for the life of the process, as a virtual machine may keep pointers into what it
    // was created with.
    char **given;
    int given_count;
    // The properties ("-Dname=value") the runtime cannot read in its code page: set through
    // System.setProperty, in UTF-16, once the virtual machine runs.
    char **late;
    int late_count;
    // A service run's: the process gets a console, and both the standard streams and
    // System.out/err go to it.
    bool console;
    // How the output files are rotated and opened.
    output_rules output;
    // The crash evidence made before the virtual machine is created.
    crash_evidence_plan crash;
    // What class sharing does before the virtual machine is created; its options are among
    // the given ones.
    class_sharing_action class_sharing;
    // What the runtime search passed over, and why: what the report says when it found none.
    passed_over passed;
};

// What the runtime search of run is asked for: its settings, guarded as run is.
runtime_request runtime_request_for(const run_context &run);

// The lines that say why a search for request found no runtime for the processor machine
// (SEARCH_NOTE_SIZE bytes at note): first the folder a guarded search refused, then a line for
// each runtime of passed, in its order, then the versions the application needs (none when it
// takes any); no line break after the last. Empty when there is nothing to say.
void describe_passed_over(const passed_over &passed, const runtime_request &request,
                          unsigned machine, char *note);

// Plans the start of run with archive, the embedded files: the embedded files' action and the
// directories. False after a failure it has reported: an INI file that other accounts may
// have written (it is neither used nor run without), a damaged archive.
bool plan_run_start(const run_context &run, const embedded_archive &archive, launch_plan *plan);

// Whether run reads the user's options file: the user's to change, so never a service's
// (whose account is not the user's) or a guarded run's.
bool reads_user_options(const run_context &run);

// Gathers the facts of run's virtual machine through the system seam.
void gather_launch_facts(const run_context &run, launch_facts *facts);

void free_launch_facts(launch_facts *facts);

// Plans the virtual machine of run, whose start plan_run_start planned, with facts: takes the
// runtime the search found (none: reports what it passed over and the versions needed), builds
// the options from the jvm_options setting, the user's options (in facts), class_path (whose
// folders are expanded with expand_folders), class sharing, the heap, the crash evidence and
// "-Dsun.java.command=" of main's count arguments of vector (none: the app_args setting), and
// sorts them into given and late; and the rules of the output files.
// Returns false after a failure it has reported (no runtime, a folder refused, an option the
// runtime cannot read).
bool plan_launch(const run_context &run, const launch_facts &facts, const char *class_path,
                 bool expand_folders, int count, char **vector, launch_plan *plan);

// Frees what plan holds but the given options.
void free_launch_plan(launch_plan *plan);
