// The JNI calls shared by the main class, the stopper and the virtual machine's creation.
// Portable JNI code.
#include "java/jni_calls.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/string_list.h"
#include "base/text.h"
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

char *java_string_text(JNIEnv *env, jstring string)
{
    if (!string)
        return nullptr;
    jsize length = env->GetStringLength(string);
    jchar *units = (jchar *)must_alloc(((size_t)length + 1) * sizeof(jchar));
    env->GetStringRegion(string, 0, length, units);
    char *text = utf16_to_utf8((const uint16_t *)units, (size_t)length);
    free(units);
    return text;
}

// Whether a call made while describing an exception worked: false, with what it threw
// cleared, when it threw or gave null. The description is then left out, nothing more.
static bool described(JNIEnv *env, const void *result)
{
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return false;
    }
    return result != nullptr;
}

// Calls method (returning a String) on object: its text, or null.
static char *call_string_method(JNIEnv *env, jobject object, jmethodID method)
{
    jobject string = env->CallObjectMethod(object, method);
    return described(env, string) ? java_string_text(env, (jstring)string) : nullptr;
}

enum { MOST_CAUSES = 8 };

// toString() of the exception and of each cause, one a line, the causes after "Caused by: ",
// as printStackTrace words them; null when not even the first can be had.
static char *exception_summary(JNIEnv *env, jthrowable exception, jclass throwable)
{
    jmethodID to_string = env->GetMethodID(throwable, "toString", "()Ljava/lang/String;");
    if (!described(env, to_string))
        return nullptr;
    jmethodID get_cause = env->GetMethodID(throwable, "getCause", "()Ljava/lang/Throwable;");
    if (!described(env, get_cause))
        get_cause = nullptr;
    string_list text = {};
    for (int depth = 0; exception && depth < MOST_CAUSES; depth++) {
        char *line = call_string_method(env, exception, to_string);
        if (!line)
            break;
        string_list_append(&text, depth ? "\nCaused by: " : "");
        string_list_append(&text, line);
        free(line);
        jobject cause = get_cause ? env->CallObjectMethod(exception, get_cause) : nullptr;
        exception = described(env, cause) ? (jthrowable)cause : nullptr;
    }
    return text.text;
}

// What exception.printStackTrace(new PrintWriter(new StringWriter())) writes: the exception,
// its stack, its causes; null when it cannot be had.
static char *exception_trace(JNIEnv *env, jthrowable exception, jclass throwable)
{
    jclass string_writer = env->FindClass("java/io/StringWriter");
    if (!described(env, string_writer))
        return nullptr;
    jmethodID writer_init = env->GetMethodID(string_writer, "<init>", "()V");
    jmethodID writer_text = described(env, writer_init)
        ? env->GetMethodID(string_writer, "toString", "()Ljava/lang/String;") : nullptr;
    jobject writer = described(env, writer_text) ? env->NewObject(string_writer, writer_init)
                                                 : nullptr;
    jclass print_writer = described(env, writer) ? env->FindClass("java/io/PrintWriter") : nullptr;
    jmethodID printer_init = described(env, print_writer)
        ? env->GetMethodID(print_writer, "<init>", "(Ljava/io/Writer;)V") : nullptr;
    jobject printer = described(env, printer_init)
        ? env->NewObject(print_writer, printer_init, writer) : nullptr;
    jmethodID print = described(env, printer)
        ? env->GetMethodID(throwable, "printStackTrace", "(Ljava/io/PrintWriter;)V") : nullptr;
    if (!described(env, print))
        return nullptr;
    env->CallVoidMethod(exception, print, printer);
    if (!described(env, print))
        return nullptr;
    char *text = call_string_method(env, writer, writer_text);
    // Lines end in "\n" like the rest of a report (Java ends them in "\r\n" on Windows),
    // without a line break after the last.
    size_t length = 0;
    for (char *p = text; p && *p; p++)
        if (*p != '\r')
            text[length++] = *p;
    while (length > 0 && text[length - 1] == '\n')
        length--;
    if (text)
        text[length] = '\0';
    return text;
}

char *take_java_exception(JNIEnv *env, bool trace)
{
    if (!env->ExceptionCheck())
        return nullptr;
    jthrowable exception = env->ExceptionOccurred();
    // Printed where a real run prints it (the current System.err), then cleared, so that the
    // calls below may run.
    env->ExceptionDescribe();
    env->ExceptionClear();
    jclass throwable = env->FindClass("java/lang/Throwable");
    if (!exception || !described(env, throwable))
        return nullptr;
    char *text = trace ? exception_trace(env, exception, throwable) : nullptr;
    return text ? text : exception_summary(env, exception, throwable);
}

