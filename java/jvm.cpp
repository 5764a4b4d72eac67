// Creating and destroying the Java virtual machine. Portable: the system is reached through
// the system seam.
#include "java/jvm.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/string_list.h"
#include "config/directories.h"
#include "config/user_options.h"
#include "java/class_sharing.h"
#include "java/crash_evidence.h"
#include "java/heap_size.h"
#include "java/jni_calls.h"
#include "java/jvm_options.h"
#include "java/vm_hooks.h"
#include "os/guard.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

// The options a virtual machine is created with, and the "-D" options it cannot read in its
// code page, which are set once it runs.
struct creation_options {
    JavaVMOption *given;
    int given_count;
    char **late;
    int late_count;
};

// Finds the runtime library for this launcher's processor: its path in jvm->library_path and
// its home in home (RUNTIME_HOME_SIZE bytes). A service, or a launcher that runs elevated,
// searches guarded. False after a reported failure.
static bool find_runtime(const launcher_settings &settings, bool service, jvm_record *jvm,
                         char *home)
{
    runtime_request request = {settings.search_order, settings.runtime_paths,
                               settings.java_version, settings.max_java_version,
                               guard_for(service).guarded, service};
    char note[SEARCH_NOTE_SIZE];
    if (find_runtime_library(request, LAUNCHER_MACHINE, jvm->library_path,
                             sizeof jvm->library_path, home, note))
        return true;
    // What was passed over and why, and the versions needed: the user may have a runtime,
    // but not the right one.
    report_error_with_offer(settings.msg_no_runtime, note, settings.download_url);
    return false;
}

// Loads the chosen library and finds its entry points; false after a reported failure.
static bool load_runtime(const launcher_settings &settings, jvm_record *jvm)
{
    jvm->library = load_runtime_library(jvm->library_path);
    if (!jvm->library) {
        report_error_with_reason(settings.msg_load_runtime, jvm->library_path);
        return false;
    }
    jvm->create_vm = (create_vm_entry)find_library_symbol(jvm->library, "JNI_CreateJavaVM");
    jvm->default_init_args = find_library_symbol(jvm->library, "JNI_GetDefaultJavaVMInitArgs");
    if (!jvm->create_vm || !jvm->default_init_args) {
        report_error(settings.msg_jni_entry, jvm->library_path);
        return false;
    }
    watch_runtime_exit(jvm->library);
    jvm->attach_version = attach_version(settings.java_version, jvm->default_init_args);
    return true;
}

// Frees the late options. The given ones stay for the life of the process, as a virtual
// machine may keep pointers into what it was created with.
static void free_late_options(creation_options *options)
{
    for (int i = 0; i < options->late_count; i++)
        free(options->late[i]);
    free(options->late);
}

// The hooks and then the user's options in the runtime's encoding. The hooks come first: a
// virtual machine takes each option in turn, and what it prints about a bad user option must
// already go to the output hook. An option the runtime cannot read in its code page: a
// property ("-Dname=value") is set through System.setProperty, in UTF-16, once the machine
// runs, except the class path, whose entries are given one by one; any other is refused
// (reported, false).
static bool sort_options(const jvm_option_list &list, const char *command,
                         creation_options *options)
{
    options->given = (JavaVMOption *)must_alloc(((size_t)list.count + 4) * sizeof(JavaVMOption));
    options->late = (char **)must_alloc(((size_t)list.count + 2) * sizeof(char *));
    options->given[0] = {(char *)"vfprintf", (void *)jvm_output_hook};
    options->given[1] = {(char *)"abort", (void *)jvm_abort_hook};
    options->given[2] = {(char *)"exit", (void *)jvm_exit_hook};
    options->given_count = 3;
    options->late_count = 0;
    for (int i = -1; i < list.count; i++) {
        // What the java command sets, so that monitoring tools name the application; before
        // the user's options, so that one of theirs wins.
        const char *option = i < 0 ? command : list.options[i];
        trace("option %s", option);
        if (strncmp(option, CLASS_PATH_OPTION, sizeof CLASS_PATH_OPTION - 1) == 0) {
            // Read by the system class loader during the creation: never a late property.
            char *converted = runtime_class_path_option(option);
            if (!converted)
                return false;
            options->given[options->given_count++] = {converted, nullptr};
        } else if (char *converted = runtime_option(option)) {
            options->given[options->given_count++] = {converted, nullptr};
        } else if (strncmp(option, "-D", 2) == 0) {
            options->late[options->late_count++] = must_copy(option);
        } else {
            report_error(MSG_OPTION_NOT_REPRESENTABLE, option);
            return false;
        }
    }
    return true;
}

