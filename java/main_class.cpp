// Running the application's main class. Portable JNI code.
#include "java/main_class.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/command_line.h"
#include "base/memory.h"
#include "base/messages.h"
#include "base/string_list.h"
#include "base/text.h"
#include "config/arguments.h"
#include "config/directories.h"
#include "config/settings.h"
#include "java/jni_calls.h"
#include "os/guard.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"
#include "output/output_files.h"

// Readies the configured output file path for Java, which opens it for appending (see
// ready_output_file), and reports what stands in the way: a file that cannot be written with
// its path and the system's reason, a folder other accounts may change, a file that is not one.
static bool create_output_file(const launcher_settings &settings, const char *path,
                               const output_rules &rules)
{
    char *folder;
    output_problem problem = ready_output_file(path, rules, &folder);
    if (problem == OUTPUT_UNWRITABLE)
        report_error_with_reason(settings.msg_write_error, path);
    else if (problem == OUTPUT_FOLDER_NOT_PRIVATE)
        report_error(folder_refusal(rules.own_account), folder);
    else if (problem == OUTPUT_NOT_A_FILE)
        report_error(MSG_OUTPUT_NOT_A_FILE, path);
    free(folder);
    return problem == OUTPUT_READY;
}

// Whether the configured paths out and err name one file, however each is written
// ("log.txt", ".\log.txt", "C:\app\log.txt"): the same text, or the same file once out exists.
static bool same_output_file(const char *out, const char *err)
{
    return out[0] && err[0] && (strcasecmp(out, err) == 0 || same_file(out, err));
}

// Points System.out and System.err at the configured files. One file named for both is
// opened once and shared: a second opening would fail on the first's sharing, and two streams
// that each emptied it would wipe each other's output.
static bool redirect_output_files(JNIEnv *env, const launcher_settings &settings,
                                  const output_rules &rules)
{
    const char *out = settings.stdout_file, *err = settings.stderr_file;
    if (out[0] && !create_output_file(settings, out, rules))
        return false;
    if (same_output_file(out, err))
        return redirect_java_stream(env, settings, out, true, true, true);
    return (!out[0] || redirect_java_stream(env, settings, out, true, false, true)) &&
           (!err[0] || (create_output_file(settings, err, rules) &&
                        redirect_java_stream(env, settings, err, false, true, true)));
}

// The main class as the user wrote it, with dots: a new heap text.
static char *dotted_class_name(const char *name)
{
    char *dotted = must_copy(name);
    for (char *p = dotted; *p; p++)
        if (*p == '/')
            *p = '.';
    return dotted;
}

// The entries of class_path (separated as the virtual machine's path.separator says) that are
// not there, each on a line after MSG_CLASS_PATH_MISSING, appended to *text.
static void append_missing_entries(JNIEnv *env, string_list *text, const char *class_path)
{
    char *separator = java_property(env, "path.separator");
    char *entries = must_copy(class_path);
    char *cursor = nullptr;
    while (char *entry = next_token(entries, separator && separator[0] ? separator : ";", &cursor))
        if (path_attributes(entry) < 0) {
            string_list_append(text, "\n");
            string_list_append(text, MSG_CLASS_PATH_MISSING);
            string_list_append(text, entry);
        }
    free(entries);
    free(separator);
}

// format filled with subject, as a new heap text.
static char *filled(const char *format, const char *subject)
{
    size_t size = strlen(format) + strlen(subject) + 1;
    char *line = (char *)must_alloc(size);
    fill_message(line, size, format, subject);
    return line;
}

