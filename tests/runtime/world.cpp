// The tiny Java world of the test runtime: its classes, objects, strings, exceptions, standard
// streams and system properties, with the Java-level behaviour of the methods the launcher
// calls:
//   java/lang/System     setProperty, setOut, setErr, exit
//   java/io/FileOutputStream(String, boolean)   java/io/PrintStream(OutputStream)
//   java/lang/Object, Class, String, java/io/OutputStream, and the exceptions the world throws.
//   java/lang/Throwable  toString, getCause, printStackTrace(PrintWriter), which every
//                        exception class of the world inherits (none overrides them)
//   java/io/StringWriter() and toString, java/io/PrintWriter(Writer)
//   java/lang/System     getProperty
// Only the superclasses a JNI call can see are kept: Throwable's, and Writer's.
#include "tests/runtime/runtime.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

namespace {

std::vector<Class *> classes;  // fixed once world_init returns
std::map<std::u16string, std::u16string> properties;
Object *out_stream = nullptr;  // System.out
Object *err_stream = nullptr;  // System.err
Class *class_class = nullptr;  // java/lang/Class

Object *new_object(const char *cls)
{
    Object *o = new Object();
    o->cls = find_class(cls);
    return o;
}

// A PrintStream writes where its FileOutputStream does; a write that fails is swallowed, as
// PrintStream does.
void write_bytes(Object *stream, const std::string &bytes)
{
    DWORD written = 0;
    if (stream)
        WriteFile(stream->handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr);
}

// The system's text for a Win32 error, as Java puts it in an IOException: without the
// trailing line break and full stop.
std::u16string system_error_text(DWORD code)
{
    wchar_t buffer[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer, 512, nullptr);
    std::u16string text(reinterpret_cast<const char16_t *>(buffer));
    return text.substr(0, text.find_last_not_of(u"\r\n .") + 1);
}

void throw_null_pointer(ThreadState *t)
{
    throw_object(t, new_throwable(t, "java/lang/NullPointerException", nullptr));
}

// System.setProperty(String, String): returns the previous value.
Object *system_set_property(ThreadState *t, const Method *, Object *, const Value *args)
{
    if (!args[0].o || !args[1].o) {
        throw_null_pointer(t);
        return nullptr;
    }
    const std::u16string &name = args[0].o->chars, &value = args[1].o->chars;
    std::u16string previous;
    bool had = get_property(name, &previous);
    set_property(name, value);
    log_line("set_property %s=%s", utf8(name).c_str(), utf8(value).c_str());
    return had ? new_string(previous) : nullptr;
}

// System.getProperty(String): the value, or null when it is not set.
Object *system_get_property(ThreadState *t, const Method *, Object *, const Value *args)
{
    if (!args[0].o) {
        throw_null_pointer(t);
        return nullptr;
    }
    std::u16string value;
    return get_property(args[0].o->chars, &value) ? new_string(value) : nullptr;
}

// What Throwable.printStackTrace writes: the exception and its stack, then each cause; lines
// end "\r\n" as on Windows.
std::u16string stack_trace_chars(Object *ex)
{
    std::u16string text;
    for (Object *e = ex; e; e = e->cause) {
        text += (e == ex ? u"" : u"Caused by: ") + throwable_string(e) + u"\r\n";
        for (const std::string &frame : e->frames)
            text += u"\tat " + from_ascii(frame) + u"\r\n";
    }
    return text;
}

Object *throwable_to_string(ThreadState *, const Method *, Object *self, const Value *)
{
    return new_string(throwable_string(self));
}

Object *throwable_get_cause(ThreadState *, const Method *, Object *self, const Value *)
{
    return self->cause;
}

Object *throwable_print_stack_trace(ThreadState *t, const Method *, Object *self,
                                    const Value *args)
{
    if (!args[0].o) {
        throw_null_pointer(t);
        return nullptr;
    }
    args[0].o->target->chars += stack_trace_chars(self);
    return nullptr;
}

Object *string_writer_init(ThreadState *, const Method *, Object *, const Value *)
{
    return nullptr;
}

Object *string_writer_to_string(ThreadState *, const Method *, Object *self, const Value *)
{
    return new_string(self->chars);
}

Object *print_writer_init(ThreadState *t, const Method *, Object *self, const Value *args)
{
    if (!args[0].o) {
        throw_null_pointer(t);
        return nullptr;
    }
    self->target = args[0].o;
    return nullptr;
}

Object *system_exit_method(ThreadState *t, const Method *, Object *, const Value *args)
{
    system_exit(t, args[0].i);
    return nullptr;
}

// System.setOut and System.setErr, told apart by the method's name.
Object *system_set_stream(ThreadState *, const Method *m, Object *, const Value *args)
{
    bool out = m->name == "setOut";
    {
        Locked locked;
        (out ? out_stream : err_stream) = args[0].o;
    }
    log_line("%s %s", out ? "set_out" : "set_err",
             args[0].o ? utf8(args[0].o->path).c_str() : "<null>");
    return nullptr;
}

// FileOutputStream(String name, boolean append): creates or truncates the file, or appends;
// a file that cannot be opened is a FileNotFoundException "<name> (<reason>)".
Object *file_output_stream_init(ThreadState *t, const Method *, Object *self, const Value *args)
{
    Object *name = args[0].o;
    bool append = args[1].i != 0;
    if (!name) {
        throw_null_pointer(t);
        return nullptr;
    }
    // Java's own flags: shared for reading and writing; append mode writes at the end only.
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(name->chars.c_str()),
                              append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        log_line("open_failed %s", utf8(name->chars).c_str());
        throw_new(t, "java/io/FileNotFoundException",
                  name->chars + u" (" + system_error_text(error) + u")");
        return nullptr;
    }
    log_line("open %s append=%d", utf8(name->chars).c_str(), append ? 1 : 0);
    self->handle = file;
    self->path = name->chars;
    return nullptr;
}