char *java_property(JNIEnv *env, const char *name)
{
    jstring key = new_java_string(env, name);
    jclass system = described(env, key) ? env->FindClass("java/lang/System") : nullptr;
    jmethodID get_property = described(env, system)
        ? env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
        : nullptr;
    if (!described(env, get_property))
        return nullptr;
    jobject value = env->CallStaticObjectMethod(system, get_property, key);
    return described(env, value) ? java_string_text(env, (jstring)value) : nullptr;
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

bool jni_step_ok(JNIEnv *env, const void *result, const char *message, const char *subject)
{
    if (!env->ExceptionCheck() && result)
        return true;
    char *exception = take_java_exception(env, reports_stack_traces());
    if (exception)
        report_error_with_detail(message, subject, exception);
    else
        report_error(message, subject);
    free(exception);
    return false;
}

bool jni_call_ok(JNIEnv *env, const char *message, const char *subject)
{
    return jni_step_ok(env, env, message, subject);
}

jclass find_java_class(JNIEnv *env, const launcher_settings &settings, const char *name)
{
    jclass java_class = env->FindClass(name);
    return jni_step_ok(env, java_class, settings.msg_class, name) ? java_class : nullptr;
}

jmethodID find_static_method(JNIEnv *env, const launcher_settings &settings, jclass java_class,
                             const char *name, const char *signature, const char *description)
{
    jmethodID method = env->GetStaticMethodID(java_class, name, signature);
    return jni_step_ok(env, method, settings.msg_method, description) ? method : nullptr;
}

// A Java string of text; null after a reported failure.
static jstring java_string(JNIEnv *env, const launcher_settings &settings, const char *text)
{
    jstring string = new_java_string(env, text);
    return jni_step_ok(env, string, settings.msg_object, "java/lang/String") ? string : nullptr;
}

// A new object of class_name made by the constructor of signature (named constructor in a
// report) with the arguments that follow; null after a reported failure.
static jobject new_java_object(JNIEnv *env, const launcher_settings &settings,
                               const char *class_name, const char *signature,
                               const char *constructor, ...)
{
    jclass java_class = find_java_class(env, settings, class_name);
    jmethodID init = java_class ? env->GetMethodID(java_class, "<init>", signature) : nullptr;
    if (!java_class || !jni_step_ok(env, init, settings.msg_method, constructor))
        return nullptr;
    va_list arguments;
    va_start(arguments, constructor);
    jobject object = env->NewObjectV(java_class, init, arguments);
    va_end(arguments);
    return jni_step_ok(env, object, settings.msg_object, class_name) ? object : nullptr;
}

bool set_java_property(JNIEnv *env, const launcher_settings &settings, const char *key,
                       const char *value)
{
    jstring jkey = java_string(env, settings, key);
    jstring jvalue = jkey ? java_string(env, settings, value) : nullptr;
    jclass system = jvalue ? find_java_class(env, settings, "java/lang/System") : nullptr;
    jmethodID set_property = system ? find_static_method(env, settings, system, "setProperty",
        "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", "setProperty") : nullptr;
    if (!set_property)
        return false;
    env->CallStaticObjectMethod(system, set_property, jkey, jvalue);
    return jni_call_ok(env, settings.msg_invoke, "setProperty");
}

// System.setOut or System.setErr (setter) with stream; reports and returns false on failure.
static bool set_java_stream(JNIEnv *env, const launcher_settings &settings, jclass system,
                            jobject stream, const char *setter)
{
    jmethodID set_stream =
        find_static_method(env, settings, system, setter, "(Ljava/io/PrintStream;)V", setter);
    if (!set_stream)
        return false;
    env->CallStaticVoidMethod(system, set_stream, stream);
    return jni_call_ok(env, settings.msg_invoke, setter);
}

bool redirect_java_stream(JNIEnv *env, const launcher_settings &settings, const char *path,
                          bool out, bool err, bool append)
{
    jstring jpath = java_string(env, settings, path);
    jobject file = jpath
        ? new_java_object(env, settings, "java/io/FileOutputStream", "(Ljava/lang/String;Z)V",
                          "java/io/FileOutputStream(String, boolean)", jpath,
                          append ? JNI_TRUE : JNI_FALSE)
        : nullptr;
    jobject stream = file
        ? new_java_object(env, settings, "java/io/PrintStream", "(Ljava/io/OutputStream;)V",
                          "java/io/PrintStream(java/io/OutputStream)", file)
        : nullptr;
    jclass system = stream ? find_java_class(env, settings, "java/lang/System") : nullptr;
    return system && (!out || set_java_stream(env, settings, system, stream, "setOut")) &&
           (!err || set_java_stream(env, settings, system, stream, "setErr"));
}
