// Creating and destroying the Java virtual machine inside the launcher's process, and
// collecting what the virtual machine prints.
#pragma once

#include <jni.h>
#include <stdarg.h>
#include <stdio.h>

// Published by create_jvm and never reset: the loaded runtime library, the virtual machine
// and the JNI environment of the thread that created it.
extern void *runtime_library;
extern JavaVM *java_vm;
extern JNIEnv *jvm_env;

// Finds a runtime, loads it, creates the virtual machine with the option text (setting 1056
// and class_path, whose folders are expanded with expand_folders) and the "vfprintf", "abort"
// and "exit" hooks, and publishes the handles. With console, the process
// gets a console and both the standard streams and System.out/err go to it (service run).
// Returns false after a failure it has reported.
bool create_jvm(bool console, const char *class_path, bool expand_folders);

// Detaches the calling thread, waits in DestroyJavaVM for the application's last non-daemon
// thread, and unloads the runtime library.
void destroy_jvm();

// The virtual machine's "vfprintf" hook: writes the formatted text (each piece cut at 4095
// characters) to the process's standard error at once, and keeps the last 16 KB of it for a
// failure message; returns the piece's length. Safe from any thread, in constant time.
jint JNICALL jvm_output_hook(FILE *stream, const char *format, va_list args);

// Takes the kept text, leaving none kept: null when there is none, otherwise a heap text the
// caller frees.
char *take_jvm_message_text();

// True while the virtual machine is being created.
bool jvm_creation_pending();

// Reports that the chosen runtime library could not create a virtual machine, with what the
// virtual machine printed about why.
void report_creation_failure();
