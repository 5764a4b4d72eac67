// The JNIEnv function table of the test runtime: the JNI functions the launcher calls, with
// the contracts of a real runtime (null results with a pending exception, exceptions that stay
// pending until cleared). Every other slot is a trap (runtime.h).
//
// jni.h's C++ members Call...Method and NewObject take "..." and call the table's V
// functions, so only those are filled: the "..." slots, which only a caller written in C
// would reach, trap like the rest. Caller mistakes that HotSpot leaves undefined are logged
// as violations.
#include "tests/runtime/runtime.h"

#include <string.h>

#include <algorithm>

namespace {

// The calling thread's state, reporting an environment used on the wrong thread and a call
// made with an exception pending (JNI allows only the exception functions then).
ThreadState *enter(JNIEnv *env, const char *function, bool allowed_with_pending = false)
{
    ThreadState *t = reinterpret_cast<ThreadState *>(env);
    if (current_thread() != t)
        violation("%s: JNIEnv of thread \"%s\" used on another thread", function,
                  t->name.c_str());
    if (t->pending && !allowed_with_pending)
        violation("%s called with exception pending: %s", function,
                  throwable_summary(t->pending).c_str());
    return t;
}

// The object behind a reference: null for null, and for a pointer that is no reference
// (reported).
Object *deref(jobject ref, const char *function)
{
    Object *o = reinterpret_cast<Object *>(ref);
    if (o && o->magic != object_magic) {
        violation("%s: %p is not a reference", function, static_cast<void *>(ref));
        return nullptr;
    }
    return o;
}

jobject to_ref(Object *o)
{
    return reinterpret_cast<jobject>(o);
}

Class *class_of(jclass cls, const char *function)
{
    Object *o = deref(cls, function);
    if (!o || !o->mirror)
        violation("%s: not a class", function);
    return o ? o->mirror : nullptr;
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

// The arguments of m from a va_list, by the parameter kinds of its signature: references,
// and int or boolean (promoted to int in "...").
std::vector<Value> arguments(const Method *m, va_list list, const char *function)
{
    std::vector<Value> args;
    const std::string &sig = m->sig;
    for (size_t i = 1; sig[i] != ')'; ++i) {
        Value v;
        if (sig[i] == 'L' || sig[i] == '[') {
            i = sig.find_first_not_of('[', i);
            i = sig[i] == 'L' ? sig.find(';', i) : i;
            v.o = deref(va_arg(list, jobject), function);
        } else {
            v.i = va_arg(list, int);
        }
        args.push_back(v);
    }
    return args;
}

// CallStatic<type>MethodV after its checks; returns is 'V' or 'L', the kind the caller expects.
Object *call_static(JNIEnv *env, const char *function, jclass clazz, jmethodID id,
                    va_list list, char returns)
{
    ThreadState *t = enter(env, function);
    Method *m = method_of(id, function);
    if (!m || !class_of(clazz, function))
        return nullptr;
    char kind = m->sig[m->sig.find(')') + 1];
    if (!m->is_static || (kind == 'V') != (returns == 'V'))
        violation("%s: %s%s is not a static method of that kind", function, m->name.c_str(),
                  m->sig.c_str());
    std::vector<Value> args = arguments(m, list, function);
    return invoke(t, m, nullptr, args.data());
}

// FindClass: slash names only, as in HotSpot. A missing class is a NoClassDefFoundError,
// caused by a ClassNotFoundException when the name is in slash form.
jclass JNICALL FindClass(JNIEnv *env, const char *name)
{
    ThreadState *t = enter(env, "FindClass");
    Class *cls = strchr(name, '.') ? nullptr : find_class(name);
    if (cls)
        return static_cast<jclass>(to_ref(cls->mirror));
    std::u16string text = from_modified_utf8(name);
    Object *error = new_throwable(t, "java/lang/NoClassDefFoundError", &text);
    if (!strchr(name, '.')) {
        std::u16string message = text;
        std::replace(message.begin(), message.end(), u'/', u'.');
        error->cause = new_throwable(t, "java/lang/ClassNotFoundException", &message);
    }
    throw_object(t, error);
    return nullptr;
}

// Get(Static)MethodID: a missing method, or one whose staticness differs, is a
// NoSuchMethodError worded as HotSpot words it.
jmethodID get_method_id(JNIEnv *env, const char *function, jclass clazz, const char *name,
                        const char *sig, bool is_static)
{
    ThreadState *t = enter(env, function);
    Class *cls = class_of(clazz, function);
    if (!cls)
        return nullptr;
    Method *m = find_method(cls, name, sig);
    if (!m || m->is_static != is_static) {
        throw_new(t, "java/lang/NoSuchMethodError",
                  from_ascii(std::string(is_static ? "static " : "") + "L" + cls->name + ";." +
                             name + sig));
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

void JNICALL CallStaticVoidMethodV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    call_static(env, "CallStaticVoidMethodV", clazz, id, list, 'V');
}

jobject JNICALL CallStaticObjectMethodV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    return to_ref(call_static(env, "CallStaticObjectMethodV", clazz, id, list, 'L'));
}

// Call<type>MethodV on an object: the method must be an instance method of the object's class
// or of a superclass (the world has no overriding, so the method found runs as it is).
Object *call_instance(JNIEnv *env, const char *function, jobject object, jmethodID id,
                      va_list list, char returns)
{
    ThreadState *t = enter(env, function);
    Method *m = method_of(id, function);
    Object *self = deref(object, function);
    if (!m)
        return nullptr;
    if (!self) {
        violation("%s: null object", function);
        return nullptr;
    }
    char kind = m->sig[m->sig.find(')') + 1];
    if (m->is_static || (kind == 'V') != (returns == 'V') || !is_instance(self, m->owner))
        violation("%s: %s%s is not an instance method of that kind of %s", function,
                  m->name.c_str(), m->sig.c_str(), self->cls->name.c_str());
    std::vector<Value> args = arguments(m, list, function);
    return invoke(t, m, self, args.data());
}

jobject JNICALL CallObjectMethodV(JNIEnv *env, jobject object, jmethodID id, va_list list)
{
    return to_ref(call_instance(env, "CallObjectMethodV", object, id, list, 'L'));
}

void JNICALL CallVoidMethodV(JNIEnv *env, jobject object, jmethodID id, va_list list)
{
    call_instance(env, "CallVoidMethodV", object, id, list, 'V');
}

// The string's length in UTF-16 units; GetStringRegion copies units of it, and an index out of
// its bounds is a StringIndexOutOfBoundsException, as in HotSpot.
Object *string_of(JNIEnv *env, jstring string, const char *function)
{
    enter(env, function);
    Object *o = deref(string, function);
    if (!o || o->cls != find_class("java/lang/String")) {
        violation("%s: not a string", function);
        return nullptr;
    }
    return o;
}

jsize JNICALL GetStringLength(JNIEnv *env, jstring string)
{
    Object *o = string_of(env, string, "GetStringLength");
    return o ? static_cast<jsize>(o->chars.size()) : 0;
}

void JNICALL GetStringRegion(JNIEnv *env, jstring string, jsize start, jsize length, jchar *buf)
{
    Object *o = string_of(env, string, "GetStringRegion");
    if (!o)
        return;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + length > o->chars.size()) {
        throw_new(reinterpret_cast<ThreadState *>(env), "java/lang/StringIndexOutOfBoundsException",
                  from_ascii("offset " + std::to_string(start) + ", count " +
                             std::to_string(length) + ", length " +
                             std::to_string(o->chars.size())));
        return;
    }
    memcpy(buf, o->chars.data() + start, length * sizeof(jchar));
}

// NewObject: allocates an instance of the class and runs the constructor on it; null when the
// constructor throws.
jobject JNICALL NewObjectV(JNIEnv *env, jclass clazz, jmethodID id, va_list list)
{
    ThreadState *t = enter(env, "NewObject");
    Class *cls = class_of(clazz, "NewObject");
    Method *m = method_of(id, "NewObject");
    if (!cls || !m)
        return nullptr;
    if (m->name != "<init>" || m->owner != cls) {
        violation("NewObject: %s is not a constructor of %s", m->name.c_str(), cls->name.c_str());
        return nullptr;
    }
    Object *o = new Object();
    o->cls = cls;
    std::vector<Value> args = arguments(m, list, "NewObject");
    invoke(t, m, o, args.data());
    return t->pending ? nullptr : to_ref(o);
}

jobjectArray JNICALL NewObjectArray(JNIEnv *env, jsize length, jclass element_class,
                                    jobject initial)
{
    ThreadState *t = enter(env, "NewObjectArray");
    Class *cls = class_of(element_class, "NewObjectArray");
    if (!cls)
        return nullptr;
    if (length < 0) {
        throw_new(t, "java/lang/NegativeArraySizeException", from_ascii(std::to_string(length)));
        return nullptr;
    }
    Object *array = new_array(cls, length);
    for (Object *&element : array->elements)
        element = deref(initial, "NewObjectArray");
    return static_cast<jobjectArray>(to_ref(array));
}

void JNICALL SetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index, jobject value)
{
    ThreadState *t = enter(env, "SetObjectArrayElement");
    Object *a = deref(array, "SetObjectArrayElement");
    if (!a || !a->cls->component) {
        violation("SetObjectArrayElement: not an object array");
        return;
    }
    jsize length = static_cast<jsize>(a->elements.size());
    if (index < 0 || index >= length) {
        throw_new(t, "java/lang/ArrayIndexOutOfBoundsException",
                  from_ascii("Index " + std::to_string(index) + " out of bounds for length " +
                             std::to_string(length)));
        return;
    }
    Object *v = deref(value, "SetObjectArrayElement");
    Class *component = a->cls->component;
    if (v && v->cls != component && component->name != "java/lang/Object") {
        throw_new(t, "java/lang/ArrayStoreException",
                  from_ascii("type mismatch: can not store " + dotted(v->cls->name) + " to " +
                             dotted(component->name) + "[" + std::to_string(index) + "]"));
        return;
    }
    a->elements[index] = v;
}

