// Running the application's main class. Portable JNI code.
#include "java/main_class.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/command_line.h"
#include "base/messages.h"
#include "base/unicode.h"
#include "config/directories.h"
#include "config/settings.h"
#include "java/jvm.h"
#include "os/os.h"
#include "os/report.h"

JavaVMAttachArgs stopper_attach_args()
{
    JavaVMAttachArgs args;
    args.version = (jint)settings.java_version;
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
static jstring new_java_string(JNIEnv *env, const char *text)
{
    size_t units;
    uint16_t *chars = utf8_to_utf16(text, strlen(text), &units);
    jstring string = env->NewString((const jchar *)chars, (jsize)units);
    free(chars);
    return string;
}

// A JNI step failed when an exception is pending or its result is null.
static bool failed(JNIEnv *env, const void *result)
{
    return check_java_exception(env) || !result;
}

bool set_java_property(JNIEnv *env, const char *key, const char *value)
{
    jstring jkey = new_java_string(env, key);
    if (failed(env, jkey)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jstring jvalue = new_java_string(env, value);
    if (failed(env, jvalue)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (failed(env, system)) {
        report_error(settings.msg_class, "java/lang/System");
        return false;
    }
    jmethodID set_property = env->GetStaticMethodID(
        system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (failed(env, set_property)) {
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
static bool set_java_stream(JNIEnv *env, jclass system, jobject stream, const char *setter)
{
    jmethodID set_stream = env->GetStaticMethodID(system, setter, "(Ljava/io/PrintStream;)V");
    if (failed(env, set_stream)) {
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

bool redirect_java_stream(JNIEnv *env, const char *path, bool out, bool err)
{
    jstring jpath = new_java_string(env, path);
    if (failed(env, jpath)) {
        report_error(settings.msg_object, "java/lang/String");
        return false;
    }
    jclass file_class = env->FindClass("java/io/FileOutputStream");
    if (failed(env, file_class)) {
        report_error(settings.msg_class, "java/io/FileOutputStream");
        return false;
    }
    jmethodID file_init = env->GetMethodID(file_class, "<init>", "(Ljava/lang/String;Z)V");
    if (failed(env, file_init)) {
        report_error(settings.msg_method, "java/io/FileOutputStream(String, boolean)");
        return false;
    }
    // append = false: the file starts empty at every redirection.
    jobject file = env->NewObject(file_class, file_init, jpath, JNI_FALSE);
    if (failed(env, file)) {
        report_error(settings.msg_object, "java/io/FileOutputStream");
        return false;
    }
    jclass print_class = env->FindClass("java/io/PrintStream");
    if (failed(env, print_class)) {
        report_error(settings.msg_class, "java/io/PrintStream");
        return false;
    }
    jmethodID print_init = env->GetMethodID(print_class, "<init>", "(Ljava/io/OutputStream;)V");
    if (failed(env, print_init)) {
        report_error(settings.msg_method, "java/io/PrintStream(java/io/OutputStream)");
        return false;
    }
    jobject stream = env->NewObject(print_class, print_init, file);
    if (failed(env, stream)) {
        report_error(settings.msg_object, "java/io/PrintStream");
        return false;
    }
    jclass system = env->FindClass("java/lang/System");
    if (failed(env, system)) {
        report_error(settings.msg_class, "java/lang/System");
        return false;
    }
    return (!out || set_java_stream(env, system, stream, "setOut")) &&
           (!err || set_java_stream(env, system, stream, "setErr"));
}

// Creates the configured output file path afresh, so that a file that cannot be written is
// reported with its path and the system's reason before Java opens it.
static bool create_output_file(const char *path)
{
    os_file *file = create_file(path);
    if (!file) {
        report_error_with_reason(settings.msg_write_error, path);
        return false;
    }
    close_file(file);
    return true;
}

// Points System.out and System.err at the configured files. One file named for both is
// opened once and shared: two streams that each emptied it would wipe each other's output.
static bool redirect_output_files(JNIEnv *env)
{
    const char *out = settings.stdout_file, *err = settings.stderr_file;
    if (out[0] && err[0] && strcasecmp(out, err) == 0)
        return create_output_file(out) && redirect_java_stream(env, out, true, true);
    return (!out[0] || (create_output_file(out) && redirect_java_stream(env, out, true, false))) &&
           (!err[0] || (create_output_file(err) && redirect_java_stream(env, err, false, true)));
}

// Everything after the environment is chosen: user.dir, the output files, the lookups, the
// arguments and the call. Returns true when main returned without a pending exception.
static bool call_main(JNIEnv *env, int count, char **vector, bool redirect,
                      void (*calling)())
{
    char directory[STARTUP_DIRECTORY_SIZE];
    if (!get_current_directory(directory, sizeof directory)) {
        report_error_with_reason(settings.msg_file_error, SUBJECT_CURRENT_DIR);
        return false;
    }
    if (!set_java_property(env, "user.dir", directory))
        return false;
    if (redirect && !redirect_output_files(env))
        return false;

    jclass main_class = env->FindClass(settings.main_class);
    if (failed(env, main_class)) {
        report_error(settings.msg_class, settings.main_class);
        return false;
    }
    jmethodID main = env->GetStaticMethodID(main_class, "main", "([Ljava/lang/String;)V");
    if (failed(env, main)) {
        report_error(settings.msg_method, MAIN_METHOD);
        return false;
    }

    if (count == 0)
        split_command_line(settings.app_args, &count, &vector, false);
    jclass string_class = env->FindClass("java/lang/String");
    jobjectArray array = string_class ? env->NewObjectArray(count, string_class, nullptr) : nullptr;
    if (failed(env, array)) {
        report_error(settings.msg_object, "java/lang/String[]");
        return false;
    }
    for (int i = 0; i < count; i++) {
        jstring argument = new_java_string(env, vector[i]);
        if (failed(env, argument)) {
            report_error(settings.msg_object, "java/lang/String");
            return false;
        }
        env->SetObjectArrayElement(array, i, argument);
        if (check_java_exception(env)) {
            report_error(settings.msg_string_arg, vector[i]);
            return false;
        }
    }

    if (calling)
        calling();
    env->CallStaticVoidMethod(main_class, main, array);
    if (check_java_exception(env)) {
        report_error(settings.msg_invoke, MAIN_METHOD);
        return false;
    }
    return true;
}

bool run_main_class(int count, char **vector, bool attach, void (*calling)())
{
    if (!attach && !settings.early_working_dir && !enter_working_directory(false))
        return false;

    JNIEnv *env = jvm_env;
    if (attach) {
        JavaVMAttachArgs args = stopper_attach_args();
        if (java_vm->AttachCurrentThread((void **)&env, &args) != 0) {
            report_error(settings.msg_attach);
            return false;
        }
    }
    // An attached call (the stop call of a service) leaves the output files alone: opening
    // them again would truncate what the running application is still writing.
    bool ok = call_main(env, count, vector, !attach, calling);
    if (attach)
        java_vm->DetachCurrentThread();
    return ok;
}
