// Shared declarations of the test runtime: a jvm.dll for tests that implements the JNI
// invocation interface and the JNI functions the launcher calls, over a tiny scripted Java
// world.
#pragma once

#include <windows.h>

// This library is the runtime: jni.h then declares the invocation entry points as exported.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <stdarg.h>

#include <string>
#include <utility>
#include <vector>

struct Class;

// Every Java object of the tiny world, whatever its class; each class uses the fields its
// comment names. Objects are never freed: a test process lives for one run. A JNI reference
// is the object's address; magic tells a real one from a stray pointer.
const unsigned object_magic = 0x4f424a21;
struct Object {
    unsigned magic = object_magic;
    Class *cls = nullptr;
    std::u16string chars;        // String: its UTF-16 code units
    Object *message = nullptr;   // Throwable: its message, a String or null
    Object *cause = nullptr;     // Throwable
    std::vector<Object *> elements;   // arrays
    // FileOutputStream and PrintStream: where the bytes go (may be a standard handle), and the
    // name of the file, or "<stdout>" and "<stderr>".
    HANDLE handle = nullptr;
    std::u16string path;
    std::vector<std::string> frames;  // Throwable: stack lines, innermost first
    Class *mirror = nullptr;     // java/lang/Class: the class this object stands for
};

// One argument of a Java method: int and boolean in i, references in o (the world's methods
// take no other kinds).
struct Value {
    jint i = 0;
    Object *o = nullptr;
};

struct ThreadState;
struct Method;

// A method's body. self is null for a static method; args follow the signature's order.
// A body that throws leaves an exception pending on t; what it returns is then ignored.
typedef Object *(*Native)(ThreadState *t, const Method *m, Object *self, const Value *args);

struct Method {
    unsigned magic;  // method_magic: tells a real method ID from a stray pointer
    Class *owner;
    std::string name;
    std::string sig;
    bool is_static;
    Native run;
};
const unsigned method_magic = 0x4d455448;

struct Class {
    std::string name;             // slash form; "[Ljava/lang/String;" for arrays
    Class *component = nullptr;   // arrays: the element class
    Class *array = nullptr;       // the class of arrays of this class, made on first use
    std::vector<Method *> methods;
    Object *mirror = nullptr;     // its java/lang/Class object
};

// A thread the virtual machine knows: attached native threads and the world's own Java
// threads. A JNIEnv pointer is the address of env, so env must stay the first member.
struct ThreadState {
    JNIEnv_ env;
    std::string name;
    Object *pending = nullptr;         // the pending exception, null when none
    std::vector<std::string> frames;   // Java methods running on it, outermost first
};

// runtime.cpp: the virtual machine, its log, hooks and threads.
void log_line(const char *format, ...);
void vm_print(const char *format, ...);       // through the "vfprintf" hook, else stderr
void violation(const char *format, ...);      // a JNI contract broken by the caller
void fatal_error(const std::string &text);    // ends the process as a crashing VM would
void system_exit(ThreadState *t, int status);  // never returns
ThreadState *current_thread();                // null when the calling thread is not attached
typedef void (*ThreadBody)(ThreadState *t, void *arg);
void start_java_thread(ThreadBody body, void *arg);  // a non-daemon thread
void add_shutdown_hook(const std::string &name);
void wait_until_destroying();  // until a thread has called DestroyJavaVM
void lock();    // the one lock of the runtime's shared state (reentrant)
void unlock();
struct Locked {
    Locked() { lock(); }
    ~Locked() { unlock(); }
};

// A function-table slot that is not implemented (table 0: JNIEnv, 1: JavaVM). Called, it logs
// its index and ends the process as a crashing virtual machine would, so that a launcher that
// calls something unexpected fails loudly. It never returns, so the arguments it was called
// with (and the bytes __stdcall would pop) do not matter.
template <int table, int index>
void JNICALL trap(void *)
{
    const char *kind = table == 0 ? "JNI" : "JavaVM";
    log_line("unsupported %s function %d", kind, index);
    fatal_error(std::string("unsupported ") + kind + " function " + std::to_string(index));
}

template <int table, int... indexes>
void fill_traps(void **slots, std::integer_sequence<int, indexes...>)
{
    ((slots[indexes] = reinterpret_cast<void *>(&trap<table, indexes>)), ...);
}

// A function table with a trap in every slot; the caller then sets the implemented ones.
template <int table, typename Table>
Table trapping_table()
{
    Table functions;
    fill_traps<table>(reinterpret_cast<void **>(&functions),
                      std::make_integer_sequence<int, sizeof(Table) / sizeof(void *)>());
    return functions;
}

// jni_env.cpp: the JNIEnv function table.
const JNINativeInterface_ *jni_functions();

// world.cpp: classes, objects, strings, exceptions, streams and properties.
void world_init();
Class *define_class(const char *name);
void add_method(Class *cls, const char *name, const char *sig, bool is_static, Native run);
Class *find_class(const std::string &name);  // null when the world has no such class
Method *find_method(Class *cls, const std::string &name, const std::string &sig);
Object *invoke(ThreadState *t, Method *m, Object *self, const Value *args);
Object *new_string(const std::u16string &chars);
Object *new_array(Class *component, int length);
Object *new_throwable(ThreadState *t, const char *cls, const std::u16string *message);
void throw_object(ThreadState *t, Object *ex);  // makes ex the pending exception of t
void throw_new(ThreadState *t, const char *cls, const std::u16string &message);
std::string dotted(const std::string &name);  // java/lang/String -> java.lang.String
std::string throwable_summary(Object *ex);     // "java.lang.IllegalStateException: boom"
void print_stack_trace(Object *ex);            // on the current System.err
Object *system_out();
Object *system_err();
void stream_println(Object *print_stream, const std::string &utf8_text);
bool get_property(const std::u16string &name, std::u16string *value);
void set_property(const std::u16string &name, const std::u16string &value);

// Text: Java strings are UTF-16; the log and the streams are UTF-8.
std::u16string from_modified_utf8(const char *bytes);  // as NewStringUTF reads its argument
std::u16string from_platform(const char *bytes);       // the ANSI code page, as options are
std::u16string from_ascii(const std::string &text);
// Unpaired surrogates become "\uXXXX" in the log (escape true), '?' on a stream.
std::string utf8(const std::u16string &chars, bool escape = true);

// scripted.cpp: the trevalo/test main classes.
void define_scripted_classes();
