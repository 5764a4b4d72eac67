// Running the application's main class, and the JNI operations shared with the stopper.
#pragma once

#include <jni.h>

// Calls main of the main class with the count arguments of vector, or with setting 1184 split
// when count is 0. With attach, the calling thread attaches first (as the stopper thread),
// does not redirect the output files again, and detaches afterwards. Returns true when main
// returned without a pending exception; false after a reported failure. calling (may be null)
// is called once everything is in place, just before main.
bool run_main_class(int count, char **vector, bool attach, void (*calling)() = nullptr);

// The attach record of every native thread that attaches itself: the JNI version of setting
// 1024 and the name "Trevalo stopper thread".
JavaVMAttachArgs stopper_attach_args();

// After a JNI call: when an exception is pending, prints it (to the current System.err) and
// clears it, and returns true.
bool check_java_exception(JNIEnv *env);

// System.setProperty(key, value); reports and returns false on failure.
bool set_java_property(JNIEnv *env, const char *key, const char *value);

// Points System.out (out) and System.err (err) at one stream on the file at path, created
// afresh; reports and returns false on failure.
bool redirect_java_stream(JNIEnv *env, const char *path, bool out, bool err);
