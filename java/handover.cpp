// The hand-over method's calls. Portable JNI code.
#include "java/handover.h"

#include <stdlib.h>

#include "base/text.h"
#include "java/jni_calls.h"
#include "os/report.h"
#include "os/trace.h"

static const char SIGNATURE[] = "([Ljava/lang/String;Ljava/lang/String;)V";

// "package.Class.method(java/lang/String[], java/lang/String)", as reports name the method.
static char *method_description(const launcher_settings &settings)
{
    return join_text(settings.instance_handover, "(java/lang/String[], java/lang/String)");
}

JNIEnv *attach_handover_thread(const launcher_settings &settings, const jvm_record &jvm)
{
    JavaVMAttachArgs args = stopper_attach_args(jvm.attach_version);
    args.name = (char *)"Trevalo handover thread";
    JNIEnv *env;
    if (jvm.vm->AttachCurrentThreadAsDaemon((void **)&env, &args) != 0) {
        report_error(settings.msg_attach);
        return nullptr;
    }
    return env;
}

bool find_handover_method(JNIEnv *env, const launcher_settings &settings,
                          const char *class_name, const char *method, handover_target *target)
{
    char *description = method_description(settings);
    jclass owner = env->FindClass(class_name);
    bool found = jni_step_ok(env, owner, settings.msg_method, description);
    target->method = found ? env->GetStaticMethodID(owner, method, SIGNATURE) : nullptr;
    found = found && jni_step_ok(env, target->method, settings.msg_method, description);
    target->owner = found ? (jclass)env->NewGlobalRef(owner) : nullptr;
    trace(found ? "hand-over method %s found" : "hand-over method %s not found", description);
    free(description);
    return found;
}

bool deliver_handover_message(JNIEnv *env, const launcher_settings &settings,
                              const handover_target &target, const handover_message &message)
{
    // Every local reference of one message goes with its frame, as this thread never returns
    // to Java to free them.
    if (env->PushLocalFrame(message.count + 8) != 0)
        return jni_call_ok(env, settings.msg_object, "java/lang/String[]");
    jclass string_class = env->FindClass("java/lang/String");
    jobjectArray array =
        string_class ? env->NewObjectArray(message.count, string_class, nullptr) : nullptr;
    bool ok = jni_step_ok(env, array, settings.msg_object, "java/lang/String[]");
    for (int i = 0; ok && i < message.count; i++) {
        jstring argument = new_java_string(env, message.arguments[i]);
        ok = jni_step_ok(env, argument, settings.msg_object, "java/lang/String");
        if (ok)
            env->SetObjectArrayElement(array, i, argument);
    }
    jstring folder = ok ? new_java_string(env, message.folder) : nullptr;
    ok = ok && jni_step_ok(env, folder, settings.msg_object, "java/lang/String");
    if (ok) {
        trace("handing %d arguments to the hand-over method", message.count);
        env->CallStaticVoidMethod(target.owner, target.method, array, folder);
        char *description = method_description(settings);
        ok = jni_call_ok(env, settings.msg_invoke, description);
        free(description);
    }
    env->PopLocalFrame(nullptr);
    return ok;
}