Object *print_stream_init(ThreadState *t, const Method *, Object *self, const Value *args)
{
    if (!args[0].o) {
        throw_new(t, "java/lang/NullPointerException", u"Null output stream");
        return nullptr;
    }
    self->handle = args[0].o->handle;
    self->path = args[0].o->path;
    return nullptr;
}

Object *standard_stream(DWORD which, const char16_t *path)
{
    Object *print = new_object("java/io/PrintStream");
    print->handle = GetStdHandle(which);
    print->path = path;
    return print;
}

}  // namespace

void world_init()
{
    if (!classes.empty())
        return;
    class_class = define_class("java/lang/Class");
    class_class->mirror->cls = class_class;
    for (const char *name : {"java/lang/Object", "java/lang/String", "java/io/OutputStream"})
        define_class(name);
    Class *throwable = define_class("java/lang/Throwable");
    add_method(throwable, "toString", "()Ljava/lang/String;", false, throwable_to_string);
    add_method(throwable, "getCause", "()Ljava/lang/Throwable;", false, throwable_get_cause);
    add_method(throwable, "printStackTrace", "(Ljava/io/PrintWriter;)V", false,
               throwable_print_stack_trace);
    static const char *const exceptions[] = {
        "java/lang/NullPointerException", "java/lang/IllegalStateException",
        "java/lang/NumberFormatException", "java/lang/ArrayIndexOutOfBoundsException",
        "java/lang/ArrayStoreException", "java/lang/NegativeArraySizeException",
        "java/io/FileNotFoundException", "java/lang/ClassNotFoundException",
        "java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError",
        "java/lang/StringIndexOutOfBoundsException",
    };
    for (const char *name : exceptions)
        define_class(name)->super = throwable;
    Class *writer = define_class("java/io/Writer");
    Class *string_writer = define_class("java/io/StringWriter");
    string_writer->super = writer;
    add_method(string_writer, "<init>", "()V", false, string_writer_init);
    add_method(string_writer, "toString", "()Ljava/lang/String;", false,
               string_writer_to_string);
    Class *print_writer = define_class("java/io/PrintWriter");
    print_writer->super = writer;
    add_method(print_writer, "<init>", "(Ljava/io/Writer;)V", false, print_writer_init);

    Class *system = define_class("java/lang/System");
    add_method(system, "setProperty",
               "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", true,
               system_set_property);
    add_method(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;", true,
               system_get_property);
    add_method(system, "exit", "(I)V", true, system_exit_method);
    add_method(system, "setOut", "(Ljava/io/PrintStream;)V", true, system_set_stream);
    add_method(system, "setErr", "(Ljava/io/PrintStream;)V", true, system_set_stream);
    add_method(define_class("java/io/FileOutputStream"), "<init>", "(Ljava/lang/String;Z)V",
               false, file_output_stream_init);
    add_method(define_class("java/io/PrintStream"), "<init>", "(Ljava/io/OutputStream;)V",
               false, print_stream_init);
    out_stream = standard_stream(STD_OUTPUT_HANDLE, u"<stdout>");
    err_stream = standard_stream(STD_ERROR_HANDLE, u"<stderr>");
    define_scripted_classes();
}

