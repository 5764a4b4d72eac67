// The running instance's side of a hand-over in Java: the thread that calls the application's
// hand-over method, the method, and each message's call.
#pragma once

#include <jni.h>

#include "base/handover.h"
#include "config/settings.h"
#include "java/jvm.h"

// The method a message is handed to.
struct handover_target {
    jclass owner;  // a global reference
    jmethodID method;
};

// Attaches the calling thread to jvm as a daemon named "Trevalo handover thread": the
// application ends when its own threads do, whatever this one waits for. Null after a
// reported failure.
JNIEnv *attach_handover_thread(const launcher_settings &settings, const jvm_record &jvm);

// Finds the static method instance_handover names, void (String[] arguments, String
// workingDirectory), of class_name (FindClass's form); false after a report that names it.
bool find_handover_method(JNIEnv *env, const launcher_settings &settings,
                          const char *class_name, const char *method, handover_target *target);

// Calls target with message's arguments and folder. An exception it throws is reported as
// main's are (its text, with its stack trace on a console's standard error), and cleared:
// false then.
bool deliver_handover_message(JNIEnv *env, const launcher_settings &settings,
                              const handover_target &target, const handover_message &message);
