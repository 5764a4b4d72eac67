// The test runtime's virtual machine: a jvm.dll for tests only, exporting the JNI invocation
// interface over a tiny scripted Java world, and logging what it is asked to a file.
//
// It stands in for a Java runtime, which cannot be installed on the test machines, and
// implements only what the launcher calls; every other slot of the JNIEnv and JavaVM function
// tables is a trap that logs its index and aborts. It keeps the contracts of a real runtime
// (checked against OpenJDK 17's HotSpot): null results with pending exceptions that stay
// pending until cleared, per-thread environments, DestroyJavaVM waiting for the other
// non-daemon threads (attached threads count as non-daemon until they detach), the
// "vfprintf", "exit" and "abort" hooks, refused options. What main does is scripted by the
// class name (scripted.cpp). Java strings are UTF-16 inside; the log is UTF-8.
//
// Options (JavaVMInitArgs, taken in order, as HotSpot does):
//   -Dname=value        sets a system property; -Dname sets it to the empty text. Option
//                       bytes are read in the ANSI code page.
//   -Djava.class.path=  the class path (also logged as "class_path <value>").
//   -Dtrevalo.test.log=<path>  the log file: appended to, one line per event, written at once.
//                       Without it, the environment variable TREVALO_TEST_LOG names the log.
//   -Xmx<n> -Xms<n> -Xss<n>  accepted when n is digits with an optional k, m, g or t;
//                       otherwise "Invalid maximum heap size: <option>" (initial heap size,
//                       thread stack size) and JNI_EINVAL. An -Xmx below 2 MB prints "Error
//                       occurred during initialization of VM" and "Too small maximum heap"
//                       and aborts the creation, as HotSpot does.
//   -Dtrevalo.test.load=<library>  once the options are read, loads the library as HotSpot
//                       loads its java.dll; when it cannot, prints "Error occurred during
//                       initialization of VM" and "Unable to load native library: <reason>"
//                       and ends the process through the C runtime's exit(1), calling no hook,
//                       as HotSpot does.
//   -verbose:gc         prints "[0.004s][info][gc] Using Serial" through "vfprintf".
//   ""                  the empty option is accepted and ignored, as HotSpot does.
//   -XX:ErrorFile=<path>  accepted, as HotSpot takes where its crash report goes.
//   -XX:<x>             "Unrecognized VM option '<x>'" and JNI_EINVAL.
//   anything else       "Unrecognized option: <option>" and JNI_ERR.
//   "vfprintf", "exit", "abort" with the function in extraInfo: the hooks.
// With ignoreUnrecognized true, unknown options are skipped silently. Messages go through the
// "vfprintf" hook only when that hook came earlier in the array (HotSpot does the same).
// JNI versions 1.2, 1.4, 1.6, 1.8, 9 and 10 are accepted; any other is JNI_EVERSION.
//
// Log lines (fields separated by single spaces; CR and LF inside a value are written as \r
// and \n, U+0000 and unpaired surrogates as \uXXXX; the last field may contain spaces):
//   clock since_process_start_us=<n>   time from the process's creation to JNI_CreateJavaVM
//   create version=0x00010002 options=<n> ignore_unrecognized=<0|1>
//   option <text>            every option that is not a hook, in order
//   hook <vfprintf|exit|abort>
//   class_path <value>
//   refused <option>         then: create failed <code>
//   created thread=main
//   attach name=<name>       detach name=<name>
//   main <class> argc=<n> thread=<name>
//   arg[<i>]=<text>          ("<null>" for a null element)
//   property <name>=<value>  (Args; "<null>" when unset)
//   return <class>           main returned normally
//   throw <summary>          an exception became pending; summary as Throwable.toString()
//   describe <summary>       ExceptionDescribe
//   exception_clear          ExceptionClear with an exception pending
//   set_property <name>=<value>
//   open <path> append=<0|1>    open_failed <path>
//   set_out <path>           set_err <path>   (<stdout>/<stderr> for the process's streams)
//   thread start name=<name>    thread ended name=<name>
//   window shown             window closed    window failed error=<code>
//   waiting <class>   stop requested <class>   stop ignored <class>   stopped <class>
//   shutdown_hook <class>
//   exit <status> thread=<name>
//   exit_hook <status>       exit_process <status>     (status in decimal)
//   creation_exit <status>   the creation ends the process through the C runtime's exit
//   abort_hook               abort_process
//   vm_output <text>         everything printed through "vfprintf" or to standard error
//   destroy waiting          destroyed
//   violation <text>         a JNI contract broken by the caller (the call goes on)
//   unsupported JNI function <index>       a trap was called (then the process aborts);
//   unsupported JavaVM function <index>    the index is the slot's place in its table
#include "tests/runtime/runtime.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wctype.h>

