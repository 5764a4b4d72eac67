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

// Whether a JNI step worked: no exception pending and a result (jni_call_ok, for a call that
// gives none: no exception pending). Otherwise reports message with subject, followed by the
// pending exception's text (its stack trace too where the sink keeps traces), which is taken,
// and gives false.
bool jni_step_ok(JNIEnv *env, const void *result, const char *message, const char *subject);
bool jni_call_ok(JNIEnv *env, const char *message, const char *subject);

// FindClass(name); null after a reported failure.
jclass find_java_class(JNIEnv *env, const launcher_settings &settings, const char *name);

// The static method name (signature) of java_class; null after a reported failure, which
// names it as description.
jmethodID find_static_method(JNIEnv *env, const launcher_settings &settings, jclass java_class,
                             const char *name, const char *signature, const char *description);

// Takes the pending exception: prints it where a real run does (ExceptionDescribe, to the
// current System.err), clears it, and gives its text as a new heap text: with trace, what
// printStackTrace writes (the exception, its stack and its causes'); otherwise, or when that
// cannot be had, its toString() and each cause's on a line "Caused by: ...". Null when no
// exception is pending or nothing of it can be read.
char *take_java_exception(JNIEnv *env, bool trace);

// System.getProperty(name) as a new heap text; null when it is not set or cannot be read (an
// exception it throws is cleared). No exception may be pending.
char *java_property(JNIEnv *env, const char *name);

// The UTF-8 text of a Java string as a new heap text; null for null.
char *java_string_text(JNIEnv *env, jstring string);
// A Java string of the UTF-8 text, or null with an exception pending.
jstring new_java_string(JNIEnv *env, const char *text);

// System.setProperty(key, value); reports and returns false on failure.
bool set_java_property(JNIEnv *env, const launcher_settings &settings, const char *key,
                       const char *value);

// Points System.out (out) and System.err (err) at one stream on the file at path, written at
// its end with append, else created afresh; reports and returns false on failure.
bool redirect_java_stream(JNIEnv *env, const launcher_settings &settings, const char *path,
                          bool out, bool err, bool append = false);
