// The JNIEnv function table of the test runtime: the JNI functions the launcher and the tests
// use, with the contracts of a real runtime (null results with a pending exception, exceptions
// that stay pending until cleared, local references that die when deleted). Every other slot
// ends the process loudly, so that a use of an unimplemented function cannot go unnoticed.
#include "tests/runtime/runtime.h"

#include <stdlib.h>
#include <string.h>

#include <utility>

namespace {

// Slot names of JNINativeInterface_, by index, for the message of an unsupported call.
const char *const slot_names[] = {
    "reserved0", "reserved1", "reserved2", "reserved3", "GetVersion", "DefineClass", "FindClass",
    "FromReflectedMethod", "FromReflectedField", "ToReflectedMethod", "GetSuperclass",
    "IsAssignableFrom", "ToReflectedField", "Throw", "ThrowNew", "ExceptionOccurred",
    "ExceptionDescribe", "ExceptionClear", "FatalError", "PushLocalFrame", "PopLocalFrame",
    "NewGlobalRef", "DeleteGlobalRef", "DeleteLocalRef", "IsSameObject", "NewLocalRef",
    "EnsureLocalCapacity", "AllocObject", "NewObject", "NewObjectV", "NewObjectA",
    "GetObjectClass", "IsInstanceOf", "GetMethodID", "CallObjectMethod", "CallObjectMethodV",
    "CallObjectMethodA", "CallBooleanMethod", "CallBooleanMethodV", "CallBooleanMethodA",
    "CallByteMethod", "CallByteMethodV", "CallByteMethodA", "CallCharMethod", "CallCharMethodV",
    "CallCharMethodA", "CallShortMethod", "CallShortMethodV", "CallShortMethodA", "CallIntMethod",
    "CallIntMethodV", "CallIntMethodA", "CallLongMethod", "CallLongMethodV", "CallLongMethodA",
    "CallFloatMethod", "CallFloatMethodV", "CallFloatMethodA", "CallDoubleMethod",
    "CallDoubleMethodV", "CallDoubleMethodA", "CallVoidMethod", "CallVoidMethodV",
    "CallVoidMethodA", "CallNonvirtualObjectMethod", "CallNonvirtualObjectMethodV",
    "CallNonvirtualObjectMethodA", "CallNonvirtualBooleanMethod", "CallNonvirtualBooleanMethodV",
    "CallNonvirtualBooleanMethodA", "CallNonvirtualByteMethod", "CallNonvirtualByteMethodV",
    "CallNonvirtualByteMethodA", "CallNonvirtualCharMethod", "CallNonvirtualCharMethodV",
    "CallNonvirtualCharMethodA", "CallNonvirtualShortMethod", "CallNonvirtualShortMethodV",
    "CallNonvirtualShortMethodA", "CallNonvirtualIntMethod", "CallNonvirtualIntMethodV",
    "CallNonvirtualIntMethodA", "CallNonvirtualLongMethod", "CallNonvirtualLongMethodV",
    "CallNonvirtualLongMethodA", "CallNonvirtualFloatMethod", "CallNonvirtualFloatMethodV",
    "CallNonvirtualFloatMethodA", "CallNonvirtualDoubleMethod", "CallNonvirtualDoubleMethodV",
    "CallNonvirtualDoubleMethodA", "CallNonvirtualVoidMethod", "CallNonvirtualVoidMethodV",
    "CallNonvirtualVoidMethodA", "GetFieldID", "GetObjectField", "GetBooleanField",
    "GetByteField", "GetCharField", "GetShortField", "GetIntField", "GetLongField",
    "GetFloatField", "GetDoubleField", "SetObjectField", "SetBooleanField", "SetByteField",
    "SetCharField", "SetShortField", "SetIntField", "SetLongField", "SetFloatField",
    "SetDoubleField", "GetStaticMethodID", "CallStaticObjectMethod", "CallStaticObjectMethodV",
    "CallStaticObjectMethodA", "CallStaticBooleanMethod", "CallStaticBooleanMethodV",
    "CallStaticBooleanMethodA", "CallStaticByteMethod", "CallStaticByteMethodV",
    "CallStaticByteMethodA", "CallStaticCharMethod", "CallStaticCharMethodV",
    "CallStaticCharMethodA", "CallStaticShortMethod", "CallStaticShortMethodV",
    "CallStaticShortMethodA", "CallStaticIntMethod", "CallStaticIntMethodV",
    "CallStaticIntMethodA", "CallStaticLongMethod", "CallStaticLongMethodV",
    "CallStaticLongMethodA", "CallStaticFloatMethod", "CallStaticFloatMethodV",
    "CallStaticFloatMethodA", "CallStaticDoubleMethod", "CallStaticDoubleMethodV",
    "CallStaticDoubleMethodA", "CallStaticVoidMethod", "CallStaticVoidMethodV",
    "CallStaticVoidMethodA", "GetStaticFieldID", "GetStaticObjectField", "GetStaticBooleanField",
    "GetStaticByteField", "GetStaticCharField", "GetStaticShortField", "GetStaticIntField",
    "GetStaticLongField", "GetStaticFloatField", "GetStaticDoubleField", "SetStaticObjectField",
    "SetStaticBooleanField", "SetStaticByteField", "SetStaticCharField", "SetStaticShortField",
    "SetStaticIntField", "SetStaticLongField", "SetStaticFloatField", "SetStaticDoubleField",
    "NewString", "GetStringLength", "GetStringChars", "ReleaseStringChars", "NewStringUTF",
    "GetStringUTFLength", "GetStringUTFChars", "ReleaseStringUTFChars", "GetArrayLength",
    "NewObjectArray", "GetObjectArrayElement", "SetObjectArrayElement", "NewBooleanArray",
    "NewByteArray", "NewCharArray", "NewShortArray", "NewIntArray", "NewLongArray",
    "NewFloatArray", "NewDoubleArray", "GetBooleanArrayElements", "GetByteArrayElements",
    "GetCharArrayElements", "GetShortArrayElements", "GetIntArrayElements",
    "GetLongArrayElements", "GetFloatArrayElements", "GetDoubleArrayElements",
    "ReleaseBooleanArrayElements", "ReleaseByteArrayElements", "ReleaseCharArrayElements",
    "ReleaseShortArrayElements", "ReleaseIntArrayElements", "ReleaseLongArrayElements",
    "ReleaseFloatArrayElements", "ReleaseDoubleArrayElements", "GetBooleanArrayRegion",
    "GetByteArrayRegion", "GetCharArrayRegion", "GetShortArrayRegion", "GetIntArrayRegion",
    "GetLongArrayRegion", "GetFloatArrayRegion", "GetDoubleArrayRegion", "SetBooleanArrayRegion",
    "SetByteArrayRegion", "SetCharArrayRegion", "SetShortArrayRegion", "SetIntArrayRegion",
    "SetLongArrayRegion", "SetFloatArrayRegion", "SetDoubleArrayRegion", "RegisterNatives",
    "UnregisterNatives", "MonitorEnter", "MonitorExit", "GetJavaVM", "GetStringRegion",
    "GetStringUTFRegion", "GetPrimitiveArrayCritical", "ReleasePrimitiveArrayCritical",
    "GetStringCritical", "ReleaseStringCritical", "NewWeakGlobalRef", "DeleteWeakGlobalRef",
    "ExceptionCheck", "NewDirectByteBuffer", "GetDirectBufferAddress", "GetDirectBufferCapacity",
    "GetObjectRefType", "GetModule",
};
const int slot_count = sizeof slot_names / sizeof slot_names[0];
static_assert(sizeof(JNINativeInterface_) == slot_count * sizeof(void *),
              "the name table must match jni.h's function table");

// Unsupported slots all share this body; the index tells which one was called. The arguments
// are never read and the function never returns, so the argument count does not matter.
template <int index>
void JNICALL unsupported(JNIEnv *)
{
    log_line("unsupported JNI function %d %s", index, slot_names[index]);
    fatal_error("unsupported JNI function " + std::to_string(index) + " (" + slot_names[index] +
                ")");
}

template <int... indexes>
void fill_unsupported(void **slots, std::integer_sequence<int, indexes...>)
{
    ((slots[indexes] = reinterpret_cast<void *>(&unsupported<indexes>)), ...);
}

// A reference as the caller holds it. Records are never freed, so a deleted reference stays
// recognisable as deleted.
enum RefKind { ref_deleted, ref_local, ref_global };
const unsigned ref_magic = 0x52454621;
struct Ref {
    unsigned magic;
    Object *object;
    RefKind kind;
};

jobject to_ref(Object *o, RefKind kind = ref_local)
{
    if (!o)
        return nullptr;
    return reinterpret_cast<jobject>(new Ref{ref_magic, o, kind});
}

// The object behind a reference; null for a null, deleted or foreign reference (the last two
// are reported).
Object *deref(jobject ref, const char *function)
{
    if (!ref)
        return nullptr;
    Ref *r = reinterpret_cast<Ref *>(ref);
    if (r->magic != ref_magic) {
        violation("%s: %p is not a reference", function, static_cast<void *>(ref));
        return nullptr;
    }
    if (r->kind == ref_deleted) {
        violation("%s: use of a deleted reference", function);
        return nullptr;
    }
    return r->object;
}

// The calling thread's state, reporting an environment used on the wrong thread and a call
// made with an exception pending (JNI allows only the exception and release functions then).
ThreadState *enter(JNIEnv *env, const char *function, bool allowed_with_pending = false)
{
    ThreadState *t = reinterpret_cast<ThreadState *>(env);
    ThreadState *current = current_thread();
    if (current != t)
        violation("%s: JNIEnv of thread \"%s\" used on %s", function, t->name.c_str(),
                  current ? ("thread \"" + current->name + "\"").c_str()
                          : "a thread that is not attached");
    if (t->pending && !allowed_with_pending)
        violation("%s called with exception pending: %s", function,
                  throwable_summary(t->pending).c_str());
    return t;
}

Class *class_of(jclass cls, const char *function)
{
    Object *o = deref(cls, function);
    if (!o || !o->mirror) {
        violation("%s: not a class", function);
        return nullptr;
    }
    return o->mirror;
}

Method *method_of(jmethodID id, const char *function)
{
    Method *m = reinterpret_cast<Method *>(id);
    if (!m || m->magic != method_magic) {
        violation("%s: not a method ID", function);
        return nullptr;
    }
    return m;
}

std::string slash_to_l_form(const std::string &name)
{
    return name[0] == '[' ? name : "L" + name + ";";
}

// One letter per parameter of a method signature, 'L' for every reference type.
std::string parameter_kinds(const std::string &sig)
{
    std::string kinds;
    for (size_t i = 1; i < sig.size() && sig[i] != ')'; ++i) {
        char kind = sig[i];
        while (sig[i] == '[')
            ++i;
        if (sig[i] == 'L')
            i = sig.find(';', i);
        kinds += kind == '[' ? 'L' : kind;
    }
    return kinds;
}

char return_kind(const std::string &sig)
{
    char kind = sig[sig.find(')') + 1];
    return kind == '[' ? 'L' : kind;
}

std::vector<Value> arguments_from_list(const Method *m, va_list list, const char *function)
{
    std::vector<Value> args;
    for (char kind : parameter_kinds(m->sig)) {
        Value v;
        if (kind == 'J')
            v.i = va_arg(list, jlong);
        else if (kind == 'F' || kind == 'D')
            v.d = va_arg(list, double);  // float arguments are promoted to double in "..."
        else if (kind == 'L')
            v.o = deref(va_arg(list, jobject), function);
        else
            v.i = va_arg(list, int);  // boolean, byte, char and short are promoted to int
        args.push_back(v);
    }
    return args;
}

std::vector<Value> arguments_from_array(const Method *m, const jvalue *values,
                                        const char *function)
{
    std::vector<Value> args;
    std::string kinds = parameter_kinds(m->sig);
    for (size_t i = 0; i < kinds.size(); ++i) {
        Value v;
        switch (kinds[i]) {
        case 'Z': v.i = values[i].z; break;
        case 'B': v.i = values[i].b; break;
        case 'C': v.i = values[i].c; break;
        case 'S': v.i = values[i].s; break;
        case 'I': v.i = values[i].i; break;
        case 'J': v.i = values[i].j; break;
        case 'F': v.d = values[i].f; break;
        case 'D': v.d = values[i].d; break;
        default: v.o = deref(values[i].l, function); break;
        }
        args.push_back(v);
    }
    return args;
}

// A Call<type>Method family call after its arguments were converted. Instance calls dispatch
// on the receiver's class, as a virtual call does.
Value call(ThreadState *t, const char *function, Class *cls, Object *self, Method *m,
           const std::vector<Value> &args, char expected_return, bool is_static)
{
    if (m->is_static != is_static)
        violation("%s: %s is %s", function, m->name.c_str(),
                  m->is_static ? "static" : "not static");
    if (return_kind(m->sig) != expected_return)
        violation("%s: %s returns %s", function, m->name.c_str(), m->sig.c_str());
    if (is_static) {
        if (cls && !is_subclass(cls, m->owner))
            violation("%s: %s is not a method of %s", function, m->name.c_str(),
                      cls->name.c_str());
        if (!initialize_class(t, m->owner))
            return Value();
        return invoke(t, m, nullptr, args.data());
    }
    if (!self) {
        violation("%s: null receiver", function);
        return Value();
    }
    Method *target = find_method(self->cls, m->name, m->sig);
    return invoke(t, target ? target : m, self, args.data());
}

Value call_list(JNIEnv *env, const char *function, jclass cls, jobject self, jmethodID id,
                va_list list, char expected_return, bool is_static)
{
    ThreadState *t = enter(env, function);
    Method *m = method_of(id, function);
    if (!m)
        return Value();
    std::vector<Value> args = arguments_from_list(m, list, function);
    return call(t, function, cls ? class_of(cls, function) : nullptr, deref(self, function), m,
                args, expected_return, is_static);
}

Value call_array(JNIEnv *env, const char *function, jclass cls, jobject self, jmethodID id,
                 const jvalue *values, char expected_return, bool is_static)
{
    ThreadState *t = enter(env, function);
    Method *m = method_of(id, function);
    if (!m)
        return Value();
    std::vector<Value> args = arguments_from_array(m, values, function);
    return call(t, function, cls ? class_of(cls, function) : nullptr, deref(self, function), m,
                args, expected_return, is_static);
}

// NewObject: allocates an instance of cls and runs the constructor m on it; null when the
// constructor throws.
jobject construct(ThreadState *t, const char *function, Class *cls, Method *m,
                  const std::vector<Value> &args)
{
    if (!cls || !m)
        return nullptr;
    if (m->name != "<init>" || m->owner != cls) {
        violation("%s: %s is not a constructor of %s", function, m->name.c_str(),
                  cls->name.c_str());
        return nullptr;
    }
    if (!initialize_class(t, cls))
        return nullptr;
    Object *o = new Object();
    o->cls = cls;
    Object *before = t->pending;
    invoke(t, m, o, args.data());
    return t->pending != before ? nullptr : to_ref(o);
}

jint JNICALL GetVersion(JNIEnv *env)
{
    enter(env, "GetVersion");
    return JNI_VERSION_10;
}

// FindClass: slash names only, as in HotSpot. A missing class is a NoClassDefFoundError
// caused by a ClassNotFoundException; a dotted name finds nothing either. The class found is
// initialised.
jclass JNICALL FindClass(JNIEnv *env, const char *name)
{
    ThreadState *t = enter(env, "FindClass");
    if (!name) {
        violation("FindClass: null name");
        return nullptr;
    }
    Class *cls = strchr(name, '.') ? nullptr : find_class(name);
    log_line("find_class %s %s", name, cls ? "ok" : "missing");
    if (!cls) {
        std::string text = name;
        Object *error = new_throwable(t, "java/lang/NoClassDefFoundError", &text);
        if (!strchr(name, '.')) {
            std::string message = dotted(name);
            Object *cause = new_throwable(t, "java/lang/ClassNotFoundException", &message);
            cause->frames.insert(cause->frames.begin(),
                                 "java.lang.ClassLoader.loadClass(Unknown Source)");
            error->inner = cause;
        }
        log_line("throw %s", throwable_summary(error).c_str());
        t->pending = error;
        return nullptr;
    }
    if (!initialize_class(t, cls))
        return nullptr;
    return static_cast<jclass>(to_ref(cls->mirror));
}

jclass JNICALL GetSuperclass(JNIEnv *env, jclass sub)
{
    Class *cls = class_of(sub, "GetSuperclass");
    enter(env, "GetSuperclass");
    return cls && cls->super ? static_cast<jclass>(to_ref(cls->super->mirror)) : nullptr;
}

jboolean JNICALL IsAssignableFrom(JNIEnv *env, jclass sub, jclass sup)
{
    enter(env, "IsAssignableFrom");
    Class *a = class_of(sub, "IsAssignableFrom");
    Class *b = class_of(sup, "IsAssignableFrom");
    return a && b && is_subclass(a, b) ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL Throw(JNIEnv *env, jthrowable obj)
{
    ThreadState *t = enter(env, "Throw");
    Object *ex = deref(obj, "Throw");
    if (!ex || !is_subclass(ex->cls, find_class("java/lang/Throwable"))) {
        violation("Throw: not a throwable");
        return JNI_ERR;
    }
    log_line("throw %s", throwable_summary(ex).c_str());
    t->pending = ex;
    return JNI_OK;
}

// ThrowNew: constructs the throwable with its (String) constructor, then throws it.
jint JNICALL ThrowNew(JNIEnv *env, jclass clazz, const char *msg)
{
    ThreadState *t = enter(env, "ThrowNew");
    Class *cls = class_of(clazz, "ThrowNew");
    if (!cls || !is_subclass(cls, find_class("java/lang/Throwable"))) {
        violation("ThrowNew: not a throwable class");
        return JNI_ERR;
    }
    Method *init = find_method(cls, "<init>", "(Ljava/lang/String;)V");
    if (!init) {
        throw_new(t, "java/lang/NoSuchMethodError", "<init>");
        return JNI_ERR;
    }
    std::vector<Value> args(1);
    args[0].o = msg ? new_string(msg) : nullptr;
    jobject ex = construct(t, "ThrowNew", cls, init, args);
    if (!ex)
        return JNI_ERR;
    Object *o = deref(ex, "ThrowNew");
    log_line("throw %s", throwable_summary(o).c_str());
    t->pending = o;
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv *env)
{
    ThreadState *t = enter(env, "ExceptionOccurred", true);
    return static_cast<jthrowable>(to_ref(t->pending));
}

// As HotSpot: "Exception in thread "<name>" " goes out like any VM message (through the
// "vfprintf" hook when there is one), then Throwable.printStackTrace writes the exception and
// its stack to the current System.err. The exception is cleared.
void JNICALL ExceptionDescribe(JNIEnv *env)
{
    ThreadState *t = enter(env, "ExceptionDescribe", true);
    Object *ex = t->pending;
    if (!ex)
        return;
    t->pending = nullptr;
    log_line("describe %s", throwable_summary(ex).c_str());
    vm_print("Exception ");
    vm_print("in thread \"%s\" ", t->name.c_str());
    print_stack_trace(ex, nullptr);
}

void JNICALL ExceptionClear(JNIEnv *env)
{
    ThreadState *t = enter(env, "ExceptionClear", true);
    if (t->pending)
        log_line("exception_clear");
    t->pending = nullptr;
}

void JNICALL FatalError(JNIEnv *env, const char *msg)
{
    enter(env, "FatalError", true);
    fatal_error(std::string("FATAL ERROR in native method: ") + (msg ? msg : ""));
}

jobject JNICALL NewGlobalRef(JNIEnv *env, jobject obj)
{
    enter(env, "NewGlobalRef");
    return to_ref(deref(obj, "NewGlobalRef"), ref_global);
}

void JNICALL DeleteGlobalRef(JNIEnv *env, jobject obj)
{
    enter(env, "DeleteGlobalRef", true);
    if (!obj || !deref(obj, "DeleteGlobalRef"))
        return;
    Ref *r = reinterpret_cast<Ref *>(obj);
    if (r->kind != ref_global)
        violation("DeleteGlobalRef: not a global reference");
    r->kind = ref_deleted;
}

void JNICALL DeleteLocalRef(JNIEnv *env, jobject obj)
{
    enter(env, "DeleteLocalRef", true);
    if (!obj || !deref(obj, "DeleteLocalRef"))
        return;
    Ref *r = reinterpret_cast<Ref *>(obj);
    if (r->kind != ref_local)
        violation("DeleteLocalRef: not a local reference");
    r->kind = ref_deleted;
}

jboolean JNICALL IsSameObject(JNIEnv *env, jobject a, jobject b)
{
    enter(env, "IsSameObject");
    return deref(a, "IsSameObject") == deref(b, "IsSameObject") ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv *env, jobject obj)
{
    enter(env, "NewLocalRef");
    return to_ref(deref(obj, "NewLocalRef"));
}

jint JNICALL EnsureLocalCapacity(JNIEnv *env, jint)
{
    enter(env, "EnsureLocalCapacity");
    return JNI_OK;
}

jobject JNICALL NewObjectV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    ThreadState *t = enter(env, "NewObjectV");
    Method *m = method_of(id, "NewObjectV");
    if (!m)
        return nullptr;
    return construct(t, "NewObjectV", class_of(clazz, "NewObjectV"), m,
                     arguments_from_list(m, list, "NewObjectV"));
}

jobject JNICALL NewObject(JNIEnv *env, jclass clazz, jmethodID id, ...)
{
    ThreadState *t = enter(env, "NewObject");
    Method *m = method_of(id, "NewObject");
    if (!m)
        return nullptr;
    va_list list;
    va_start(list, id);
    std::vector<Value> args = arguments_from_list(m, list, "NewObject");
    va_end(list);
    return construct(t, "NewObject", class_of(clazz, "NewObject"), m, args);
}

jobject JNICALL NewObjectA(JNIEnv *env, jclass clazz, jmethodID id, const jvalue *values)
{
    ThreadState *t = enter(env, "NewObjectA");
    Method *m = method_of(id, "NewObjectA");
    if (!m)
        return nullptr;
    return construct(t, "NewObjectA", class_of(clazz, "NewObjectA"), m,
                     arguments_from_array(m, values, "NewObjectA"));
}

jclass JNICALL GetObjectClass(JNIEnv *env, jobject obj)
{
    enter(env, "GetObjectClass");
    Object *o = deref(obj, "GetObjectClass");
    return o ? static_cast<jclass>(to_ref(o->cls->mirror)) : nullptr;
}

jboolean JNICALL IsInstanceOf(JNIEnv *env, jobject obj, jclass clazz)
{
    enter(env, "IsInstanceOf");
    Object *o = deref(obj, "IsInstanceOf");
    Class *cls = class_of(clazz, "IsInstanceOf");
    return !o || (cls && is_subclass(o->cls, cls)) ? JNI_TRUE : JNI_FALSE;
}

// Get(Static)MethodID: initialises the class, then finds the method. A missing method, or one
// whose staticness differs, is a NoSuchMethodError worded as HotSpot words it.
jmethodID get_method_id(JNIEnv *env, const char *function, jclass clazz, const char *name,
                        const char *sig, bool is_static)
{
    ThreadState *t = enter(env, function);
    Class *cls = class_of(clazz, function);
    if (!cls || !name || !sig)
        return nullptr;
    if (!initialize_class(t, cls))
        return nullptr;
    Method *m = find_method(cls, name, sig);
    bool found = m && m->is_static == is_static;
    log_line("method_id %s %s%s %s", cls->name.c_str(), name, sig, found ? "ok" : "missing");
    if (!found) {
        throw_new(t, "java/lang/NoSuchMethodError",
                  is_static ? "static " + slash_to_l_form(cls->name) + "." + name + sig
                            : std::string(name));
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(m);
}

jmethodID JNICALL GetMethodID(JNIEnv *env, jclass clazz, const char *name, const char *sig)
{
    return get_method_id(env, "GetMethodID", clazz, name, sig, false);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv *env, jclass clazz, const char *name,
                                    const char *sig)
{
    return get_method_id(env, "GetStaticMethodID", clazz, name, sig, true);
}

jobject JNICALL CallObjectMethod(JNIEnv *env, jobject obj, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    Value v = call_list(env, "CallObjectMethod", nullptr, obj, id, list, 'L', false);
    va_end(list);
    return to_ref(v.o);
}

jobject JNICALL CallObjectMethodV(JNIEnv *env, jobject obj, jmethodID id, va_list list)
{
    return to_ref(call_list(env, "CallObjectMethodV", nullptr, obj, id, list, 'L', false).o);
}

jobject JNICALL CallObjectMethodA(JNIEnv *env, jobject obj, jmethodID id, const jvalue *values)
{
    return to_ref(call_array(env, "CallObjectMethodA", nullptr, obj, id, values, 'L', false).o);
}

jboolean JNICALL CallBooleanMethod(JNIEnv *env, jobject obj, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    Value v = call_list(env, "CallBooleanMethod", nullptr, obj, id, list, 'Z', false);
    va_end(list);
    return static_cast<jboolean>(v.i);
}

jboolean JNICALL CallBooleanMethodV(JNIEnv *env, jobject obj, jmethodID id, va_list list)
{
    return static_cast<jboolean>(
        call_list(env, "CallBooleanMethodV", nullptr, obj, id, list, 'Z', false).i);
}

jboolean JNICALL CallBooleanMethodA(JNIEnv *env, jobject obj, jmethodID id,
                                    const jvalue *values)
{
    return static_cast<jboolean>(
        call_array(env, "CallBooleanMethodA", nullptr, obj, id, values, 'Z', false).i);
}

void JNICALL CallVoidMethod(JNIEnv *env, jobject obj, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    call_list(env, "CallVoidMethod", nullptr, obj, id, list, 'V', false);
    va_end(list);
}

void JNICALL CallVoidMethodV(JNIEnv *env, jobject obj, jmethodID id, va_list list)
{
    call_list(env, "CallVoidMethodV", nullptr, obj, id, list, 'V', false);
}

void JNICALL CallVoidMethodA(JNIEnv *env, jobject obj, jmethodID id, const jvalue *values)
{
    call_array(env, "CallVoidMethodA", nullptr, obj, id, values, 'V', false);
}

jobject JNICALL CallStaticObjectMethod(JNIEnv *env, jclass clazz, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    Value v = call_list(env, "CallStaticObjectMethod", clazz, nullptr, id, list, 'L', true);
    va_end(list);
    return to_ref(v.o);
}

jobject JNICALL CallStaticObjectMethodV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    return to_ref(
        call_list(env, "CallStaticObjectMethodV", clazz, nullptr, id, list, 'L', true).o);
}

jobject JNICALL CallStaticObjectMethodA(JNIEnv *env, jclass clazz, jmethodID id,
                                        const jvalue *values)
{
    return to_ref(
        call_array(env, "CallStaticObjectMethodA", clazz, nullptr, id, values, 'L', true).o);
}

jboolean JNICALL CallStaticBooleanMethod(JNIEnv *env, jclass clazz, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    Value v = call_list(env, "CallStaticBooleanMethod", clazz, nullptr, id, list, 'Z', true);
    va_end(list);
    return static_cast<jboolean>(v.i);
}

jboolean JNICALL CallStaticBooleanMethodV(JNIEnv *env, jclass clazz, jmethodID id,
                                          va_list list)
{
    return static_cast<jboolean>(
        call_list(env, "CallStaticBooleanMethodV", clazz, nullptr, id, list, 'Z', true).i);
}

jboolean JNICALL CallStaticBooleanMethodA(JNIEnv *env, jclass clazz, jmethodID id,
                                          const jvalue *values)
{
    return static_cast<jboolean>(
        call_array(env, "CallStaticBooleanMethodA", clazz, nullptr, id, values, 'Z', true).i);
}

void JNICALL CallStaticVoidMethod(JNIEnv *env, jclass clazz, jmethodID id, ...)
{
    va_list list;
    va_start(list, id);
    call_list(env, "CallStaticVoidMethod", clazz, nullptr, id, list, 'V', true);
    va_end(list);
}

void JNICALL CallStaticVoidMethodV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    call_list(env, "CallStaticVoidMethodV", clazz, nullptr, id, list, 'V', true);
}