// Reports that the main class (slashed) cannot be had: a class whose static initialiser
// failed, with the exception that made it fail; otherwise the exception, the jar whose
// manifest named it (when one did), the class path that the virtual machine searched (its
// java.class.path), which is what a user must check, and its entries that are not there.
static void report_missing_main_class(JNIEnv *env, const launcher_settings &settings,
                                      const char *slashed, const char *jar)
{
    char *exception = take_java_exception(env, reports_stack_traces());
    char *name = dotted_class_name(slashed);
    if (exception && strncmp(exception, INITIALISER_ERROR, sizeof INITIALISER_ERROR - 1) == 0) {
        report_error_with_detail(MSG_CLASS_INITIALISER_FAILED, name, exception);
        free(name);
        free(exception);
        return;
    }
    char *class_path = java_property(env, "java.class.path");
    char *line = filled(MSG_CLASS_PATH_SEARCHED,
                        class_path && class_path[0] ? class_path : "(empty)");
    char *named = jar ? filled(MSG_NAMED_BY_MANIFEST, jar) : nullptr;
    string_list detail = {};
    string_list_append(&detail, exception ? exception : "");
    string_list_append(&detail, exception ? "\n" : "");
    string_list_append(&detail, named ? named : "");
    string_list_append(&detail, named ? "\n" : "");
    string_list_append(&detail, line);
    append_missing_entries(env, &detail, class_path ? class_path : "");
    report_error_with_detail(settings.msg_class, name, detail.text);
    free(detail.text);
    free(named);
    free(line);
    free(name);
    free(class_path);
    free(exception);
}

// The first entry of the class path the virtual machine runs with, as a new heap text (empty
// when it has none).
static char *first_class_path_entry(JNIEnv *env)
{
    char *class_path = java_property(env, "java.class.path");
    if (!class_path)
        return join_text("", "");
    class_path[strcspn(class_path, ";")] = '\0';
    return class_path;
}

// The main class that the manifest of the jar at path names (its Main-Class, in slash form)
// as a new heap text, read by the runtime's own jar classes as the java command reads it;
// null after a reported failure, which names the jar.
static char *manifest_main_class(JNIEnv *env, const launcher_settings &settings,
                                 const char *path)
{
    jclass jar_class = find_java_class(env, settings, "java/util/jar/JarFile");
    jclass manifest_class = jar_class ? find_java_class(env, settings, "java/util/jar/Manifest")
                                      : nullptr;
    jclass attributes_class =
        manifest_class ? find_java_class(env, settings, "java/util/jar/Attributes") : nullptr;
    if (!attributes_class)
        return nullptr;
    jmethodID open = env->GetMethodID(jar_class, "<init>", "(Ljava/lang/String;)V");
    jmethodID get_manifest = env->GetMethodID(jar_class, "getManifest",
                                              "()Ljava/util/jar/Manifest;");
    jmethodID close = env->GetMethodID(jar_class, "close", "()V");
    jmethodID main_attributes = env->GetMethodID(manifest_class, "getMainAttributes",
                                                 "()Ljava/util/jar/Attributes;");
    jmethodID get_value = env->GetMethodID(attributes_class, "getValue",
                                           "(Ljava/lang/String;)Ljava/lang/String;");
    if (!jni_step_ok(env, open && get_manifest && close && main_attributes && get_value
                              ? env : nullptr, settings.msg_method, "java/util/jar/JarFile"))
        return nullptr;

    // A jar that is not there or cannot be read as one is a file the launcher cannot read.
    jstring name = new_java_string(env, path);
    jobject jar = name ? env->NewObject(jar_class, open, name) : nullptr;
    if (!jni_step_ok(env, jar, settings.msg_file_error, path))
        return nullptr;
    jobject manifest = env->CallObjectMethod(jar, get_manifest);
    jobject attributes = manifest && !env->ExceptionCheck()
                             ? env->CallObjectMethod(manifest, main_attributes) : nullptr;
    jstring key = attributes && !env->ExceptionCheck() ? new_java_string(env, "Main-Class")
                                                       : nullptr;
    jobject value = key ? env->CallObjectMethod(attributes, get_value, key) : nullptr;
    char *text = value && !env->ExceptionCheck() ? java_string_text(env, (jstring)value)
                                                 : nullptr;
    if (!jni_call_ok(env, settings.msg_file_error, path)) {
        free(text);
        return nullptr;
    }
    env->CallVoidMethod(jar, close);
    env->ExceptionClear();
    // Blanks around the value are no part of the name; dots become slashes for FindClass.
    char *start = text ? text + strspn(text, " \t") : nullptr;
    size_t length = start ? strlen(start) : 0;
    while (length && (start[length - 1] == ' ' || start[length - 1] == '\t'))
        start[--length] = '\0';
    if (!length) {
        report_error(manifest ? MSG_JAR_NO_MAIN_CLASS : MSG_JAR_NO_MANIFEST, path);
        free(text);
        return nullptr;
    }
    char *slashed = join_text(start, "");
    free(text);
    for (char *p = slashed; *p; p++)
        if (*p == '.')
            *p = '/';
    return slashed;
}

