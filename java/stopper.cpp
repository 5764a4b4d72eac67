// The stopper. Portable JNI code.
#include "java/stopper.h"

#include "java/jni_calls.h"
#include "os/report.h"

// Calls System.exit(0) on the attached thread env; false after a reported failure.
static bool call_system_exit(JNIEnv *env, const launcher_settings &settings)
{
    jclass system = find_java_class(env, settings, "java/lang/System");
    jmethodID exit_method =
        system ? find_static_method(env, settings, system, "exit", "(I)V", "exit(int)") : nullptr;
    if (!exit_method)
        return false;
    env->CallStaticVoidMethod(system, exit_method, (jint)0);
    // Only reached when System.exit did not end the process (a security manager refused).
    return jni_call_ok(env, settings.msg_invoke, "exit(int)");
}

bool stop_java_application(const launcher_settings &settings, const jvm_record &jvm)
{
    JNIEnv *env;
    JavaVMAttachArgs args = stopper_attach_args(jvm.attach_version);
    if (jvm.vm->AttachCurrentThread((void **)&env, &args) != 0) {
        report_error(settings.msg_attach);
        return false;
    }
    bool ok = call_system_exit(env, settings);
    // Whatever happened: a thread left attached would keep DestroyJavaVM waiting for ever.
    jvm.vm->DetachCurrentThread();
    return ok;
}