namespace {

typedef jint(JNICALL *vfprintf_hook_t)(FILE *, const char *, va_list);
typedef void(JNICALL *exit_hook_t)(jint);
typedef void(JNICALL *abort_hook_t)(void);

CRITICAL_SECTION vm_lock;           // guards the thread count, the hooks and the world's state
CRITICAL_SECTION exit_lock;         // held for good by the first System.exit
CONDITION_VARIABLE threads_changed;  // signalled when the non-daemon count goes down
HANDLE destroy_begun = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // set by DestroyJavaVM
const DWORD tls_slot = TlsAlloc();  // the calling thread's ThreadState
const bool locks_made = [] {
    InitializeCriticalSection(&vm_lock);
    InitializeCriticalSection(&exit_lock);
    InitializeConditionVariable(&threads_changed);
    return true;
}();

enum VmState { vm_none, vm_running, vm_destroyed };
VmState vm_state = vm_none;
JavaVM_ vm_record;
HANDLE log_file = INVALID_HANDLE_VALUE;
HANDLE log_lock = nullptr;  // a mutex named after the log, held while a line is written
void *vfprintf_hook = nullptr;
void *exit_hook = nullptr;
void *abort_hook = nullptr;
// Threads that keep the VM alive: attached threads until they detach, and Java threads until
// their run ends (the world starts no daemon threads, and nothing attaches as a daemon).
int non_daemon_threads = 0;
int next_thread_number = 0;
std::vector<std::string> shutdown_hooks;

void vm_abort();

std::string vformat(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string text(n + 1, '\0');
    vsnprintf(&text[0], text.size(), format, args);
    text.resize(n);
    return text;
}

void open_log(const std::u16string &path)
{
    // Written at its end (FILE_APPEND_DATA alone). Wine finds the end and writes in two steps,
    // so two threads or processes of one test that share the log take turns through a mutex
    // named after it; otherwise one line can overwrite another.
    log_file = CreateFileW(reinterpret_cast<const wchar_t *>(path.c_str()), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    uint32_t hash = 2166136261u;
    for (char16_t c : path)
        hash = (hash ^ (uint32_t)towupper(c)) * 16777619u;
    char name[64];
    snprintf(name, sizeof name, "Local\\trevalo-test-log-%08x", (unsigned)hash);
    log_lock = CreateMutexA(nullptr, FALSE, name);
}

bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool version_supported(jint version)
{
    for (jint known : {JNI_VERSION_1_2, JNI_VERSION_1_4, JNI_VERSION_1_6, JNI_VERSION_1_8,
                       JNI_VERSION_9, JNI_VERSION_10})
        if (version == known)
            return true;
    return false;
}

// A new non-daemon thread of the VM, named "Thread-<n>" when name is null (the name's bytes
// are read as modified UTF-8, as HotSpot reads an attach name).
ThreadState *new_thread(const char *name)
{
    ThreadState *t = new ThreadState();
    t->env.functions = jni_functions();
    Locked locked;
    t->name = name ? utf8(from_modified_utf8(name))
                   : "Thread-" + std::to_string(next_thread_number++);
    ++non_daemon_threads;
    return t;
}

// The calling thread is done with the VM: unbound, no longer counted.
void end_thread()
{
    TlsSetValue(tls_slot, nullptr);
    Locked locked;
    --non_daemon_threads;
    WakeAllConditionVariable(&threads_changed);
}

// They run once: after them the process ends (System.exit, which lets only its first caller
// through) or no Java code runs any more (DestroyJavaVM, which waited for every thread).
void run_shutdown_hooks()
{
    lock();
    std::vector<std::string> hooks = shutdown_hooks;
    unlock();
    for (const std::string &hook : hooks)
        log_line("shutdown_hook %s", hook.c_str());
}

// A size of -Xmx, -Xms or -Xss: digits, then at most one unit letter.
bool valid_size(const char *text)
{
    size_t digits = strspn(text, "0123456789");
    const char *rest = text + digits;
    return digits > 0 && (!*rest || (strchr("kKmMgGtT", *rest) && !rest[1]));
}

// The bytes a valid size stands for.
unsigned long long size_in_bytes(const char *text)
{
    char *unit;
    unsigned long long n = strtoull(text, &unit, 10);
    const char *units = "kmgt";
    const char *found = *unit ? strchr(units, tolower(*unit)) : nullptr;
    for (long i = found ? found - units + 1 : 0; i > 0; i--)
        n *= 1024;
    return n;
}

// Applies one option. Returns JNI_OK, or the error code after printing why.
jint apply_option(const JavaVMOption &option, bool ignore_unrecognized)
{
    const char *text = option.optionString ? option.optionString : "";
    void **hook = strcmp(text, "vfprintf") == 0 ? &vfprintf_hook
                  : strcmp(text, "exit") == 0   ? &exit_hook
                  : strcmp(text, "abort") == 0  ? &abort_hook
                                                : nullptr;
    if (hook) {
        log_line("hook %s", text);
        *hook = option.extraInfo;
        return JNI_OK;
    }
    std::u16string chars = from_platform(text);
    log_line("option %s", utf8(chars).c_str());
    if (*text == '\0')
        return JNI_OK;
    if (starts_with(text, "-D")) {
        size_t equals = chars.find(u'=');
        std::u16string name = chars.substr(2, equals == std::u16string::npos ? equals : equals - 2);
        std::u16string value = equals == std::u16string::npos ? u"" : chars.substr(equals + 1);
        set_property(name, value);
        if (name == u"java.class.path")
            log_line("class_path %s", utf8(value).c_str());
        return JNI_OK;
    }
    static const struct { const char *prefix; const char *what; } sizes[] = {
        {"-Xmx", "maximum heap size"}, {"-Xms", "initial heap size"},
        {"-Xss", "thread stack size"}};
    for (const auto &size : sizes) {
        if (!starts_with(text, size.prefix))
            continue;
        if (valid_size(text + 4)) {
            // HotSpot accepts a heap too small to start with, then aborts the creation.
            if (size.prefix[3] == 'x' && size_in_bytes(text + 4) < 2 * 1024 * 1024) {
                vm_print("Error occurred during initialization of VM\nToo small maximum heap\n");
                vm_abort();
            }
            return JNI_OK;
        }
        log_line("refused %s", utf8(chars).c_str());
        vm_print("Invalid %s: %s\n", size.what, text);
        return JNI_EINVAL;
    }
    if (starts_with(text, "-XX:ErrorFile="))
        return JNI_OK;
    if (strcmp(text, "-verbose:gc") == 0) {
        // What HotSpot's collector prints at start-up, through the "vfprintf" hook.
        vm_print("[0.004s][info][gc] Using Serial\n");
        return JNI_OK;
    }
    if (ignore_unrecognized)
        return JNI_OK;
    log_line("refused %s", utf8(chars).c_str());
    if (starts_with(text, "-XX:")) {
        vm_print("Unrecognized VM option '%s'\n", text + 4);
        return JNI_EINVAL;
    }
    vm_print("Unrecognized option: %s\n", text);
    return JNI_ERR;
}

// Every attached thread counts as non-daemon until it detaches. HotSpot attaches whatever the
// record's version says, but takes the name from the record only when it accepts the version.
jint JNICALL AttachCurrentThread(JavaVM *, void **penv, void *args)
{
    if (vm_state != vm_running)
        return JNI_ERR;
    ThreadState *t = current_thread();
    if (!t) {
        const JavaVMAttachArgs *record = static_cast<const JavaVMAttachArgs *>(args);
        t = new_thread(record && version_supported(record->version) ? record->name : nullptr);
        TlsSetValue(tls_slot, t);
        log_line("attach name=%s", t->name.c_str());
    }
    *penv = &t->env;
    return JNI_OK;
}

jint JNICALL DetachCurrentThread(JavaVM *)
{
    ThreadState *t = current_thread();
    if (!t)
        return JNI_OK;  // HotSpot: detaching a thread that is not attached is not an error
    if (!t->frames.empty()) {
        violation("DetachCurrentThread inside Java method %s", t->frames.back().c_str());
        return JNI_ERR;
    }
    log_line("detach name=%s", t->name.c_str());
    end_thread();
    return JNI_OK;
}

// As HotSpot: the calling thread is attached when it is not (named "DestroyJavaVM"), waits
// until it is the last non-daemon thread (every Java thread ended, every other attached thread
// detached), then the shutdown hooks run and the VM ends. An attached thread that never
// detaches keeps it waiting for good, as it would a real VM.
jint JNICALL DestroyJavaVM(JavaVM *vm)
{
    if (vm_state != vm_running)
        return JNI_ERR;
    ThreadState *self = current_thread();
    if (!self) {
        JavaVMAttachArgs record = {JNI_VERSION_1_2, const_cast<char *>("DestroyJavaVM"), nullptr};
        void *env = nullptr;
        AttachCurrentThread(vm, &env, &record);
        self = current_thread();
    }
    log_line("destroy waiting");
    SetEvent(destroy_begun);
    lock();
    while (non_daemon_threads > 1)
        SleepConditionVariableCS(&threads_changed, &vm_lock, INFINITE);
    unlock();
    run_shutdown_hooks();
    end_thread();
    vm_state = vm_destroyed;
    log_line("destroyed");
    return JNI_OK;
}

JNIInvokeInterface_ make_invoke_table()
{
    JNIInvokeInterface_ table = trapping_table<1, JNIInvokeInterface_>();
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    return table;
}

struct JavaThreadStart {
    ThreadState *t;
    ThreadBody body;
    void *arg;
};

DWORD WINAPI java_thread_main(void *param)
{
    JavaThreadStart start = *static_cast<JavaThreadStart *>(param);
    delete static_cast<JavaThreadStart *>(param);
    TlsSetValue(tls_slot, start.t);
    log_line("thread start name=%s", start.t->name.c_str());
    start.body(start.t, start.arg);
    log_line("thread ended name=%s", start.t->name.c_str());
    end_thread();
    return 0;
}

// A VM abort: the "abort" hook when given (it must not return), else the process ends with
// status 3, the status of the C runtime's abort, without abort's message box.
void vm_abort()
{
    if (abort_hook) {
        log_line("abort_hook");
        reinterpret_cast<abort_hook_t>(abort_hook)();
    }
    log_line("abort_process");
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;)
        Sleep(INFINITE);
}

}  // namespace