Class *define_class(const char *name)
{
    Class *cls = new Class();
    cls->name = name;
    cls->mirror = new Object();
    cls->mirror->cls = class_class;
    cls->mirror->mirror = cls;
    classes.push_back(cls);
    return cls;
}

void add_method(Class *cls, const char *name, const char *sig, bool is_static, Native run)
{
    cls->methods.push_back(new Method{method_magic, cls, name, sig, is_static, run});
}

// A class by its slash name; array classes are not looked up by name.
Class *find_class(const std::string &name)
{
    for (Class *cls : classes)
        if (cls->name == name)
            return cls;
    return nullptr;
}

// Only the class's own methods: none of the methods the launcher asks for is inherited.
Method *find_method(Class *cls, const std::string &name, const std::string &sig)
{
    for (Method *m : cls->methods)
        if (m->name == name && m->sig == sig)
            return m;
    return nullptr;
}

// Runs a method as a Java frame of t, so that exceptions it throws record it on their stack.
Object *invoke(ThreadState *t, Method *m, Object *self, const Value *args)
{
    t->frames.push_back(dotted(m->owner->name) + "." + m->name);
    Object *result = m->run(t, m, self, args);
    t->frames.pop_back();
    return result;
}

Object *new_string(const std::u16string &chars)
{
    Object *o = new_object("java/lang/String");
    o->chars = chars;
    return o;
}

// An array of component; its class comes into being on first use, as in Java.
Object *new_array(Class *component, int length)
{
    Object *o = new Object();
    {
        Locked locked;
        if (!component->array) {
            Class *array = new Class();
            array->name = component->name[0] == '[' ? "[" + component->name
                                                    : "[L" + component->name + ";";
            array->component = component;
            array->mirror = new Object();
            array->mirror->cls = class_class;
            array->mirror->mirror = array;
            component->array = array;
        }
        o->cls = component->array;
    }
    o->elements.assign(length, nullptr);
    return o;
}

// A throwable of class cls (which must exist) with the given message (null: none) and the
// stack of the Java methods running on t, innermost first.
Object *new_throwable(ThreadState *t, const char *cls, const std::u16string *message)
{
    Object *o = new_object(cls);
    o->message = message ? new_string(*message) : nullptr;
    for (auto frame = t->frames.rbegin(); frame != t->frames.rend(); ++frame)
        o->frames.push_back(*frame + "(Unknown Source)");
    return o;
}

void throw_object(ThreadState *t, Object *ex)
{
    log_line("throw %s", throwable_summary(ex).c_str());
    t->pending = ex;
}

void throw_new(ThreadState *t, const char *cls, const std::u16string &message)
{
    throw_object(t, new_throwable(t, cls, &message));
}

