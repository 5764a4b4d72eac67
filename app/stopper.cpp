// The stopper and the virtual machine's exit and abort hooks. Portable JNI code.
#include "app/stopper.h"

#include <stdlib.h>

#include "app/main_class.h"
#include "jvm/jvm.h"
#include "launcher/settings.h"
#include "launcher/startup.h"
#include "service/service.h"
#include "ui/report.h"

bool stop_java_application()
{
    JNIEnv *env;
    JavaVMAttachArgs args = stopper_attach_args();
    if (java_vm->AttachCurrentThread((void **)&env, &args) != 0) {
        report_error(settings.msg_attach);
        return false;
    }
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
    java_vm->DetachCurrentThread();
    return true;
}

// What both hooks do before the process ends.
static void finish_run()
{
    char *text = take_jvm_message_text();
    if (text) {
        report_error("%s", text);
        free(text);
    }
    if (run_mode == RUN_MODE_INTERACTIVE)
        release_instance_mutex();
    if (run_mode == RUN_MODE_SERVICE)
        complete_service_handshake();
}

void JNICALL jvm_exit_hook(jint status)
{
    finish_run();
    exit((int)status);
}

void JNICALL jvm_abort_hook()
{
    finish_run();
    abort();
}