void wait_until_destroying()
{
    WaitForSingleObject(destroy_begun, INFINITE);
}

void lock()
{
    EnterCriticalSection(&vm_lock);
}

void unlock()
{
    LeaveCriticalSection(&vm_lock);
}

void log_line(const char *format, ...)
{
    if (log_file == INVALID_HANDLE_VALUE)
        return;
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    std::string line;
    for (char c : text)
        line += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    line += '\n';
    DWORD written = 0;
    if (log_lock)
        WaitForSingleObject(log_lock, INFINITE);
    WriteFile(log_file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (log_lock)
        ReleaseMutex(log_lock);
}

// What a real VM prints with jio_fprintf: through the "vfprintf" hook when the VM has one,
// otherwise to the process's standard error.
void vm_print(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    log_line("vm_output %s", vformat(format, args).c_str());
    va_end(args);
    va_start(args, format);
    if (vfprintf_hook) {
        reinterpret_cast<vfprintf_hook_t>(vfprintf_hook)(stderr, format, args);
    } else {
        vfprintf(stderr, format, args);
        fflush(stderr);
    }
    va_end(args);
}

void violation(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    log_line("violation %s", text.c_str());
    fprintf(stderr, "trevalo test runtime: JNI contract violation: %s\n", text.c_str());
    fflush(stderr);
}

void fatal_error(const std::string &text)
{
    fprintf(stderr, "trevalo test runtime: %s\n", text.c_str());
    fflush(stderr);
    vm_print("#\n# A fatal error has been detected by the Trevalo test runtime:\n#\n#  %s\n#\n",
             text.c_str());
    vm_abort();
}

// Runtime.exit: the first caller runs the shutdown hooks and ends the process through the
// "exit" hook, or ExitProcess without one; any later caller blocks for good, as in Java.
void system_exit(ThreadState *t, int status)
{
    log_line("exit %d thread=%s", status, t->name.c_str());
    EnterCriticalSection(&exit_lock);  // never left
    run_shutdown_hooks();
    if (exit_hook) {
        log_line("exit_hook %d", status);
        reinterpret_cast<exit_hook_t>(exit_hook)(status);
    }
    log_line("exit_process %d", status);
    ExitProcess(static_cast<UINT>(status));
}

ThreadState *current_thread()
{
    return static_cast<ThreadState *>(TlsGetValue(tls_slot));
}

// Thread.start of a new non-daemon Java thread "Thread-<n>", counted from the moment this
// returns.
void start_java_thread(ThreadBody body, void *arg)
{
    ThreadState *t = new_thread(nullptr);
    HANDLE handle = CreateThread(nullptr, 0, java_thread_main, new JavaThreadStart{t, body, arg},
                                 0, nullptr);
    if (!handle)
        fatal_error("CreateThread failed for a Java thread");
    CloseHandle(handle);
}

void add_shutdown_hook(const std::string &name)
{
    Locked locked;
    shutdown_hooks.push_back(name);
}

#ifdef TREVALO_RUNTIME_NEEDS_DEPENDENCY
// A variant that imports a DLL lying only in the runtime's bin folder, as a real jvm.dll
// imports the C runtime shipped there.
extern "C" __declspec(dllimport) int trevalo_runtime_dependency();
static int dependency_check = trevalo_runtime_dependency();
#endif

#ifndef TREVALO_RUNTIME_WITHOUT_DEFAULT_ARGS
// Only the version is checked.
extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void *args)
{
    JavaVMInitArgs *record = static_cast<JavaVMInitArgs *>(args);
    return record && version_supported(record->version) ? JNI_OK : JNI_ERR;
}
#endif

