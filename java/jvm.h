// Creating and destroying the Java virtual machine inside the launcher's process.
#pragma once

#include <jni.h>

#include "config/run_context.h"
#include "java/launch_plan.h"
#include "java/runtime_search.h"

typedef jint(JNICALL *create_vm_entry)(JavaVM **vm, void **env, void *args);

// A created virtual machine: what running main, the stopper and destroying it take.
struct jvm_record {
    char library_path[RUNTIME_PATH_SIZE]; // the runtime library that was chosen
    void *library;                        // that library, loaded
    create_vm_entry create_vm;            // its JNI_CreateJavaVM
    void *default_init_args;              // its JNI_GetDefaultJavaVMInitArgs, required present
    JavaVM *vm;
    JNIEnv *env; // of the thread that created the virtual machine
    jint attach_version; // the JNI version of the attach record, one the runtime supports
    output_rules output; // how main's run opens the output files, as planned
    const char *main_directory; // the directory entered before main, as planned (null: stays)
};

// Carries out plan: loads its runtime, creates the virtual machine with the "vfprintf",
// "abort" and "exit" hooks and the given options, sets the late properties, and fills *jvm.
// For a plan with console, the process gets a console and both the standard streams and
// System.out/err go to it. Returns false after a failure it has reported.
bool execute_plan(const run_context &run, const launch_plan &plan, jvm_record *jvm);

// Enters the early directory of plan (whose start plan_run_start planned), gathers the facts,
// plans the virtual machine of run (plan_launch) and carries the plan out in *jvm. Returns
// false after a failure it has reported.
bool create_jvm(const run_context &run, launch_plan *plan, const char *class_path,
                bool expand_folders, int count, char **vector, jvm_record *jvm);

// Detaches the calling thread, waits in DestroyJavaVM for the application's last non-daemon
// thread, and unloads the runtime library.
void destroy_jvm(const jvm_record &jvm);
