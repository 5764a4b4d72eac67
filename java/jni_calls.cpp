// The JNI calls shared by the main class, the stopper and the virtual machine's creation.
// Portable JNI code.
#include "java/jni_calls.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base/unicode.h"
#include "os/report.h"

typedef jint(JNICALL *default_init_args_entry)(void *args);

jint attach_version(unsigned version, void *default_init_args)
{
    // JNI_VERSION_1_1 is asked of no runtime: a record of that version is the older, larger
    // one, which HotSpot fills in, and no runtime takes an attach name with it.
    if ((jint)version == JNI_VERSION_1_1 || (jint)version == JNI_VERSION_1_2)
        return JNI_VERSION_1_2;
    JavaVMInitArgs args = {};
    args.version = (jint)version;
    if (((default_init_args_entry)default_init_args)(&args) == JNI_OK)
        return (jint)version;
    return JNI_VERSION_1_2;
}

JavaVMAttachArgs stopper_attach_args(jint version)
{
    JavaVMAttachArgs args;
    args.version = version;
    args.name = (char *)"Trevalo stopper thread";
    args.group = nullptr;
    return args;
}

bool check_java_exception(JNIEnv *env)
{
    if (!env->ExceptionCheck())
        return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

// A Java string of the UTF-8 text: made from its UTF-16 form, so that every character
// arrives as it is (NewStringUTF reads modified UTF-8, in which characters outside the Basic
// Multilingual Plane are written otherwise).
jstring new_java_string(JNIEnv *env, const char *text)
{
    size_t units;
    uint16_t *chars = utf8_to_utf16(text, strlen(text), &units);
    jstring string = env->NewString((const jchar *)chars, (jsize)units);
    free(chars);
    return string;
}

bool jni_step_failed(JNIEnv *env, const void *result)
{
    return check_java_exception(env) || !result;
}

bool set_java_property(JNIEnv *env, const launcher_settings &settings, const char *key,
                       const char *value)
{
    jstring jkey = new_java_string(env, key);
    if (jni_step_failed(env, jkey)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jstring jvalue = new_java_string(env, value);
    if (jni_step_failed(env, jvalue)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (jni_step_failed(env, system)) {
        report_error(settings.msg_class, "java/lang/System");
        return false;
    }
    jmethodID set_property = env->GetStaticMethodID(
        system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (jni_step_failed(env, set_property)) {
        report_error(settings.msg_method, "setProperty");
        return false;
    }
    env->CallStaticObjectMethod(system, set_property, jkey, jvalue);
    if (check_java_exception(env)) {
        report_error(settings.msg_invoke, "setProperty");
        return false;
    }
    return true;
}

// System.setOut or System.setErr (setter) with stream; reports and returns false on failure.
static bool set_java_stream(JNIEnv *env, const launcher_settings &settings, jclass system,
                            jobject stream, const char *setter)
{
    jmethodID set_stream = env->GetStaticMethodID(system, setter, "(Ljava/io/PrintStream;)V");
    if (jni_step_failed(env, set_stream)) {
        report_error(settings.msg_method, setter);
        return false;
    }
    env->CallStaticVoidMethod(system, set_stream, stream);
    if (check_java_exception(env)) {
        report_error(settings.msg_invoke, setter);
        return false;
    }
    return true;
}

bool redirect_java_stream(JNIEnv *env, const launcher_settings &settings, const char *path,
                          bool out, bool err, bool append)
{
    jstring jpath = new_java_string(env, path);
    if (jni_step_failed(env, jpath)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jclass file_class = env->FindClass("java/io/FileOutputStream");
    if (jni_step_failed(env, file_class)) {
        report_error(settings.msg_class, "java/io/FileOutputStream");
        return false;
    }
    jmethodID file_init = env->GetMethodID(file_class, "<init>", "(Ljava/lang/String;Z)V");
    if (jni_step_failed(env, file_init)) {
        report_error(settings.msg_method, "java/io/FileOutputStream(String, boolean)");
        return false;
    }
    jobject file = env->NewObject(file_class, file_init, jpath, append ? JNI_TRUE : JNI_FALSE);
    if (jni_step_failed(env, file)) {
        report_error(settings.msg_object, "java/io/FileOutputStream");
        return false;
    }
    jclass print_class = env->FindClass("java/io/PrintStream");
    if (jni_step_failed(env, print_class)) {
        report_error(settings.msg_class, "java/io/PrintStream");
        return false;
    }
    jmethodID print_init = env->GetMethodID(print_class, "<init>", "(Ljava/io/OutputStream;)V");
    if (jni_step_failed(env, print_init)) {
        report_error(settings.msg_method, "java/io/PrintStream(java/io/OutputStream)");
        return false;
    }
    jobject stream = env->NewObject(print_class, print_init, file);
    if (jni_step_failed(env, stream)) {
        report_error(settings.msg_object, "java/io/PrintStream");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (jni_step_failed(env, system)) {
        report_error(settings.msg_class, "java/lang/System");
        return false;
    }
    return (!out || set_java_stream(env, settings, system, stream, "setOut")) &&
           (!err || set_java_stream(env, settings, system, stream, "setErr"));
}