// Creates the one VM of the process on the calling thread, which becomes the thread "main".
// A second creation is JNI_EEXIST while the VM runs, JNI_ERR after it was destroyed.
extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM **pvm, void **penv, void *args)
{
    const JavaVMInitArgs *init = static_cast<const JavaVMInitArgs *>(args);
    if (!init || !pvm || !penv)
        return JNI_ERR;
    if (vm_state != vm_none)
        return vm_state == vm_running ? JNI_EEXIST : JNI_ERR;
    // The log is named by an option, or else by the environment variable TREVALO_TEST_LOG
    // (so that a test can see the options exactly as the launcher passes them); find it
    // before logging anything else.
    const char *const log_option = "-Dtrevalo.test.log=";
    for (int i = 0; i < init->nOptions && log_file == INVALID_HANDLE_VALUE; ++i) {
        const char *text = init->options[i].optionString;
        if (text && starts_with(text, log_option))
            open_log(from_platform(text + strlen(log_option)));
    }
    wchar_t log_path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"TREVALO_TEST_LOG", log_path, MAX_PATH);
    if (log_file == INVALID_HANDLE_VALUE && length > 0 && length < MAX_PATH)
        open_log(reinterpret_cast<const char16_t *>(log_path));
    // How long the process ran before the virtual machine was asked for: the launcher's own
    // start-up cost, for the benchmarks.
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a = {{created.dwLowDateTime, created.dwHighDateTime}};
    ULARGE_INTEGER b = {{now.dwLowDateTime, now.dwHighDateTime}};
    log_line("clock since_process_start_us=%lld", (long long)(b.QuadPart - a.QuadPart) / 10);
    log_line("create version=0x%08lx options=%ld ignore_unrecognized=%d",
             static_cast<unsigned long>(init->version), static_cast<long>(init->nOptions),
             init->ignoreUnrecognized ? 1 : 0);
    if (!version_supported(init->version)) {
        log_line("create failed %d", JNI_EVERSION);
        return JNI_EVERSION;
    }
    world_init();
    wchar_t directory[MAX_PATH + 1] = L"";
    GetCurrentDirectoryW(MAX_PATH + 1, directory);
    set_property(u"user.dir", reinterpret_cast<const char16_t *>(directory));
    set_property(u"java.class.path", u".");
    for (int i = 0; i < init->nOptions; ++i) {
        jint result = apply_option(init->options[i], init->ignoreUnrecognized != JNI_FALSE);
        if (result != JNI_OK) {
            log_line("create failed %ld", static_cast<long>(result));
            return result;
        }
    }
    std::u16string native_library;
    if (get_property(u"trevalo.test.load", &native_library) &&
        !LoadLibraryW(reinterpret_cast<const wchar_t *>(native_library.c_str()))) {
        char reason[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), 0, reason, sizeof reason, nullptr);
        reason[strcspn(reason, "\r\n")] = '\0';
        vm_print("Error occurred during initialization of VM\nUnable to load native library: "
                 "%s\n", reason);
        log_line("creation_exit 1");
        exit(1);
    }
    static const JNIInvokeInterface_ invoke_table = make_invoke_table();
    vm_record.functions = &invoke_table;
    ThreadState *main_thread = new_thread("main");
    TlsSetValue(tls_slot, main_thread);
    vm_state = vm_running;
    log_line("created thread=main");
    *pvm = &vm_record;
    *penv = &main_thread->env;
    return JNI_OK;
}
