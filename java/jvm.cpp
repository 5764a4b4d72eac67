// Creating and destroying the Java virtual machine. Portable: the system is reached through
// the system seam.
#include "java/jvm.h"

#include <stdlib.h>
#include <string.h>

#include "base/command_line.h"
#include "base/memory.h"
#include "config/directories.h"
#include "config/settings.h"
#include "java/jvm_options.h"
#include "java/main_class.h"
#include "java/runtime_search.h"
#include "java/stopper.h"
#include "os/os.h"
#include "os/report.h"

void *runtime_library;
JavaVM *java_vm;
JNIEnv *jvm_env;

typedef jint(JNICALL *create_vm_entry)(JavaVM **, void **, void *);
static create_vm_entry create_java_vm;
static void *default_init_args_entry;

enum { OUTPUT_PIECE_SIZE = 4096, MESSAGE_TEXT_STEP = 4096 };

// The JVM message text: appended by the output hook on any VM thread, taken by the exit and
// abort hooks and after a failed creation. A spin lock serialises both sides.
static char *message_text;
static size_t message_capacity;
static char message_lock;

static void lock_message_text()
{
    while (__atomic_test_and_set(&message_lock, __ATOMIC_ACQUIRE))
        ;
}

static void unlock_message_text()
{
    __atomic_clear(&message_lock, __ATOMIC_RELEASE);
}

jint JNICALL jvm_output_hook(FILE *, const char *format, va_list args)
{
    char piece[OUTPUT_PIECE_SIZE];
    int n = format_text(piece, sizeof piece, format, args);
    lock_message_text();
    size_t used = message_text ? strlen(message_text) : 0;
    if (!message_text) {
        message_capacity = MESSAGE_TEXT_STEP;
        message_text = (char *)must_alloc(message_capacity);
    } else if (used + (size_t)n + 1 > message_capacity) {
        // One step always suffices: a piece is shorter than a step.
        message_capacity += MESSAGE_TEXT_STEP;
        message_text = (char *)must_realloc(message_text, message_capacity);
    }
    memcpy(message_text + used, piece, (size_t)n + 1);
    unlock_message_text();
    return n;
}

char *take_jvm_message_text()
{
    lock_message_text();
    char *text = message_text;
    message_text = nullptr;
    message_capacity = 0;
    unlock_message_text();
    return text;
}

static void format_into(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    format_text(buffer, size, format, args);
    va_end(args);
}

// Reports a failed creation: the message, and what the virtual machine printed about why.
static void report_creation_failure(const char *library)
{
    char *vm_text = take_jvm_message_text();
    if (!vm_text) {
        report_error(settings.msg_create_jvm, library);
        return;
    }
    char message[4096];
    format_into(message, sizeof message, settings.msg_create_jvm, library);
    report_error("%s\n\n%s", message, vm_text);
    free(vm_text);
}

bool create_jvm(bool console)
{
    if (settings.early_working_dir && !enter_working_directory(true))
        return false;

    char library[260], home[RUNTIME_HOME_SIZE];
    if (!find_runtime_library(library, sizeof library, home)) {
        report_error(settings.msg_no_runtime);
        return false;
    }

    runtime_library = load_runtime_library(library);
    if (!runtime_library) {
        report_error(settings.msg_load_runtime, library);
        return false;
    }
    create_java_vm = (create_vm_entry)find_library_symbol(runtime_library, "JNI_CreateJavaVM");
    default_init_args_entry = find_library_symbol(runtime_library, "JNI_GetDefaultJavaVMInitArgs");
    if (!create_java_vm || !default_init_args_entry) {
        report_error(settings.msg_jni_entry, library);
        return false;
    }

    char *option_text = build_jvm_options(home);
    if (!option_text)
        return false;
    int count;
    char **user_options;
    split_command_line(option_text, &count, &user_options, false);
    free(option_text);

    // The hooks come first: a virtual machine takes each option in turn, and what it prints
    // about a bad user option must already go to the output hook.
    JavaVMOption *options =
        (JavaVMOption *)must_alloc(((size_t)count + 3) * sizeof(JavaVMOption));
    options[0].optionString = (char *)"vfprintf";
    options[0].extraInfo = (void *)jvm_output_hook;
    options[1].optionString = (char *)"abort";
    options[1].extraInfo = (void *)jvm_abort_hook;
    options[2].optionString = (char *)"exit";
    options[2].extraInfo = (void *)jvm_exit_hook;
    for (int i = 0; i < count; i++)
        options[3 + i].optionString = user_options[i];

    static JavaVMInitArgs init_args;
    init_args.version = JNI_VERSION_1_2;
    init_args.nOptions = count + 3;
    init_args.options = options;
    init_args.ignoreUnrecognized = JNI_FALSE;

    if (create_java_vm(&java_vm, (void **)&jvm_env, &init_args) != 0) {
        report_creation_failure(library);
        return false;
    }

    if (console) {
        open_process_console();
        redirect_java_stream(jvm_env, "CONOUT$", "setOut");
        redirect_java_stream(jvm_env, "CONOUT$", "setErr");
    }
    return true;
}

void destroy_jvm()
{
    java_vm->DetachCurrentThread();
    java_vm->DestroyJavaVM();
    free_runtime_library(runtime_library);
}
