// The JNI calls that running main, stopping the application and creating the virtual machine
// share: the exception check, Java strings, system properties, stream redirection and the
// attach record. Failures are reported with the messages of the settings given.
#pragma once

#include <jni.h>

#include "config/settings.h"

// The JNI version for the attach record: version (the java_version setting) when the runtime
// supports it as a JNI version, else JNI_VERSION_1_2, which every runtime the launcher loads
// supports. A minimum Java version is seldom a JNI version ("8", 0x00010005, 0x000B0000), and
// a runtime ignores the name of a record whose version it does not support (HotSpot names
// the thread "Thread-<n>") or refuses the attach. default_init_args is the runtime's
// JNI_GetDefaultJavaVMInitArgs, which answers JNI_OK for exactly the versions it supports
// and needs no virtual machine.
jint attach_version(unsigned version, void *default_init_args);

// The attach record of every native thread that attaches itself: version (attach_version's)
// and the name "Trevalo stopper thread".
JavaVMAttachArgs stopper_attach_args(jint version);

// After a JNI call: when an exception is pending, prints it (to the current System.err) and
// clears it, and returns true.
bool check_java_exception(JNIEnv *env);

// A JNI step failed when an exception is pending (printed and cleared) or its result is null.
bool jni_step_failed(JNIEnv *env, const void *result);

// A Java string of the UTF-8 text, or null with an exception pending.
jstring new_java_string(JNIEnv *env, const char *text);

// System.setProperty(key, value); reports and returns false on failure.
bool set_java_property(JNIEnv *env, const launcher_settings &settings, const char *key,
                       const char *value);

// Points System.out (out) and System.err (err) at one stream on the file at path, written at
// its end with append, else created afresh; reports and returns false on failure.
bool redirect_java_stream(JNIEnv *env, const launcher_settings &settings, const char *path,
                          bool out, bool err, bool append = false);
