// The tiny Java world of the test runtime: its classes, objects, exceptions, standard streams
// and system properties, with the Java-level behaviour of the methods the launcher calls.
#include "tests/runtime/runtime.h"

#include <string.h>

#include <algorithm>
#include <utility>

namespace {

CRITICAL_SECTION world_lock;  // guards the class list (array classes appear on demand),
                              // properties and the System streams
std::vector<Class *> classes;
std::vector<std::pair<std::string, std::string>> properties;
Object *out_stream = nullptr;  // System.out
Object *err_stream = nullptr;  // System.err
Class *class_class = nullptr;  // java/lang/Class

Object *new_object(const char *cls)
{
    Object *o = new Object();
    o->cls = find_class(cls);
    return o;
}

// The innermost stream of a chain of PrintStreams, the one holding the file handle.
Object *sink_of(Object *stream)
{
    while (stream && !stream->handle && stream->inner)
        stream = stream->inner;
    return stream;
}

void write_bytes(Object *stream, const std::string &bytes)
{
    Object *sink = sink_of(stream);
    if (!sink || !sink->handle || sink->handle == INVALID_HANDLE_VALUE)
        return;  // like a PrintStream whose file is gone: the error is swallowed
    DWORD written = 0;
    WriteFile(sink->handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string stream_name(Object *stream)
{
    Object *sink = sink_of(stream);
    return sink ? sink->path : "<null>";
}

// The stack a throwable records: the Java methods running on t, innermost first, leaving out
// the constructor it is being made in.
std::vector<std::string> stack_of(ThreadState *t, bool in_constructor)
{
    std::vector<std::string> frames;
    if (!t)
        return frames;
    size_t count = t->frames.size();
    if (in_constructor && count > 0)
        --count;
    for (size_t i = count; i > 0; --i)
        frames.push_back(t->frames[i - 1] + "(Unknown Source)");
    return frames;
}

// The system's text for a Win32 error, as Java puts it in an IOException: without the
// trailing line break and full stop.
std::string system_error_text(DWORD code)
{
    char buffer[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && strchr("\r\n .", text.back()))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

bool check_key(ThreadState *t, Object *key)
{
    if (!key) {
        throw_null_pointer(t, "key can't be null");
        return false;
    }
    if (key->text.empty()) {
        throw_new(t, "java/lang/IllegalArgumentException", "key can't be empty");
        return false;
    }
    return true;
}

Value result_object(Object *o)
{
    Value v;
    v.o = o;
    return v;
}

Value object_init(ThreadState *, Object *, const Value *)
{
    return Value();
}

Value system_set_property(ThreadState *t, Object *, const Value *args)
{
    if (!check_key(t, args[0].o))
        return Value();
    if (!args[1].o) {
        throw_null_pointer(t, "");
        return Value();
    }
    std::string previous;
    bool had = get_property(args[0].o->text, &previous);
    set_property(args[0].o->text, args[1].o->text);
    log_line("set_property %s=%s", args[0].o->text.c_str(), args[1].o->text.c_str());
    return result_object(had ? new_string(previous) : nullptr);
}

Value system_get_property(ThreadState *t, Object *, const Value *args)
{
    if (!check_key(t, args[0].o))
        return Value();
    std::string value;
    return result_object(get_property(args[0].o->text, &value) ? new_string(value) : nullptr);
}

Value system_exit_method(ThreadState *t, Object *, const Value *args)
{
    system_exit(t, static_cast<int>(args[0].i));
    return Value();
}

Value system_set_out(ThreadState *, Object *, const Value *args)
{
    EnterCriticalSection(&world_lock);
    out_stream = args[0].o;
    LeaveCriticalSection(&world_lock);
    log_line("set_out %s", stream_name(args[0].o).c_str());
    return Value();
}

Value system_set_err(ThreadState *, Object *, const Value *args)
{
    EnterCriticalSection(&world_lock);
    err_stream = args[0].o;
    LeaveCriticalSection(&world_lock);
    log_line("set_err %s", stream_name(args[0].o).c_str());
    return Value();
}

Value thread_current(ThreadState *t, Object *, const Value *)
{
    return result_object(thread_object(t));
}

Value thread_get_name(ThreadState *, Object *self, const Value *)
{
    return result_object(new_string(self->thread->name));
}

Value thread_is_daemon(ThreadState *, Object *self, const Value *)
{
    Value v;
    v.i = self->thread->daemon ? JNI_TRUE : JNI_FALSE;
    return v;
}

// FileOutputStream(String name, boolean append): creates or truncates the file, or appends;
// a file that cannot be opened is a FileNotFoundException "<name> (<reason>)".
Value open_file(ThreadState *t, Object *self, Object *name, bool append)
{
    if (!name) {
        throw_null_pointer(t, "");
        return Value();
    }
    // Java's own flags: shared for reading and writing; append mode writes at the end only.
    DWORD access = append ? FILE_APPEND_DATA : GENERIC_WRITE;
    HANDLE file = CreateFileA(name->text.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        log_line("open_failed %s", name->text.c_str());
        throw_new(t, "java/io/FileNotFoundException",
                  name->text + " (" + system_error_text(error) + ")");
        return Value();
    }
    log_line("open %s append=%d", name->text.c_str(), append ? 1 : 0);
    self->handle = file;
    self->path = name->text;
    return Value();
}

Value file_output_stream_init(ThreadState *t, Object *self, const Value *args)
{
    return open_file(t, self, args[0].o, false);
}

Value file_output_stream_init_append(ThreadState *t, Object *self, const Value *args)
{
    return open_file(t, self, args[0].o, args[1].i != 0);
}

Value print_stream_init(ThreadState *t, Object *self, const Value *args)
{
    if (!args[0].o) {
        throw_null_pointer(t, "Null output stream");
        return Value();
    }
    self->inner = args[0].o;
    return Value();
}

Value throwable_init(ThreadState *t, Object *self, const Value *)
{
    self->frames = stack_of(t, true);
    return Value();
}

Value throwable_init_message(ThreadState *t, Object *self, const Value *args)
{
    self->frames = stack_of(t, true);
    self->has_text = args[0].o != nullptr;
    self->text = args[0].o ? args[0].o->text : "";
    return Value();
}

Value throwable_get_message(ThreadState *, Object *self, const Value *)
{
    return result_object(self->has_text ? new_string(self->text) : nullptr);
}

Class *define_throwable(const char *name, const char *super)
{
    Class *cls = define_class(name, super);
    add_method(cls, "<init>", "()V", false, throwable_init);
    add_method(cls, "<init>", "(Ljava/lang/String;)V", false, throwable_init_message);
    return cls;
}

void define_throwables()
{
    Class *throwable = define_throwable("java/lang/Throwable", "java/lang/Object");
    add_method(throwable, "getMessage", "()Ljava/lang/String;", false, throwable_get_message);
    static const char *const family[][2] = {
        {"java/lang/Exception", "java/lang/Throwable"},
        {"java/lang/RuntimeException", "java/lang/Exception"},
        {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
        {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
        {"java/lang/NumberFormatException", "java/lang/IllegalArgumentException"},
        {"java/lang/NullPointerException", "java/lang/RuntimeException"},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
        {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
        {"java/lang/SecurityException", "java/lang/RuntimeException"},
        {"java/lang/ReflectiveOperationException", "java/lang/Exception"},
        {"java/lang/ClassNotFoundException", "java/lang/ReflectiveOperationException"},
        {"java/io/IOException", "java/lang/Exception"},
        {"java/io/FileNotFoundException", "java/io/IOException"},
        {"java/lang/Error", "java/lang/Throwable"},
        {"java/lang/LinkageError", "java/lang/Error"},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
        {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
    };
    for (const auto &entry : family)
        define_throwable(entry[0], entry[1]);
}

Object *standard_stream(DWORD which, const char *path)
{
    Object *file = new_object("java/io/FileOutputStream");
    file->handle = GetStdHandle(which);
    file->path = path;
    Object *print = new_object("java/io/PrintStream");
    print->inner = file;
    return print;
}

void define_library()
{
    Class *object = define_class("java/lang/Object", nullptr);
    class_class = define_class("java/lang/Class", "java/lang/Object");
    object->mirror->cls = class_class;
    class_class->mirror->cls = class_class;
    add_method(object, "<init>", "()V", false, object_init);
    define_class("java/lang/String", "java/lang/Object");

    Class *system = define_class("java/lang/System", "java/lang/Object");
    add_method(system, "setProperty",
               "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", true,
               system_set_property);
    add_method(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;", true,
               system_get_property);
    add_method(system, "exit", "(I)V", true, system_exit_method);
    add_method(system, "setOut", "(Ljava/io/PrintStream;)V", true, system_set_out);
    add_method(system, "setErr", "(Ljava/io/PrintStream;)V", true, system_set_err);
    system->fields.push_back(new Field{field_magic, system, "out", "Ljava/io/PrintStream;",
                                       &out_stream});
    system->fields.push_back(new Field{field_magic, system, "err", "Ljava/io/PrintStream;",
                                       &err_stream});

    Class *thread = define_class("java/lang/Thread", "java/lang/Object");
    add_method(thread, "currentThread", "()Ljava/lang/Thread;", true, thread_current);
    add_method(thread, "getName", "()Ljava/lang/String;", false, thread_get_name);
    add_method(thread, "isDaemon", "()Z", false, thread_is_daemon);

    define_class("java/io/OutputStream", "java/lang/Object");
    Class *file = define_class("java/io/FileOutputStream", "java/io/OutputStream");
    add_method(file, "<init>", "(Ljava/lang/String;)V", false, file_output_stream_init);
    add_method(file, "<init>", "(Ljava/lang/String;Z)V", false, file_output_stream_init_append);
    define_class("java/io/FilterOutputStream", "java/io/OutputStream");
    Class *print = define_class("java/io/PrintStream", "java/io/FilterOutputStream");
    add_method(print, "<init>", "(Ljava/io/OutputStream;)V", false, print_stream_init);
    add_method(print, "<init>", "(Ljava/io/OutputStream;Z)V", false, print_stream_init);

    define_throwables();
    out_stream = standard_stream(STD_OUTPUT_HANDLE, "<stdout>");
    err_stream = standard_stream(STD_ERROR_HANDLE, "<stderr>");
}

Class *array_class_of(Class *component)
{
    std::string name = component->name[0] == '['
                           ? "[" + component->name
                           : "[L" + component->name + ";";
    for (Class *cls : classes)
        if (cls->name == name)
            return cls;
    Class *cls = define_class(name.c_str(), "java/lang/Object");
    cls->component = component;
    return cls;
}

}  // namespace

void world_init()
{
    if (!classes.empty())
        return;
    InitializeCriticalSection(&world_lock);
    define_library();
    define_scripted_classes();
}

// Defines a class; super must already exist (null only for java/lang/Object).
Class *define_class(const char *name, const char *super)
{
    Class *cls = new Class();
    cls->name = name;
    cls->super = super ? find_class(super) : nullptr;
    cls->mirror = new Object();
    cls->mirror->cls = class_class;
    cls->mirror->mirror = cls;
    classes.push_back(cls);
    return cls;
}

Method *add_method(Class *cls, const char *name, const char *sig, bool is_static, Native run)
{
    Method *m = new Method{method_magic, cls, name, sig, is_static, run};
    cls->methods.push_back(m);
    return m;
}

// Looks a class up by its slash name. Array classes "[L<name>;" and "[[..." of known classes
// come into being on first use, as they do in Java.
Class *find_class(const std::string &name)
{
    EnterCriticalSection(&world_lock);
    Class *found = nullptr;
    for (Class *cls : classes)
        if (cls->name == name)
            found = cls;
    LeaveCriticalSection(&world_lock);
    if (found || name.size() < 2 || name[0] != '[')
        return found;
    std::string element;
    if (name[1] == '[')
        element = name.substr(1);
    else if (name[1] == 'L' && name.back() == ';')
        element = name.substr(2, name.size() - 3);
    else
        return nullptr;  // arrays of primitives are not part of the world
    Class *component = find_class(element);
    if (!component)
        return nullptr;
    EnterCriticalSection(&world_lock);
    found = array_class_of(component);
    LeaveCriticalSection(&world_lock);
    return found;
}

// Constructors are looked up in the class itself, other methods up the superclass chain.
Method *find_method(Class *cls, const std::string &name, const std::string &sig)
{
    for (Class *c = cls; c; c = c->super) {
        for (Method *m : c->methods)
            if (m->name == name && m->sig == sig)
                return m;
        if (name == "<init>")
            break;
    }
    return nullptr;
}

Field *find_static_field(Class *cls, const std::string &name, const std::string &sig)
{
    for (Class *c = cls; c; c = c->super)
        for (Field *f : c->fields)
            if (f->name == name && f->sig == sig)
                return f;
    return nullptr;
}

// Runs the static initialiser once, superclasses first. A class counts as initialised from
// the moment its initialisation starts, as in Java for the initialising thread. Returns false
// when an initialiser threw (an exception pending before the call does not count).
bool initialize_class(ThreadState *t, Class *cls)
{
    EnterCriticalSection(&world_lock);
    bool first = !cls->initialized;
    cls->initialized = true;
    LeaveCriticalSection(&world_lock);
    if (!first)
        return true;
    if (cls->super && !initialize_class(t, cls->super))
        return false;
    Object *before = t->pending;
    if (cls->init) {
        log_line("class_init %s", cls->name.c_str());
        cls->init(t);
    }
    return t->pending == before;
}

bool is_subclass(Class *cls, Class *of)
{
    if (cls->component && of->component)
        return is_subclass(cls->component, of->component);
    for (Class *c = cls; c; c = c->super)
        if (c == of)
            return true;
    return false;
}

// Runs a method as a Java frame of t, so that exceptions it throws record it on their stack.
Value invoke(ThreadState *t, Method *m, Object *self, const Value *args)
{
    t->frames.push_back(dotted(m->owner->name) + "." + m->name);
    Value result = m->run(t, self, args);
    t->frames.pop_back();
    return result;
}

Object *new_string(const std::string &text)
{
    Object *o = new_object("java/lang/String");
    o->text = text;
    return o;
}

Object *new_array(Class *component, int length)
{
    Object *o = new Object();
    o->cls = find_class(component->name[0] == '[' ? "[" + component->name
                                                  : "[L" + component->name + ";");
    o->elements.assign(length, nullptr);
    return o;
}

// A throwable of class cls (which must exist) with the given message (null: none) and the
// stack of t.
Object *new_throwable(ThreadState *t, const char *cls, const std::string *message)
{
    Object *o = new_object(cls);
    o->has_text = message != nullptr;
    o->text = message ? *message : "";
    o->frames = stack_of(t, false);
    return o;
}

void throw_new(ThreadState *t, const char *cls, const std::string &message)
{
    Object *ex = new_throwable(t, cls, &message);
    log_line("throw %s", throwable_summary(ex).c_str());
    t->pending = ex;
}

// NullPointerException, with no message when message is empty.
void throw_null_pointer(ThreadState *t, const std::string &message)
{
    Object *ex = new_throwable(t, "java/lang/NullPointerException",
                               message.empty() ? nullptr : &message);
    log_line("throw %s", throwable_summary(ex).c_str());
    t->pending = ex;
}

std::string dotted(const std::string &name)
{
    std::string text = name;
    std::replace(text.begin(), text.end(), '/', '.');
    return text;
}

std::string throwable_summary(Object *ex)
{
    std::string text = dotted(ex->cls->name);
    if (ex->has_text)
        text += ": " + ex->text;
    return text;
}

// Throwable.printStackTrace on stream (null: the current System.err), lines ending "\r\n" as
// on Windows.
void print_stack_trace(Object *ex, Object *stream)
{
    if (!stream)
        stream = system_err();
    std::string text;
    for (Object *e = ex; e; e = e->inner) {
        text += (e == ex ? "" : "Caused by: ") + throwable_summary(e) + "\r\n";
        for (const std::string &frame : e->frames)
            text += "\tat " + frame + "\r\n";
    }
    write_bytes(stream, text);
}

Object *system_out()
{
    EnterCriticalSection(&world_lock);
    Object *stream = out_stream;
    LeaveCriticalSection(&world_lock);
    return stream;
}

Object *system_err()
{
    EnterCriticalSection(&world_lock);
    Object *stream = err_stream;
    LeaveCriticalSection(&world_lock);
    return stream;
}

void stream_println(Object *print_stream, const std::string &text)
{
    write_bytes(print_stream, text + "\r\n");
}

bool get_property(const std::string &name, std::string *value)
{
    bool found = false;
    EnterCriticalSection(&world_lock);
    for (const auto &property : properties) {
        if (property.first == name) {
            *value = property.second;
            found = true;
        }
    }
    LeaveCriticalSection(&world_lock);
    return found;
}

void set_property(const std::string &name, const std::string &value)
{
    EnterCriticalSection(&world_lock);
    bool replaced = false;
    for (auto &property : properties) {
        if (property.first == name) {
            property.second = value;
            replaced = true;
        }
    }
    if (!replaced)
        properties.emplace_back(name, value);
    LeaveCriticalSection(&world_lock);
}

Object *thread_object(ThreadState *t)
{
    if (!t->object) {
        Object *o = new_object("java/lang/Thread");
        o->thread = t;
        t->object = o;
    }
    return t->object;
}