std::string dotted(const std::string &name)
{
    std::string text = name;
    std::replace(text.begin(), text.end(), '/', '.');
    return text;
}

std::string throwable_summary(Object *ex)
{
    return utf8(throwable_string(ex));
}

std::u16string throwable_string(Object *ex)
{
    std::u16string text = from_ascii(dotted(ex->cls->name));
    if (ex->message)
        text += u": " + ex->message->chars;
    return text;
}

// Throwable.printStackTrace() on the current System.err, with its causes.
void print_stack_trace(Object *ex)
{
    write_bytes(system_err(), utf8(stack_trace_chars(ex), false));
}

bool is_instance(Object *o, Class *cls)
{
    for (Class *c = o ? o->cls : nullptr; c; c = c->super)
        if (c == cls)
            return true;
    return false;
}

Object *system_out()
{
    Locked locked;
    return out_stream;
}

Object *system_err()
{
    Locked locked;
    return err_stream;
}

void stream_println(Object *print_stream, const std::string &utf8_text)
{
    write_bytes(print_stream, utf8_text + "\r\n");
}

bool get_property(const std::u16string &name, std::u16string *value)
{
    Locked locked;
    auto found = properties.find(name);
    if (found != properties.end())
        *value = found->second;
    return found != properties.end();
}

void set_property(const std::u16string &name, const std::u16string &value)
{
    Locked locked;
    properties[name] = value;
}

// As HotSpot reads modified UTF-8: one-, two- and three-byte sequences (a surrogate pair comes
// as two three-byte ones, U+0000 as C0 80); a byte that starts no valid sequence stands for the
// character of the same value, so 8-bit text in another encoding arrives as Latin-1.
std::u16string from_modified_utf8(const char *bytes)
{
    std::u16string chars;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
    while (*p) {
        if (p[0] >= 0xC0 && p[0] < 0xE0 && (p[1] & 0xC0) == 0x80) {
            chars += static_cast<char16_t>((p[0] & 0x1F) << 6 | (p[1] & 0x3F));
            p += 2;
        } else if (p[0] >= 0xE0 && p[0] < 0xF0 && (p[1] & 0xC0) == 0x80 &&
                   (p[2] & 0xC0) == 0x80) {
            chars += static_cast<char16_t>((p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 |
                                           (p[2] & 0x3F));
            p += 3;
        } else {
            chars += static_cast<char16_t>(*p++);
        }
    }
    return chars;
}

std::u16string from_platform(const char *bytes)
{
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, -1, &wide[0], n);
    return std::u16string(reinterpret_cast<const char16_t *>(wide.c_str()));
}

std::u16string from_ascii(const std::string &text)
{
    return std::u16string(text.begin(), text.end());
}

// UTF-8 of the code units; a surrogate pair makes one four-byte sequence. With escape (the
// log), U+0000 and an unpaired surrogate are written "\uXXXX" so that the line shows exactly
// what arrived; without (a stream), an unpaired surrogate becomes '?' as Java's encoder makes.
std::string utf8(const std::u16string &chars, bool escape)
{
    std::string out;
    for (size_t i = 0; i < chars.size(); ++i) {
        unsigned c = chars[i];
        bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < chars.size() && chars[i + 1] >= 0xDC00 && chars[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (chars[++i] - 0xDC00);
        } else if ((c >= 0xD800 && c < 0xE000) || (escape && c == 0)) {
            char text[8];
            snprintf(text, sizeof text, "\\u%04X", c);
            out += escape ? text : "?";
            continue;
        }
        // A lead byte (0xC0, 0xE0 or 0xF0 and the top bits) and 0 to 3 continuation bytes.
        int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(more ? (0xF0 << (3 - more) | c >> 6 * more) : c);
        while (more-- > 0)
            out += static_cast<char>(0x80 | (c >> 6 * more & 0x3F));
    }
    return out;
}
