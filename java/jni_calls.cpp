// The JNI calls shared by the main class, the stopper and the virtual machine's creation.
// Portable JNI code.
#include "java/jni_calls.h"

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

// The UTF-8 text of a Java string as a new heap text; null for null.
static char *java_string_text(JNIEnv *env, jstring string)
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

void report_java_error(JNIEnv *env, const char *message, const char *subject)
{
    char *exception = take_java_exception(env, reports_stack_traces());
    if (exception)
        report_error_with_detail(message, subject, exception);
    else
        report_error(message, subject);
    free(exception);
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

bool jni_step_failed(JNIEnv *env, const void *result)
{
    return env->ExceptionCheck() || !result;
}

bool set_java_property(JNIEnv *env, const launcher_settings &settings, const char *key,
                       const char *value)
{
    jstring jkey = new_java_string(env, key);
    if (jni_step_failed(env, jkey)) {
        report_java_error(env, settings.msg_object, "java/lang/String");
        return false;
    }
    jstring jvalue = new_java_string(env, value);
    if (jni_step_failed(env, jvalue)) {
        report_java_error(env, settings.msg_object, "java/lang/String");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (jni_step_failed(env, system)) {
        report_java_error(env, settings.msg_class, "java/lang/System");
        return false;
    }
    jmethodID set_property = env->GetStaticMethodID(
        system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (jni_step_failed(env, set_property)) {
        report_java_error(env, settings.msg_method, "setProperty");
        return false;
    }
    env->CallStaticObjectMethod(system, set_property, jkey, jvalue);
    if (env->ExceptionCheck()) {
        report_java_error(env, settings.msg_invoke, "setProperty");
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
        report_java_error(env, settings.msg_method, setter);
        return false;
    }
    env->CallStaticVoidMethod(system, set_stream, stream);
    if (env->ExceptionCheck()) {
        report_java_error(env, settings.msg_invoke, setter);
        return false;
    }
    return true;
}

bool redirect_java_stream(JNIEnv *env, const launcher_settings &settings, const char *path,
                          bool out, bool err, bool append)
{
    jstring jpath = new_java_string(env, path);
    if (jni_step_failed(env, jpath)) {
        report_java_error(env, settings.msg_object, "java/lang/String");
        return false;
    }
    jclass file_class = env->FindClass("java/io/FileOutputStream");
    if (jni_step_failed(env, file_class)) {
        report_java_error(env, settings.msg_class, "java/io/FileOutputStream");
        return false;
    }
    jmethodID file_init = env->GetMethodID(file_class, "<init>", "(Ljava/lang/String;Z)V");
    if (jni_step_failed(env, file_init)) {
        report_java_error(env, settings.msg_method, "java/io/FileOutputStream(String, boolean)");
        return false;
    }
    jobject file = env->NewObject(file_class, file_init, jpath, append ? JNI_TRUE : JNI_FALSE);
    if (jni_step_failed(env, file)) {
        report_java_error(env, settings.msg_object, "java/io/FileOutputStream");
        return false;
    }
    jclass print_class = env->FindClass("java/io/PrintStream");
    if (jni_step_failed(env, print_class)) {
        report_java_error(env, settings.msg_class, "java/io/PrintStream");
        return false;
    }
    jmethodID print_init = env->GetMethodID(print_class, "<init>", "(Ljava/io/OutputStream;)V");
    if (jni_step_failed(env, print_init)) {
        report_java_error(env, settings.msg_method, "java/io/PrintStream(java/io/OutputStream)");
        return false;
    }
    jobject stream = env->NewObject(print_class, print_init, file);
    if (jni_step_failed(env, stream)) {
        report_java_error(env, settings.msg_object, "java/io/PrintStream");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (jni_step_failed(env, system)) {
        report_java_error(env, settings.msg_class, "java/lang/System");
        return false;
    }
    return (!out || set_java_stream(env, settings, system, stream, "setOut")) &&
           (!err || set_java_stream(env, settings, system, stream, "setErr"));
}
