// Creating and destroying the Java virtual machine inside the launcher's process.
#pragma once

#include <jni.h>

#include "config/settings.h"
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
    bool service;        // created for a service run
};

// Finds a runtime, loads it, creates the virtual machine with the jvm_options setting and
// class_path (whose folders are expanded with expand_folders) and the "vfprintf", "abort" and
// "exit" hooks, and fills *jvm. With console, the process gets a console and both the standard
// streams and System.out/err go to it (service run). Returns false after a failure it has
// reported. The count arguments of vector are main's (none: the app_args setting), which
// sun.java.command names after the main class, as the java command sets it.
bool create_jvm(const launcher_settings &settings, bool console, const char *class_path,
                bool expand_folders, int count, char **vector, jvm_record *jvm);

// Detaches the calling thread, waits in DestroyJavaVM for the application's last non-daemon
// thread, and unloads the runtime library.
void destroy_jvm(const jvm_record &jvm);