// The string of len UTF-16 code units, taken as they are (unpaired surrogates included).
jstring JNICALL NewString(JNIEnv *env, const jchar *unicode, jsize len)
{
    enter(env, "NewString");
    if (len < 0 || (!unicode && len > 0)) {
        violation("NewString: %ld code units at %p", static_cast<long>(len),
                  static_cast<const void *>(unicode));
        return nullptr;
    }
    std::u16string chars(reinterpret_cast<const char16_t *>(unicode), len);
    return static_cast<jstring>(to_ref(new_string(chars)));
}

// A new local reference to the pending exception, null when none (the exception stays pending).
jthrowable JNICALL ExceptionOccurred(JNIEnv *env)
{
    return static_cast<jthrowable>(to_ref(enter(env, "ExceptionOccurred", true)->pending));
}

jboolean JNICALL ExceptionCheck(JNIEnv *env)
{
    return enter(env, "ExceptionCheck", true)->pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL ExceptionClear(JNIEnv *env)
{
    ThreadState *t = enter(env, "ExceptionClear", true);
    if (t->pending)
        log_line("exception_clear");
    t->pending = nullptr;
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
    print_stack_trace(ex);
}

JNINativeInterface_ make_table()
{
    JNINativeInterface_ table = trapping_table<0, JNINativeInterface_>();
    table.FindClass = FindClass;
    table.GetMethodID = GetMethodID;
    table.GetStaticMethodID = GetStaticMethodID;
    table.CallStaticVoidMethodV = CallStaticVoidMethodV;
    table.CallStaticObjectMethodV = CallStaticObjectMethodV;
    table.CallObjectMethodV = CallObjectMethodV;
    table.CallVoidMethodV = CallVoidMethodV;
    table.GetStringLength = GetStringLength;
    table.GetStringRegion = GetStringRegion;
    table.ExceptionOccurred = ExceptionOccurred;
    table.NewObjectV = NewObjectV;
    table.NewObjectArray = NewObjectArray;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.NewString = NewString;
    table.ExceptionCheck = ExceptionCheck;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionDescribe = ExceptionDescribe;
    return table;
}

}  // namespace

const JNINativeInterface_ *jni_functions()
{
    static const JNINativeInterface_ table = make_table();
    return &table;
}