// Creates the virtual machine with options; false after a reported failure.
static bool start_vm(const launcher_settings &settings, jvm_record *jvm,
                     const creation_options &options)
{
    JavaVMInitArgs init_args;
    init_args.version = JNI_VERSION_1_2;
    init_args.nOptions = options.given_count;
    init_args.options = options.given;
    init_args.ignoreUnrecognized = JNI_FALSE;
    begin_vm_creation(settings.msg_create_jvm, jvm->library_path);
    jint status = jvm->create_vm(&jvm->vm, (void **)&jvm->env, &init_args);
    trace("virtual machine creation: %d (0 created)", (int)status);
    end_vm_creation(status == 0);
    return status == 0;
}

// Sets each "-Dname=value" of late as a system property; false after a reported failure.
static bool set_late_properties(const launcher_settings &settings, JNIEnv *env,
                                const creation_options &options)
{
    for (int i = 0; i < options.late_count; i++) {
        char *name = options.late[i] + 2, *equals = strchr(name, '=');
        if (equals)
            *equals = '\0';
        if (!set_java_property(env, settings, name, equals ? equals + 1 : ""))
            return false;
    }
    return true;
}

// "-Dsun.java.command=" with the main class (dotted) and main's arguments, each after a blank as
// the java command writes them: the count arguments of vector, or the app_args text. Without
// a main class, the jar whose manifest names it (the class path's first entry of list), as
// "java -jar" writes it.
static char *java_command_option(const launcher_settings &settings, const jvm_option_list &list,
                                 int count, char **vector)
{
    string_list text = {};
    string_list_append(&text, "-Dsun.java.command=");
    size_t start = (size_t)text.length;
    const char *jar = nullptr;
    for (int i = 0; !settings.main_class[0] && i < list.count; i++)
        if (strncmp(list.options[i], CLASS_PATH_OPTION, sizeof CLASS_PATH_OPTION - 1) == 0)
            jar = list.options[i] + sizeof CLASS_PATH_OPTION - 1;
    if (jar) {
        char *first = must_copy(jar);
        first[strcspn(first, ";")] = '\0';
        string_list_append(&text, first);
        free(first);
    } else {
        string_list_append(&text, settings.main_class);
    }
    for (char *p = text.text + start; *p && !jar; p++)
        if (*p == '/')
            *p = '.';
    for (int i = 0; i < count; i++) {
        string_list_append(&text, " ");
        string_list_append(&text, vector[i]);
    }
    if (count == 0 && settings.app_args[0]) {
        string_list_append(&text, " ");
        string_list_append(&text, settings.app_args);
    }
    return text.text;
}

// Builds the options and creates the virtual machine with them; false after a reported
// failure.
static bool create_with_options(const launcher_settings &settings, bool service,
                                const char *class_path, bool expand_folders, const char *home,
                                int count, char **vector, jvm_record *jvm)
{
    jvm_option_list list;
    folder_trust trust;
    trust.guarded = guard_for(service).guarded;
    trust.own_account = service;
    // The user's options file is the user's to change: a service (whose account is not the
    // user's) and a guarded run never read it.
    user_option_lines user = {};
    char *user_path = nullptr;
    if ((service || trust.guarded) && settings.user_options_file[0])
        trace("user's options file not read: a service or an elevated run");
    else
        read_user_options(settings.user_options_file, &user, &user_path);
    free(user_path);
    bool built = build_jvm_options(settings.jvm_options, class_path, expand_folders, home, &list,
                                   trust, &user);
    free_user_options(&user);
    if (!built)
        return false;
    // Where each heap option came from is read before class sharing adds its own options.
    heap_sizes given = given_heap_sizes(settings, list);
    add_class_sharing_options(settings, jvm->library_path, service, &list.count, &list.options);
    add_heap_options(settings, given, &list);
    prepare_crash_evidence(settings, trust, &list);
    char *command = java_command_option(settings, list, count, vector);
    creation_options options = {};
    bool ok = sort_options(list, command, &options);
    free(command);
    free_jvm_options(&list);
    ok = ok && start_vm(settings, jvm, options) && set_late_properties(settings, jvm->env, options);
    free_late_options(&options);
    return ok;
}

bool create_jvm(const launcher_settings &settings, bool console, const char *class_path,
                bool expand_folders, int count, char **vector, jvm_record *jvm)
{
    if (settings.early_working_dir && !enter_working_directory(settings, true))
        return false;
    jvm->service = console;
    char home[RUNTIME_HOME_SIZE];
    if (!find_runtime(settings, console, jvm, home) || !load_runtime(settings, jvm) ||
        !create_with_options(settings, console, class_path, expand_folders, home, count, vector,
                             jvm))
        return false;
    if (console) {
        open_process_console();
        redirect_java_stream(jvm->env, settings, "CONOUT$", true, true);
    }
    return true;
}

void destroy_jvm(const jvm_record &jvm)
{
    jvm.vm->DetachCurrentThread();
    jvm.vm->DestroyJavaVM();
    finish_class_sharing();
    free_runtime_library(jvm.library);
}