void JNICALL CallStaticVoidMethodA(JNIEnv *env, jclass clazz, jmethodID id,
                                   const jvalue *values)
{
    call_array(env, "CallStaticVoidMethodA", clazz, nullptr, id, values, 'V', true);
}

jfieldID JNICALL GetStaticFieldID(JNIEnv *env, jclass clazz, const char *name, const char *sig)
{
    ThreadState *t = enter(env, "GetStaticFieldID");
    Class *cls = class_of(clazz, "GetStaticFieldID");
    if (!cls || !name || !sig || !initialize_class(t, cls))
        return nullptr;
    Field *f = find_static_field(cls, name, sig);
    if (!f) {
        throw_new(t, "java/lang/NoSuchFieldError", name);
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(f);
}

jobject JNICALL GetStaticObjectField(JNIEnv *env, jclass clazz, jfieldID id)
{
    enter(env, "GetStaticObjectField");
    class_of(clazz, "GetStaticObjectField");
    Field *f = reinterpret_cast<Field *>(id);
    if (!f || f->magic != field_magic) {
        violation("GetStaticObjectField: not a field ID");
        return nullptr;
    }
    if (f->owner->name == "java/lang/System")
        return to_ref(f->name == "out" ? system_out() : system_err());
    return to_ref(*f->slot);
}

// The bytes are kept exactly as given, like the launcher's 8-bit arguments; null gives null
// without an exception, as in HotSpot.
jstring JNICALL NewStringUTF(JNIEnv *env, const char *utf)
{
    enter(env, "NewStringUTF");
    if (!utf)
        return nullptr;
    return static_cast<jstring>(to_ref(new_string(utf)));
}

Object *string_of(jstring str, const char *function)
{
    Object *o = deref(str, function);
    if (!o || o->cls != find_class("java/lang/String")) {
        violation("%s: not a string", function);
        return nullptr;
    }
    return o;
}

jsize JNICALL GetStringUTFLength(JNIEnv *env, jstring str)
{
    enter(env, "GetStringUTFLength");
    Object *o = string_of(str, "GetStringUTFLength");
    return o ? static_cast<jsize>(o->text.size()) : 0;
}

// A copy the caller gives back with ReleaseStringUTFChars.
const char *JNICALL GetStringUTFChars(JNIEnv *env, jstring str, jboolean *is_copy)
{
    enter(env, "GetStringUTFChars");
    Object *o = string_of(str, "GetStringUTFChars");
    if (!o)
        return nullptr;
    if (is_copy)
        *is_copy = JNI_TRUE;
    char *copy = static_cast<char *>(malloc(o->text.size() + 1));
    memcpy(copy, o->text.c_str(), o->text.size() + 1);
    return copy;
}

void JNICALL ReleaseStringUTFChars(JNIEnv *env, jstring, const char *chars)
{
    enter(env, "ReleaseStringUTFChars", true);
    free(const_cast<char *>(chars));
}

Object *array_of(jarray array, const char *function)
{
    Object *o = deref(array, function);
    if (!o || !o->cls->component) {
        violation("%s: not an object array", function);
        return nullptr;
    }
    return o;
}

jsize JNICALL GetArrayLength(JNIEnv *env, jarray array)
{
    enter(env, "GetArrayLength");
    Object *o = array_of(array, "GetArrayLength");
    return o ? static_cast<jsize>(o->elements.size()) : 0;
}

jobjectArray JNICALL NewObjectArray(JNIEnv *env, jsize length, jclass element_class,
                                    jobject initial)
{
    ThreadState *t = enter(env, "NewObjectArray");
    Class *cls = class_of(element_class, "NewObjectArray");
    if (!cls)
        return nullptr;
    if (length < 0) {
        throw_new(t, "java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    Object *array = new_array(cls, length);
    Object *value = deref(initial, "NewObjectArray");
    for (Object *&element : array->elements)
        element = value;
    return static_cast<jobjectArray>(to_ref(array));
}

bool index_ok(ThreadState *t, Object *array, jsize index)
{
    if (index >= 0 && index < static_cast<jsize>(array->elements.size()))
        return true;
    throw_new(t, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(array->elements.size()));
    return false;
}

jobject JNICALL GetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index)
{
    ThreadState *t = enter(env, "GetObjectArrayElement");
    Object *o = array_of(array, "GetObjectArrayElement");
    if (!o || !index_ok(t, o, index))
        return nullptr;
    return to_ref(o->elements[index]);
}

void JNICALL SetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index, jobject value)
{
    ThreadState *t = enter(env, "SetObjectArrayElement");
    Object *o = array_of(array, "SetObjectArrayElement");
    if (!o || !index_ok(t, o, index))
        return;
    Object *v = deref(value, "SetObjectArrayElement");
    if (v && !is_subclass(v->cls, o->cls->component)) {
        throw_new(t, "java/lang/ArrayStoreException",
                  "type mismatch: can not store " + dotted(v->cls->name) + " to " +
                      dotted(o->cls->component->name) + "[" + std::to_string(index) + "]");
        return;
    }
    o->elements[index] = v;
}

jint JNICALL GetJavaVM(JNIEnv *env, JavaVM **vm)
{
    enter(env, "GetJavaVM");
    *vm = the_vm();
    return JNI_OK;
}

jboolean JNICALL ExceptionCheck(JNIEnv *env)
{
    ThreadState *t = enter(env, "ExceptionCheck", true);
    return t->pending ? JNI_TRUE : JNI_FALSE;
}

JNINativeInterface_ make_table()
{
    JNINativeInterface_ table;
    fill_unsupported(reinterpret_cast<void **>(&table), std::make_integer_sequence<int, slot_count>());
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetSuperclass = GetSuperclass;
    table.IsAssignableFrom = IsAssignableFrom;
    table.Throw = Throw;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.FatalError = FatalError;
    table.NewGlobalRef = NewGlobalRef;
    table.DeleteGlobalRef = DeleteGlobalRef;
    table.DeleteLocalRef = DeleteLocalRef;
    table.IsSameObject = IsSameObject;
    table.NewLocalRef = NewLocalRef;
    table.EnsureLocalCapacity = EnsureLocalCapacity;
    table.NewObject = NewObject;
    table.NewObjectV = NewObjectV;
    table.NewObjectA = NewObjectA;
    table.GetObjectClass = GetObjectClass;
    table.IsInstanceOf = IsInstanceOf;
    table.GetMethodID = GetMethodID;
    table.CallObjectMethod = CallObjectMethod;
    table.CallObjectMethodV = CallObjectMethodV;
    table.CallObjectMethodA = CallObjectMethodA;
    table.CallBooleanMethod = CallBooleanMethod;
    table.CallBooleanMethodV = CallBooleanMethodV;
    table.CallBooleanMethodA = CallBooleanMethodA;
    table.CallVoidMethod = CallVoidMethod;
    table.CallVoidMethodV = CallVoidMethodV;
    table.CallVoidMethodA = CallVoidMethodA;
    table.GetStaticMethodID = GetStaticMethodID;
    table.CallStaticObjectMethod = CallStaticObjectMethod;
    table.CallStaticObjectMethodV = CallStaticObjectMethodV;
    table.CallStaticObjectMethodA = CallStaticObjectMethodA;
    table.CallStaticBooleanMethod = CallStaticBooleanMethod;
    table.CallStaticBooleanMethodV = CallStaticBooleanMethodV;
    table.CallStaticBooleanMethodA = CallStaticBooleanMethodA;
    table.CallStaticVoidMethod = CallStaticVoidMethod;
    table.CallStaticVoidMethodV = CallStaticVoidMethodV;
    table.CallStaticVoidMethodA = CallStaticVoidMethodA;
    table.GetStaticFieldID = GetStaticFieldID;
    table.GetStaticObjectField = GetStaticObjectField;
    table.NewStringUTF = NewStringUTF;
    table.GetStringUTFLength = GetStringUTFLength;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.GetArrayLength = GetArrayLength;
    table.NewObjectArray = NewObjectArray;
    table.GetObjectArrayElement = GetObjectArrayElement;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.GetJavaVM = GetJavaVM;
    table.ExceptionCheck = ExceptionCheck;
    return table;
}

}  // namespace

const JNINativeInterface_ *jni_functions()
{
    static const JNINativeInterface_ table = make_table();
    return &table;
}
