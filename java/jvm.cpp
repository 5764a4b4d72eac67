// Creating and destroying the Java virtual machine: the plan carried out. Portable: the system
// is reached through the system seam.
#include "java/jvm.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "config/directories.h"
#include "java/class_sharing.h"
#include "java/jni_calls.h"
#include "java/vm_hooks.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

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

// Creates the virtual machine with the hooks and then the given options of plan but the one at
// left_out (-1: none); false after a reported failure. The hooks come first: a virtual machine
// takes each option in turn, and what it prints about a bad user option must already go to
// the output hook. The options stay for the life of the process, as a virtual machine may
// keep pointers into what it was created with.
static bool start_vm(const launcher_settings &settings, const launch_plan &plan, int left_out,
                     jvm_record *jvm)
{
    JavaVMOption *options =
        (JavaVMOption *)must_alloc(((size_t)plan.given_count + 3) * sizeof(JavaVMOption));
    options[0] = {(char *)"vfprintf", (void *)jvm_output_hook};
    options[1] = {(char *)"abort", (void *)jvm_abort_hook};
    options[2] = {(char *)"exit", (void *)jvm_exit_hook};
    int n = 3;
    for (int i = 0; i < plan.given_count; i++)
        if (i != left_out)
            options[n++] = {plan.given[i], nullptr};
    JavaVMInitArgs init_args;
    init_args.version = JNI_VERSION_1_2;
    init_args.nOptions = n;
    init_args.options = options;
    init_args.ignoreUnrecognized = JNI_FALSE;
    begin_vm_creation(settings.msg_create_jvm, jvm->library_path);
    jint status = jvm->create_vm(&jvm->vm, (void **)&jvm->env, &init_args);
    trace("virtual machine creation: %d (0 created)", (int)status);
    end_vm_creation(status == 0);
    return status == 0;
}

// Sets each "-Dname=value" of the plan's late properties as a system property; false after a
// reported failure.
static bool set_late_properties(const launcher_settings &settings, JNIEnv *env,
                                const launch_plan &plan)
{
    for (int i = 0; i < plan.late_count; i++) {
        char *name = plan.late[i] + 2, *equals = strchr(name, '=');
        if (equals)
            *equals = '\0';
        if (!set_java_property(env, settings, name, equals ? equals + 1 : ""))
            return false;
    }
    return true;
}

bool execute_plan(const run_context &run, const launch_plan &plan, jvm_record *jvm)
{
    const launcher_settings &settings = *run.settings;
    jvm->output = plan.output;
    jvm->main_directory = plan.main_directory;
    memcpy(jvm->library_path, plan.library_path, sizeof jvm->library_path);
    // Class sharing's files first, as its options come before the crash evidence's. A crash
    // folder that cannot be made leaves the run without evidence: the report's option is not
    // given.
    carry_out_class_sharing(plan.class_sharing);
    int left_out = make_crash_evidence(plan.crash, run.guard) ? -1 : plan.crash.option_at;
    if (!load_runtime(settings, jvm) || !start_vm(settings, plan, left_out, jvm) ||
        !set_late_properties(settings, jvm->env, plan))
        return false;
    if (plan.console) {
        open_process_console();
        redirect_java_stream(jvm->env, settings, "CONOUT$", true, true);
    }
    return true;
}

bool create_jvm(const run_context &run, launch_plan *plan, const char *class_path,
                bool expand_folders, int count, char **vector, jvm_record *jvm)
{
    if (!enter_directory(*run.settings, plan->early_directory))
        return false;
    launch_facts facts;
    gather_launch_facts(run, &facts);
    bool ok = plan_launch(run, facts, class_path, expand_folders, count, vector, plan) &&
              execute_plan(run, *plan, jvm);
    free_launch_facts(&facts);
    free_launch_plan(plan);
    return ok;
}

void destroy_jvm(const jvm_record &jvm)
{
    jvm.vm->DetachCurrentThread();
    jvm.vm->DestroyJavaVM();
    finish_class_sharing();
    free_runtime_library(jvm.library);
}
