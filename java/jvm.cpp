// Creating and destroying the Java virtual machine. Portable: the system is reached through
// the system seam.
#include "java/jvm.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "base/command_line.h"
#include "base/memory.h"
#include "base/messages.h"
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

enum { OUTPUT_PIECE_SIZE = 4096, OUTPUT_TAIL_SIZE = 16384 };

// The last OUTPUT_TAIL_SIZE bytes the virtual machine printed, kept for the message shown
// when it fails: a ring appended by the output hook on any VM thread and taken by the exit
// and abort hooks and after a failed creation. A spin lock serialises both sides.
static char *output_tail; // allocated at the first piece
static size_t tail_start, tail_length;
static char tail_lock;
// Set while JNI_CreateJavaVM runs: an abort then means the virtual machine never started.
static std::atomic<bool> creating;
// The path of the runtime library that was chosen.
static char library[RUNTIME_PATH_SIZE];

static void lock_tail()
{
    while (__atomic_test_and_set(&tail_lock, __ATOMIC_ACQUIRE))
        ;
}

static void unlock_tail()
{
    __atomic_clear(&tail_lock, __ATOMIC_RELEASE);
}

static void keep_in_tail(const char *piece, size_t n)
{
    if (n > OUTPUT_TAIL_SIZE) {
        piece += n - OUTPUT_TAIL_SIZE;
        n = OUTPUT_TAIL_SIZE;
    }
    size_t end = (tail_start + tail_length) % OUTPUT_TAIL_SIZE;
    size_t first = n < OUTPUT_TAIL_SIZE - end ? n : OUTPUT_TAIL_SIZE - end;
    memcpy(output_tail + end, piece, first);
    memcpy(output_tail, piece + first, n - first);
    tail_length += n;
    if (tail_length > OUTPUT_TAIL_SIZE) {
        tail_start = (tail_start + tail_length - OUTPUT_TAIL_SIZE) % OUTPUT_TAIL_SIZE;
        tail_length = OUTPUT_TAIL_SIZE;
    }
}

jint JNICALL jvm_output_hook(FILE *, const char *format, va_list args)
{
    char piece[OUTPUT_PIECE_SIZE];
    int n = format_text(piece, sizeof piece, format, args);
    write_standard_error(piece, (size_t)n);
    lock_tail();
    if (!output_tail)
        output_tail = (char *)must_alloc(OUTPUT_TAIL_SIZE);
    keep_in_tail(piece, (size_t)n);
    unlock_tail();
    return n;
}

char *take_jvm_message_text()
{
    lock_tail();
    char *text = nullptr;
    if (tail_length > 0) {
        text = (char *)must_alloc(tail_length + 1);
        size_t first = tail_length < OUTPUT_TAIL_SIZE - tail_start ? tail_length
                                                                    : OUTPUT_TAIL_SIZE - tail_start;
        memcpy(text, output_tail + tail_start, first);
        memcpy(text + first, output_tail, tail_length - first);
    }
    tail_start = tail_length = 0;
    unlock_tail();
    return text;
}

bool jvm_creation_pending()
{
    return creating;
}

void report_creation_failure()
{
    char *vm_text = take_jvm_message_text();
    if (vm_text)
        report_error_with_detail(settings.msg_create_jvm, library, vm_text);
    else
        report_error(settings.msg_create_jvm, library);
    free(vm_text);
}

bool create_jvm(bool console, const char *class_path, bool expand_folders)
{
    if (settings.early_working_dir && !enter_working_directory(true))
        return false;

    char home[RUNTIME_HOME_SIZE], note[SEARCH_NOTE_SIZE];
    if (!find_runtime_library(LAUNCHER_MACHINE, library, sizeof library, home, note)) {
        // A runtime for another processor is named: the user has one, but not the right one.
        if (note[0])
            report_error_with_detail(settings.msg_no_runtime, "", note);
        else
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

    char *option_text = build_jvm_options(home, class_path, expand_folders);
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
    // An option the runtime cannot read in its code page: a property ("-Dname=value") is set
    // through System.setProperty, in UTF-16, once the machine runs; any other is refused.
    int given = 0, late = 0;
    for (int i = 0; i < count; i++) {
        // Two blanks in a row in the option text leave an empty piece: no option at all,
        // which a virtual machine would refuse ("Unrecognized option: ").
        if (!user_options[i][0]) {
            free(user_options[i]);
            continue;
        }
        char *option = runtime_option(user_options[i]);
        if (option) {
            options[3 + given++].optionString = option;
            free(user_options[i]);
        } else if (strncmp(user_options[i], "-D", 2) == 0) {
            user_options[late++] = user_options[i];
        } else {
            report_error(MSG_OPTION_NOT_REPRESENTABLE, user_options[i]);
            return false;
        }
    }
    count = given;

    static JavaVMInitArgs init_args;
    init_args.version = JNI_VERSION_1_2;
    init_args.nOptions = count + 3;
    init_args.options = options;
    init_args.ignoreUnrecognized = JNI_FALSE;

    creating = true;
    jint created = create_java_vm(&java_vm, (void **)&jvm_env, &init_args);
    creating = false;
    if (created != 0) {
        report_creation_failure();
        return false;
    }

    bool ok = true;
    for (int i = 0; i < late; i++) {
        char *name = user_options[i] + 2, *equals = strchr(name, '=');
        if (equals)
            *equals = '\0';
        ok = ok && set_java_property(jvm_env, name, equals ? equals + 1 : "");
        free(user_options[i]);
    }
    free(user_options);
    if (!ok)
        return false;

    if (console) {
        open_process_console();
        redirect_java_stream(jvm_env, "CONOUT$", true, true);
    }
    return true;
}

void destroy_jvm()
{
    java_vm->DetachCurrentThread();
    java_vm->DestroyJavaVM();
    free_runtime_library(runtime_library);
}
