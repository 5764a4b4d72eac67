// The plan of a run's virtual machine: what the run decides before anything is loaded, from
// the settings, the command line and what the system reports. Creating the virtual machine
// (jvm.h) only carries it out.
#pragma once

#include "config/run_context.h"
#include "java/class_sharing.h"
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
    // What class sharing does before the virtual machine is created; its options are among
    // the given ones.
    class_sharing_action class_sharing;
};

// Plans the virtual machine of run: finds a runtime (guarded as run is), builds the options
// from the jvm_options setting, the user's options file (not for a guarded run or a service),
// class_path (whose folders are expanded with expand_folders), class sharing, the heap, the
// crash evidence and "-Dsun.java.command=" of main's count arguments of vector (none: the
// app_args setting), and sorts them into given and late; and the rules of the output files.
// Returns false after a failure it has reported (no runtime, a folder refused, an option the
// runtime cannot read).
bool plan_launch(const run_context &run, const char *class_path, bool expand_folders, int count,
                 char **vector, launch_plan *plan);

// Frees what plan holds but the given options.
void free_launch_plan(launch_plan *plan);
