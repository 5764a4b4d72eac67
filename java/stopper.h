// Ending the application: the stopper that makes it call System.exit(0), and the hooks
// through which the virtual machine ends the process.
#pragma once

#include <jni.h>

// Attaches the calling native thread as "Trevalo stopper thread" and calls System.exit(0).
// Normally does not return: the virtual machine ends the process through jvm_exit_hook.
// Returns false after a reported failure, true if System.exit returned.
bool stop_java_application();

// The failure an abort of the virtual machine, or a run that could not start, ends with.
enum { APPLICATION_FAILED = 1 };

// What must happen before the virtual machine ends the process (the interactive run releases
// its instance mutex, a service completes its hand-shake with the service manager); installed
// by the entry point before the virtual machine is created. failure is 0 for a clean end,
// else the status given to System.exit, or APPLICATION_FAILED.
void set_application_end_hook(void (*hook)(int failure));

// The virtual machine's "exit" hook: shows what the virtual machine printed when status is
// not 0, runs the application end hook and ends the process with status.
void JNICALL jvm_exit_hook(jint status);

// The virtual machine's "abort" hook. During creation: reports the failed creation with what
// the virtual machine printed, runs the end hook and ends the process with -1. Afterwards:
// shows what the virtual machine printed, runs the end hook and ends the process through
// abort(). The runtime library stays loaded: other virtual-machine threads may still run its
// code.
void JNICALL jvm_abort_hook();
