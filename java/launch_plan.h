// The plan of a run's virtual machine: what the run decides before anything is loaded, from
// the settings, the command line and what the system reports. Creating the virtual machine
// (jvm.h) only carries it out.
#pragma once

#include "config/run_context.h"
#include "java/runtime_search.h"
#include "output/output_files.h"

struct launch_plan {
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
    // What the runtime search passed over, and why: what the report says when it found none.
    passed_over passed;
};

// What the system reports for a run's plan, gathered before planning.
struct launch_facts {
    // The runtime search's, as runtime_request_for(run) asks it for this launcher's processor.
    runtime_search_outcome runtime;
};

// What the runtime search of run is asked for: its settings, guarded as run is.
runtime_request runtime_request_for(const run_context &run);

// The lines that say why a search for request found no runtime for the processor machine
// (SEARCH_NOTE_SIZE bytes at note): first the folder a guarded search refused, then a line for
// each runtime of passed, in its order, then the versions the application needs (none when it
// takes any); no line break after the last. Empty when there is nothing to say.
void describe_passed_over(const passed_over &passed, const runtime_request &request,
                          unsigned machine, char *note);

// Plans the virtual machine of run: takes the runtime the search of facts found (none: reports
// what it passed over and the versions needed), builds the options
// from the jvm_options setting, the user's options file (not for a guarded run or a service),
// class_path (whose folders are expanded with expand_folders), class sharing, the heap, the
// crash evidence and "-Dsun.java.command=" of main's count arguments of vector (none: the
// app_args setting), and sorts them into given and late; and the rules of the output files.
// Returns false after a failure it has reported (no runtime, a folder refused, an option the
// runtime cannot read).
bool plan_launch(const run_context &run, const launch_facts &facts, const char *class_path,
                 bool expand_folders, int count, char **vector, launch_plan *plan);

// Frees what plan holds but the given options.
void free_launch_plan(launch_plan *plan);
