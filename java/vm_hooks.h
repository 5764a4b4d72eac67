// The hooks through which the virtual machine prints and ends the process, and the state they
// reach. The virtual machine calls them with no pointer of the launcher's, so what they need
// lives here, process-wide, and nowhere else in the launcher's lower layers: the tail of what
// the virtual machine printed, the entry point's end hook, and the creation under way.
#pragma once

#include <jni.h>
#include <stdarg.h>
#include <stdio.h>

// The failure an abort of the virtual machine, or a run that could not start, ends with.
enum { APPLICATION_FAILED = 1 };

// The virtual machine's "vfprintf" hook: writes the formatted text (each piece cut at 4095
// characters) to the process's standard error at once, and keeps the last 16 KB of it for a
// failure message; returns the piece's length. Safe from any thread, in constant time.
jint JNICALL jvm_output_hook(FILE *stream, const char *format, va_list args);

// Takes the kept text, leaving none kept: null when there is none, otherwise a heap text the
// caller frees.
char *take_jvm_message_text();

// What must happen before the virtual machine ends the process (the interactive run releases
// its instance mutex, a service completes its hand-shake with the service manager); installed
// by the entry point before the virtual machine is created. failure is 0 for a clean end,
// else the status given to System.exit, or APPLICATION_FAILED.
void set_application_end_hook(void (*hook)(int failure));

struct os_file;

// Makes record (held open to the process's end) the record of this run that a later start
// reads: each step the run reaches is written to it as a line ("starting" before the
// creation, "created" or "failed" after it, "aborted" from the abort hook), so that a process
// that ended at any other point is told from one that crashed.
void set_run_record(os_file *record);

// Marks the creation of a virtual machine by the runtime library at library as under way;
// message is the format (its "%s" the library) a failed creation is reported with. Both texts
// must last until end_vm_creation.
void begin_vm_creation(const char *message, const char *library);

// Marks the creation as over; when created is false, reports the failure with what the
// virtual machine printed about why.
void end_vm_creation(bool created);

// Catches the runtime library's own calls of the C runtime's exit, _exit, vfprintf and _write: a
// virtual machine that cannot start before it has read its options (its java.dll missing)
// prints why to the C runtime's standard error and ends the process from inside the creation,
// calling no hook. During the creation, what it prints goes where the "vfprintf" hook sends
// it, and an exit is reported as a failed creation (with what it printed) and ends the
// process as every other start failure does; at any other time the calls go on to the C
// runtime.
void watch_runtime_exit(void *library);

// The status a run that could not start ends the process with when the virtual machine ends
// it while it is created: -1 unless the entry point sets another (a console launcher's 1).
void set_start_failure_status(int status);

// The virtual machine's "exit" hook: shows what the virtual machine printed when status is
// not 0, runs the application end hook and ends the process with status.
void JNICALL jvm_exit_hook(jint status);

// The virtual machine's "abort" hook. During creation: reports the failed creation with what
// the virtual machine printed, runs the end hook and ends the process with the start failure
// status. Afterwards:
// shows what the virtual machine printed, runs the end hook and ends the process through
// abort(). The runtime library stays loaded: other virtual-machine threads may still run its
// code.
void JNICALL jvm_abort_hook();
