// The stopper and the virtual machine's exit and abort hooks. Portable JNI code.
#include "java/stopper.h"

#include <stdlib.h>

#include "config/settings.h"
#include "java/class_sharing.h"
#include "java/jvm.h"
#include "java/main_class.h"
#include "os/report.h"

static void (*application_end_hook)(int failure);

void set_application_end_hook(void (*hook)(int failure))
{
    application_end_hook = hook;
}

// Calls System.exit(0) on the attached thread env; false after a reported failure.
static bool call_system_exit(JNIEnv *env)
{
    jclass system = env->FindClass("java/lang/System");
    if (check_java_exception(env) || !system) {
        report_error(settings.msg_class, "java/lang/System");
        return false;
    }
    jmethodID exit_method = env->GetStaticMethodID(system, "exit", "(I)V");
    if (check_java_exception(env) || !exit_method) {
        report_error(settings.msg_method, "exit(int)");
        return false;
    }
    env->CallStaticVoidMethod(system, exit_method, (jint)0);
    // Only reached when System.exit did not end the process (a security manager refused).
    if (check_java_exception(env)) {
        report_error(settings.msg_invoke, "exit(int)");
        return false;
    }
    return true;
}

bool stop_java_application()
{
    JNIEnv *env;
    JavaVMAttachArgs args = stopper_attach_args();
    if (java_vm->AttachCurrentThread((void **)&env, &args) != 0) {
        report_error(settings.msg_attach);
        return false;
    }
    bool ok = call_system_exit(env);
    // Whatever happened: a thread left attached would keep DestroyJavaVM waiting for ever.
    java_vm->DetachCurrentThread();
    return ok;
}

// What both hooks do before the process ends: the virtual machine's own account of a failure
// (failure not 0) is shown, then the entry point's hook runs.
static void finish_run(int failure)
{
    char *text = take_jvm_message_text();
    if (text && failure)
        report_error("%s", text);
    free(text);
    if (application_end_hook)
        application_end_hook(failure);
}

void JNICALL jvm_exit_hook(jint status)
{
    finish_class_sharing();
    finish_run((int)status);
    exit((int)status);
}

void JNICALL jvm_abort_hook()
{
    // An abort while the virtual machine is being created means it could not start: that is
    // reported as a failed creation and ends the process as every other start failure does.
    if (jvm_creation_pending()) {
        report_creation_failure();
        if (application_end_hook)
            application_end_hook(APPLICATION_FAILED);
        exit(-1);
    }
    finish_run(APPLICATION_FAILED);
    abort();
}
