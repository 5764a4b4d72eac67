// The run sequence shared by the interactive run and the service worker.
#pragma once

#include "config/run_context.h"
#include "java/jvm.h"

// Unpacks the embedded files (privately for a guarded run), creates the virtual machine of
// run in *jvm with them as the class path when there are any, else with the class_path
// setting, calls main with the count arguments of vector (none: the app_args setting split),
// and destroys the virtual machine, which waits for the application's last non-daemon thread.
// *jvm stays filled for a stop call from another thread. main_returned (may be null) learns
// main's outcome before that wait, while other threads may still end the process. True when
// main returned normally; false after a reported failure. main_calling (may be null) learns
// that main is about to be called: the virtual machine runs and the main class and method
// were found.
bool run_application(const run_context &run, int count, char **vector, jvm_record *jvm,
                     void (*main_returned)(bool ok), void (*main_calling)() = nullptr);