// Everything after the environment is chosen: user.dir, the output files, the lookups, the
// arguments and the call. Returns true when main returned without a pending exception.
static bool call_main(JNIEnv *env, const launcher_settings &settings, int count, char **vector,
                      bool redirect, const output_rules &output, void (*calling)())
{
    char *directory = current_directory();
    if (!directory) {
        report_error_with_reason(settings.msg_file_error, SUBJECT_CURRENT_DIR);
        return false;
    }
    bool set = set_java_property(env, settings, "user.dir", directory);
    free(directory);
    if (!set)
        return false;
    if (redirect && !redirect_output_files(env, settings, output))
        return false;

    // No main class: the Main-Class of the manifest of the jar that starts the class path,
    // as "java -jar" runs it (the Class-Path of that manifest is the runtime's to follow).
    char *jar = settings.main_class[0] ? nullptr : first_class_path_entry(env);
    if (jar && !jar[0]) {
        free(jar);
        jar = nullptr;
    }
    char *from_manifest = jar ? manifest_main_class(env, settings, jar) : nullptr;
    if (jar && !from_manifest) {
        free(jar);
        return false;
    }
    const char *name = from_manifest ? from_manifest : settings.main_class;
    if (jar)
        trace("main class %s from the manifest of %s", name, jar);
    jclass main_class = env->FindClass(name);
    bool found = !env->ExceptionCheck() && main_class;
    if (!found)
        report_missing_main_class(env, settings, name, jar);
    free(jar);
    free(from_manifest);
    if (!found)
        return false;
    jmethodID main = find_static_method(env, settings, main_class, "main",
                                        "([Ljava/lang/String;)V", MAIN_METHOD);
    if (!main)
        return false;

    if (const char *configured = configured_arguments(settings, count))
        split_command_line(configured, &count, &vector, false);
    jclass string_class = env->FindClass("java/lang/String");
    jobjectArray array = string_class ? env->NewObjectArray(count, string_class, nullptr) : nullptr;
    if (!jni_step_ok(env, array, settings.msg_object, "java/lang/String[]"))
        return false;
    for (int i = 0; i < count; i++) {
        jstring argument = new_java_string(env, vector[i]);
        if (!jni_step_ok(env, argument, settings.msg_object, "java/lang/String"))
            return false;
        env->SetObjectArrayElement(array, i, argument);
        if (!jni_call_ok(env, settings.msg_string_arg, vector[i]))
            return false;
    }

    trace("calling main with %d arguments", count);
    if (calling)
        calling();
    env->CallStaticVoidMethod(main_class, main, array);
    trace(env->ExceptionCheck() ? "main ended with an exception" : "main returned");
    return jni_call_ok(env, settings.msg_invoke, MAIN_METHOD);
}

bool run_main_class(const launcher_settings &settings, const jvm_record &jvm, int count,
                    char **vector, bool attach, void (*calling)())
{
    if (!attach && !enter_directory(settings, jvm.main_directory))
        return false;

    JNIEnv *env = jvm.env;
    if (attach) {
        JavaVMAttachArgs args = stopper_attach_args(jvm.attach_version);
        if (jvm.vm->AttachCurrentThread((void **)&env, &args) != 0) {
            report_error(settings.msg_attach);
            return false;
        }
    }
    // An attached call (the stop call of a service) leaves the output files alone: opening
    // them again would truncate what the running application is still writing.
    bool ok = call_main(env, settings, count, vector, !attach, jvm.output, calling);
    if (attach)
        jvm.vm->DetachCurrentThread();
    return ok;
}
