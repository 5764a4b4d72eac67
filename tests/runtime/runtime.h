// Shared declarations of the test runtime: a jvm.dll for tests that implements the JNI
// invocation interface and the JNI functions over a tiny, scripted Java world.
#pragma once

#include <windows.h>

// This library is the runtime: jni.h then declares the invocation entry points as exported.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <stdarg.h>

#include <string>
#include <vector>

struct Class;
struct ThreadState;

// Every Java object of the tiny world, whatever its class; each class uses the fields its
// comment names. Objects are never freed: a test process lives for one run.
struct Object {
    Class *cls = nullptr;
    std::string text;           // String: its bytes as given; Throwable: message; Thread: name
    bool has_text = false;      // Throwable: false when the message is null
    std::vector<Object *> elements;  // arrays of references
    Object *inner = nullptr;    // PrintStream: its OutputStream; Throwable: its cause
    HANDLE handle = nullptr;    // FileOutputStream: where the bytes go (may be a standard handle)
    std::string path;           // FileOutputStream: the name it was opened with, or "<stdout>"
    std::vector<std::string> frames;  // Throwable: stack lines, innermost first, without "\tat "
    Class *mirror = nullptr;    // java/lang/Class: the class this object stands for
    ThreadState *thread = nullptr;    // java/lang/Thread: the thread it stands for
};

// One argument or result of a Java method: integral kinds in i, float kinds in d, references
// in o.
struct Value {
    jlong i = 0;
    double d = 0;
    Object *o = nullptr;
};

// A method's body. self is null for a static method; args follow the signature's order.
// A body that throws leaves an exception pending on t and returns an empty Value.
typedef Value (*Native)(ThreadState *t, Object *self, const Value *args);

struct Method {
    unsigned magic;  // method_magic while valid: tells a real method ID from a stray pointer
    Class *owner;
    std::string name;
    std::string sig;
    bool is_static;
    Native run;
};
const unsigned method_magic = 0x4d455448;

struct Field {
    unsigned magic;  // field_magic while valid
    Class *owner;
    std::string name;
    std::string sig;
    Object **slot;  // static reference fields only
};
const unsigned field_magic = 0x4649454c;

struct Class {
    std::string name;           // slash form, "[Ljava/lang/String;" for arrays
    Class *super = nullptr;
    Class *component = nullptr;  // arrays: the element class
    std::vector<Method *> methods;
    std::vector<Field *> fields;
    Object *mirror = nullptr;    // its java/lang/Class object
    void (*init)(ThreadState *t) = nullptr;  // static initialiser, run once on first use
    bool initialized = false;
};

// A thread the virtual machine knows: attached native threads and the world's own Java
// threads. A JNIEnv pointer is the address of env, so env must stay the first member.
struct ThreadState {
    JNIEnv_ env;
    std::string name;
    bool daemon = false;
    bool java = false;        // started by the world (a "Java" thread), not attached
    bool alive = true;        // false once detached or ended
    DWORD os_id = 0;
    HANDLE os_thread = nullptr;  // attached threads: to notice one that ends still attached
    Object *pending = nullptr;   // the pending exception, null when none
    Object *object = nullptr;    // its java/lang/Thread
    std::vector<std::string> frames;  // Java methods running on it, outermost first
};

// runtime.cpp: the virtual machine, its log, hooks and threads.
void log_line(const char *format, ...);
void vm_print(const char *format, ...);       // through the "vfprintf" hook, else stderr
void violation(const char *format, ...);      // a JNI contract broken by the caller
void fatal_error(const std::string &text);    // ends the process as a crashing VM would
void system_exit(ThreadState *t, int status);  // never returns
void vm_abort();                              // never returns
ThreadState *current_thread();                // null when the calling thread is not attached
typedef void (*ThreadBody)(ThreadState *t, void *arg);
ThreadState *start_java_thread(bool daemon, ThreadBody body, void *arg);
void add_shutdown_hook(const std::string &name);
JavaVM *the_vm();
bool jni_version_supported(jint version);  // versions 1.2 and later that JDK 17 knows

// jni_env.cpp: the JNIEnv function table.
const JNINativeInterface_ *jni_functions();

// world.cpp: classes, objects, exceptions, streams and properties.
void world_init();
Class *define_class(const char *name, const char *super);
Method *add_method(Class *cls, const char *name, const char *sig, bool is_static, Native run);
Class *find_class(const std::string &name);  // null when the world has no such class
Method *find_method(Class *cls, const std::string &name, const std::string &sig);
Field *find_static_field(Class *cls, const std::string &name, const std::string &sig);
bool initialize_class(ThreadState *t, Class *cls);  // false when an exception is pending
bool is_subclass(Class *cls, Class *of);
Value invoke(ThreadState *t, Method *m, Object *self, const Value *args);
Object *new_string(const std::string &text);
Object *new_array(Class *component, int length);
Object *new_throwable(ThreadState *t, const char *cls, const std::string *message);
void throw_new(ThreadState *t, const char *cls, const std::string &message);
void throw_null_pointer(ThreadState *t, const std::string &message);
std::string dotted(const std::string &name);  // java/lang/String -> java.lang.String
std::string throwable_summary(Object *ex);     // "java.lang.IllegalStateException: boom"
void print_stack_trace(Object *ex, Object *stream);
Object *system_out();
Object *system_err();
void stream_println(Object *print_stream, const std::string &text);
bool get_property(const std::string &name, std::string *value);
void set_property(const std::string &name, const std::string &value);
Object *thread_object(ThreadState *t);  // makes the java/lang/Thread on first use

// scripted.cpp: the trevalo/test main classes.
void define_scripted_classes();
