// The test runtime's virtual machine: a jvm.dll for tests only, exporting the JNI invocation
// interface over a tiny scripted Java world, and logging what it is asked to a file.
//
// It stands in for a Java runtime, which cannot be installed on the test machines. It keeps
// the contracts of a real one (checked against OpenJDK 17's HotSpot): JNI calling convention,
// null results with pending exceptions that stay pending until cleared, per-thread
// environments, DestroyJavaVM waiting for non-daemon threads, the "vfprintf", "exit" and
// "abort" hooks, refused options. What main does is scripted by the class name.
//
// Options (JavaVMInitArgs, processed in order, as HotSpot does):
//   -Dname=value        sets a system property; -Dname sets it to the empty text.
//   -Djava.class.path=  the class path (also logged as "class_path <value>").
//   -Dtrevalo.test.log=<path>  the log file: appended to, one line per event, written at once.
//                       Without it, the environment variable TREVALO_TEST_LOG names the log.
//   -Xmx<n> -Xms<n> -Xss<n>  accepted when n is digits with an optional k, m, g or t;
//                       otherwise "Invalid maximum heap size: <option>" (initial heap size,
//                       thread stack size) and JNI_EINVAL.
//   -Xrs -Xint -Xcheck:jni -verbose[:x] -ea -da -esa -dsa (and their long forms): accepted.
//   ""                  the empty option is accepted and ignored, as HotSpot does.
//   -XX:<x>             "Unrecognized VM option '<x>'" and JNI_EINVAL.
//   anything else       "Unrecognized option: <option>" and JNI_ERR.
//   "vfprintf", "exit", "abort" with the function in extraInfo: the hooks.
// With ignoreUnrecognized true, unknown options are skipped silently. Messages go through the
// "vfprintf" hook only when that hook came earlier in the array: options are taken in order,
// so a refusal before the hook goes to the process's standard error (HotSpot does the same).
// JNI versions 1.2, 1.4, 1.6, 1.8, 9 and 10 are accepted; any other is JNI_EVERSION.
//
// Classes of the world: java/lang/Object, Class, String, System (setProperty, getProperty,
// exit, setOut, setErr, fields out and err), Thread (currentThread, getName, isDaemon),
// java/io/OutputStream, FileOutputStream ((String) and (String, boolean)), PrintStream
// ((OutputStream) and (OutputStream, boolean)), and the Throwable family (see world.cpp).
//
// Scripted main classes, each with public static void main(String[]); a first argument "stop"
// makes a call a stop request (see scripted.cpp for the details):
//   trevalo/test/Args        logs its arguments, user.dir and java.class.path, prints one line
//                            to System.out and one to System.err, returns.
//   trevalo/test/Throws      throws java.lang.IllegalStateException "boom".
//   trevalo/test/Exit        System.exit(Integer.parseInt(args[0])).
//   trevalo/test/Window      on a new non-daemon thread, after args[0] ms opens a visible
//                            top-level window "Trevalo test window", keeps it args[1] ms (or
//                            until stopped, closed or the process exits), closes it. main
//                            returns at once.
//   trevalo/test/Wait        blocks until a stop request arrives, then returns.
//   trevalo/test/Ignore      blocks forever; a stop request is logged and ignored.
//   trevalo/test/ThreadExit  starts a non-daemon thread that calls System.exit(5) after 300 ms,
//                            then throws java.lang.IllegalStateException "boom".
//   trevalo/test/NonDaemon   starts a non-daemon thread that runs 500 ms more, returns at once.
//   trevalo/test/Daemon      starts a daemon thread that never ends, returns at once.
//   trevalo/test/Abort       prints a fatal-error text through "vfprintf", then aborts.
//   trevalo/test/NoMain      exists but has no main: NoSuchMethodError.
// Any other class name: NoClassDefFoundError.
// Wait, Ignore and Window register a shutdown hook, run by System.exit and DestroyJavaVM.
//
// Log lines (fields separated by single spaces; CR and LF inside a value are written as \r
// and \n; the last field may contain spaces):
//   clock since_process_start_us=<n>   time from the process's creation to JNI_CreateJavaVM
//   create version=0x00010002 options=<n> ignore_unrecognized=<0|1>
//   option <text>            every option that is not a hook, in order
//   hook <vfprintf|exit|abort>
//   class_path <value>
//   refused <option>         then: create failed <code>
//   created thread=main
//   attach name=<name> daemon=<0|1>      attach_args_ignored version=<hex> comes first when
//                                        the attach record's version is not accepted
//   attach_again name=<name>             AttachCurrentThread on an attached thread
//   detach name=<name>
//   find_class <name> <ok|missing>
//   method_id <class> <name><signature> <ok|missing>
//   class_init <class>
//   main <class> argc=<n> thread=<name>
//   arg[<i>]=<text>
//   property <name>=<value>  (Args; "<null>" when unset)
//   return <class>           main returned normally
//   throw <summary>          an exception became pending; summary as Throwable.toString()
//   describe <summary>       ExceptionDescribe
//   exception_clear          ExceptionClear with an exception pending
//   set_property <name>=<value>
//   open <path> append=<0|1>    open_failed <path>
//   set_out <path>           set_err <path>   (<stdout>/<stderr> for the process's streams)
//   thread start name=<name> daemon=<0|1>    thread ended name=<name>
//   window shown             window closed    window failed error=<code>
//   waiting <class>   stop requested <class>   stop ignored <class>   stopped <class>
//   shutdown_hook <class>
//   exit <status> thread=<name>
//   exit_hook <status>       exit_process <status>     (status in decimal)
//   abort_hook               abort_process
//   vm_output <text>         everything printed through "vfprintf" or to standard error
//   destroy waiting          destroyed
//   violation <text>         a JNI contract broken by the caller (the call goes on)
//   unsupported JNI function <index> <name>   (the process then ends through abort)
#include "tests/runtime/runtime.h"

#include <stdio.h>
#include <string.h>

namespace {

typedef jint(JNICALL *vfprintf_hook_t)(FILE *, const char *, va_list);
typedef void(JNICALL *exit_hook_t)(jint);
typedef void(JNICALL *abort_hook_t)(void);

enum VmState { vm_none, vm_running, vm_destroyed };

VmState vm_state = vm_none;
JavaVM_ vm_record;
CRITICAL_SECTION vm_lock;     // guards the thread list, properties and class initialisation
CRITICAL_SECTION log_lock;
CRITICAL_SECTION exit_lock;   // held for good by the first System.exit
bool locks_ready = false;
HANDLE log_file = INVALID_HANDLE_VALUE;
DWORD tls_slot = TLS_OUT_OF_INDEXES;
vfprintf_hook_t vfprintf_hook = nullptr;
exit_hook_t exit_hook = nullptr;
abort_hook_t abort_hook = nullptr;
std::vector<ThreadState *> threads;
std::vector<std::string> shutdown_hooks;
bool shutdown_hooks_ran = false;
int next_thread_number = 0;

void init_locks()
{
    if (locks_ready)
        return;
    InitializeCriticalSection(&vm_lock);
    InitializeCriticalSection(&log_lock);
    InitializeCriticalSection(&exit_lock);
    tls_slot = TlsAlloc();
    locks_ready = true;
}

std::string vformat(const char *format, va_list args)
{
    char buffer[2048];
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    if (n < static_cast<int>(sizeof buffer))
        return std::string(buffer, n);
    std::string big(n + 1, '\0');
    vsnprintf(&big[0], big.size(), format, args);
    big.resize(n);
    return big;
}

std::string one_line(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

void open_log(const char *path)
{
    // FILE_APPEND_DATA alone: every WriteFile lands whole at the end, also when several
    // processes of one test share the log.
    log_file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                           FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

const char *thread_name_or(ThreadState *t, const char *otherwise)
{
    return t ? t->name.c_str() : otherwise;
}

ThreadState *new_thread_state(const char *name, bool daemon, bool java)
{
    ThreadState *t = new ThreadState();
    t->env.functions = jni_functions();
    t->daemon = daemon;
    t->java = java;
    EnterCriticalSection(&vm_lock);
    t->name = name ? name : "Thread-" + std::to_string(next_thread_number++);
    threads.push_back(t);
    LeaveCriticalSection(&vm_lock);
    return t;
}

// Binds t to the calling thread. For an attached thread, keeps a handle of the OS thread so
// that DestroyJavaVM can tell a thread that ended without detaching.
void bind_thread(ThreadState *t)
{
    t->os_id = GetCurrentThreadId();
    if (!t->java)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &t->os_thread, SYNCHRONIZE, FALSE, 0);
    TlsSetValue(tls_slot, t);
}

// Live non-daemon threads other than self. An attached thread whose OS thread has ended is
// a caller's fault: HotSpot would wait for it forever; here it is reported and not counted.
int count_non_daemon(ThreadState *self)
{
    int count = 0;
    EnterCriticalSection(&vm_lock);
    for (ThreadState *t : threads) {
        if (t == self || !t->alive || t->daemon)
            continue;
        if (t->os_thread && WaitForSingleObject(t->os_thread, 0) == WAIT_OBJECT_0) {
            t->alive = false;
            violation("thread \"%s\" ended without DetachCurrentThread", t->name.c_str());
            continue;
        }
        ++count;
    }
    LeaveCriticalSection(&vm_lock);
    return count;
}

void run_shutdown_hooks()
{
    EnterCriticalSection(&vm_lock);
    bool ran = shutdown_hooks_ran;
    shutdown_hooks_ran = true;
    std::vector<std::string> hooks = shutdown_hooks;
    LeaveCriticalSection(&vm_lock);
    if (ran)
        return;
    for (const std::string &hook : hooks)
        log_line("shutdown_hook %s", hook.c_str());
}

// A size of -Xmx, -Xms or -Xss: digits, then at most one unit letter.
bool valid_size(const char *text)
{
    const char *p = text;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (p == text)
        return false;
    if (*p && strchr("kKmMgGtT", *p))
        ++p;
    return *p == '\0';
}

bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool known_flag(const char *option)
{
    static const char *const exact[] = {"-Xrs", "-Xint", "-Xcheck:jni", "-verbose", "-esa",
                                        "-dsa", "-enablesystemassertions",
                                        "-disablesystemassertions"};
    for (const char *flag : exact)
        if (strcmp(option, flag) == 0)
            return true;
    static const char *const prefixes[] = {"-verbose:", "-ea", "-da", "-enableassertions",
                                           "-disableassertions"};
    for (const char *prefix : prefixes)
        if (starts_with(option, prefix))
            return true;
    return false;
}

// Applies one option. Returns JNI_OK, or the error code after printing why.
jint apply_option(const JavaVMOption &option, bool ignore_unrecognized)
{
    const char *text = option.optionString ? option.optionString : "";
    if (strcmp(text, "vfprintf") == 0) {
        log_line("hook vfprintf");
        vfprintf_hook = reinterpret_cast<vfprintf_hook_t>(option.extraInfo);
        return JNI_OK;
    }
    if (strcmp(text, "exit") == 0) {
        log_line("hook exit");
        exit_hook = reinterpret_cast<exit_hook_t>(option.extraInfo);
        return JNI_OK;
    }
    if (strcmp(text, "abort") == 0) {
        log_line("hook abort");
        abort_hook = reinterpret_cast<abort_hook_t>(option.extraInfo);
        return JNI_OK;
    }
    log_line("option %s", text);
    if (*text == '\0' || known_flag(text))
        return JNI_OK;
    if (starts_with(text, "-D")) {
        const char *equals = strchr(text, '=');
        std::string name = equals ? std::string(text + 2, equals) : std::string(text + 2);
        std::string value = equals ? equals + 1 : "";
        set_property(name, value);
        if (name == "java.class.path")
            log_line("class_path %s", value.c_str());
        return JNI_OK;
    }
    static const struct { const char *prefix; const char *what; } sizes[] = {
        {"-Xmx", "maximum heap size"}, {"-Xms", "initial heap size"},
        {"-Xss", "thread stack size"}};
    for (const auto &size : sizes) {
        if (!starts_with(text, size.prefix))
            continue;
        if (valid_size(text + 4))
            return JNI_OK;
        log_line("refused %s", text);
        vm_print("Invalid %s: %s\n", size.what, text);
        return JNI_EINVAL;
    }
    if (ignore_unrecognized)
        return JNI_OK;
    log_line("refused %s", text);
    if (starts_with(text, "-XX:")) {
        vm_print("Unrecognized VM option '%s'\n", text + 4);
        return JNI_EINVAL;
    }
    vm_print("Unrecognized option: %s\n", text);
    return JNI_ERR;
}

void set_initial_properties()
{
    char directory[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    set_property("user.dir", directory);
    set_property("java.class.path", ".");
    set_property("java.version", "17");
    set_property("java.vm.name", "Trevalo test runtime");
    set_property("os.name", "Windows");
    set_property("file.separator", "\\");
    set_property("path.separator", ";");
    set_property("line.separator", "\r\n");
}

jint attach(JavaVM *, void **penv, void *args, bool daemon)
{
    if (vm_state != vm_running)
        return JNI_ERR;
    ThreadState *t = current_thread();
    if (t) {
        log_line("attach_again name=%s", t->name.c_str());
        *penv = &t->env;
        return JNI_OK;
    }
    // HotSpot attaches whatever the version says, but takes the name (and group) from the
    // record only when the version is one it accepts.
    const JavaVMAttachArgs *record = static_cast<const JavaVMAttachArgs *>(args);
    const char *name = nullptr;
    if (record && jni_version_supported(record->version))
        name = record->name;
    else if (record)
        log_line("attach_args_ignored version=0x%08lx", static_cast<unsigned long>(record->version));
    t = new_thread_state(name, daemon, false);
    bind_thread(t);
    log_line("attach name=%s daemon=%d", t->name.c_str(), daemon ? 1 : 0);
    *penv = &t->env;
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM *vm, void **penv, void *args)
{
    return attach(vm, penv, args, false);
}

jint JNICALL AttachCurrentThreadAsDaemon(JavaVM *vm, void **penv, void *args)
{
    return attach(vm, penv, args, true);
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
    EnterCriticalSection(&vm_lock);
    t->alive = false;
    LeaveCriticalSection(&vm_lock);
    TlsSetValue(tls_slot, nullptr);
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM *, void **penv, jint version)
{
    *penv = nullptr;
    if (vm_state != vm_running)
        return JNI_EDETACHED;
    if (version != JNI_VERSION_1_1 && !jni_version_supported(version))
        return JNI_EVERSION;
    ThreadState *t = current_thread();
    if (!t)
        return JNI_EDETACHED;
    *penv = &t->env;
    return JNI_OK;
}

// Waits for the last non-daemon thread, runs the shutdown hooks, and ends the VM. The calling
// thread is attached for the wait when it is not (HotSpot names it "DestroyJavaVM").
jint JNICALL DestroyJavaVM(JavaVM *vm)
{
    if (vm_state != vm_running)
        return JNI_ERR;
    ThreadState *self = current_thread();
    if (!self) {
        JavaVMAttachArgs record = {JNI_VERSION_1_2, const_cast<char *>("DestroyJavaVM"), nullptr};
        void *env = nullptr;
        attach(vm, &env, &record, false);
        self = current_thread();
    }
    log_line("destroy waiting");
    while (count_non_daemon(self) > 0)
        Sleep(20);
    run_shutdown_hooks();
    EnterCriticalSection(&vm_lock);
    self->alive = false;
    vm_state = vm_destroyed;
    LeaveCriticalSection(&vm_lock);
    TlsSetValue(tls_slot, nullptr);
    log_line("destroyed");
    return JNI_OK;
}

const JNIInvokeInterface_ invoke_functions = {
    nullptr, nullptr, nullptr,
    DestroyJavaVM,
    AttachCurrentThread,
    DetachCurrentThread,
    GetEnv,
    AttachCurrentThreadAsDaemon,
};

struct JavaThreadStart {
    ThreadState *t;
    ThreadBody body;
    void *arg;
};

// A Java thread: runs its body, then reports an exception that escaped it the way Java's
// default uncaught-exception handler does, entirely on System.err.
DWORD WINAPI java_thread_main(void *param)
{
    JavaThreadStart *start = static_cast<JavaThreadStart *>(param);
    ThreadState *t = start->t;
    bind_thread(t);
    log_line("thread start name=%s daemon=%d", t->name.c_str(), t->daemon ? 1 : 0);
    start->body(t, start->arg);
    if (t->pending) {
        Object *ex = t->pending;
        t->pending = nullptr;
        stream_println(system_err(), "Exception in thread \"" + t->name + "\" " +
                                         throwable_summary(ex));
        print_stack_trace(ex, nullptr);
    }
    log_line("thread ended name=%s", t->name.c_str());
    EnterCriticalSection(&vm_lock);
    t->alive = false;
    LeaveCriticalSection(&vm_lock);
    delete start;
    return 0;
}

}  // namespace

void log_line(const char *format, ...)
{
    if (log_file == INVALID_HANDLE_VALUE)
        return;
    va_list args;
    va_start(args, format);
    std::string line = one_line(vformat(format, args)) + "\n";
    va_end(args);
    EnterCriticalSection(&log_lock);
    DWORD written = 0;
    WriteFile(log_file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    LeaveCriticalSection(&log_lock);
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
        vfprintf_hook(stderr, format, args);
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
    log_line("exit %d thread=%s", status, thread_name_or(t, "?"));
    EnterCriticalSection(&exit_lock);  // never left
    run_shutdown_hooks();
    if (exit_hook) {
        log_line("exit_hook %d", status);
        exit_hook(status);
    }
    log_line("exit_process %d", status);
    ExitProcess(static_cast<UINT>(status));
}

// A VM abort: the "abort" hook when given (it must not return), else the process ends with
// status 3, the status of the C runtime's abort, without abort's message box.
void vm_abort()
{
    if (abort_hook) {
        log_line("abort_hook");
        abort_hook();
    }
    log_line("abort_process");
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;)
        Sleep(INFINITE);
}

ThreadState *current_thread()
{
    if (!locks_ready)
        return nullptr;
    return static_cast<ThreadState *>(TlsGetValue(tls_slot));
}

// Thread.start of a new Java thread named "Thread-<n>": alive from the moment this returns.
ThreadState *start_java_thread(bool daemon, ThreadBody body, void *arg)
{
    ThreadState *t = new_thread_state(nullptr, daemon, true);
    JavaThreadStart *start = new JavaThreadStart{t, body, arg};
    HANDLE handle = CreateThread(nullptr, 0, java_thread_main, start, 0, nullptr);
    if (!handle) {
        t->alive = false;
        fatal_error("CreateThread failed for a Java thread");
    }
    CloseHandle(handle);
    return t;
}

void add_shutdown_hook(const std::string &name)
{
    EnterCriticalSection(&vm_lock);
    shutdown_hooks.push_back(name);
    LeaveCriticalSection(&vm_lock);
}

JavaVM *the_vm()
{
    return &vm_record;
}

bool jni_version_supported(jint version)
{
    switch (version) {
    case JNI_VERSION_1_2: case JNI_VERSION_1_4: case JNI_VERSION_1_6: case JNI_VERSION_1_8:
    case JNI_VERSION_9: case JNI_VERSION_10:
        return true;
    default:
        return false;
    }
}

// The head of the JNI 1.1 initialisation record, which today's jni.h no longer declares.
struct InitArgs11 {
    jint version;
    char **properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
};

#ifdef TREVALO_RUNTIME_NEEDS_DEPENDENCY
// A variant that imports a DLL lying only in the runtime's bin folder, as a real jvm.dll
// imports the C runtime shipped there.
extern "C" __declspec(dllimport) int trevalo_runtime_dependency();
static int dependency_check = trevalo_runtime_dependency();
#endif

#ifndef TREVALO_RUNTIME_WITHOUT_DEFAULT_ARGS
// Only the version is checked; a 1.1 request is answered with 1.2 and the default Java stack
// size, as HotSpot does.
extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void *args)
{
    InitArgs11 *record = static_cast<InitArgs11 *>(args);
    if (!record)
        return JNI_ERR;
    jint result = jni_version_supported(record->version) ? JNI_OK : JNI_ERR;
    if (record->version == JNI_VERSION_1_1) {
        record->version = JNI_VERSION_1_2;
        record->javaStackSize = 1024 * 1024;
    }
    return result;
}
#endif

extern "C" JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM **vms, jsize size, jsize *count)
{
    bool running = vm_state == vm_running;
    if (count)
        *count = running ? 1 : 0;
    if (running && vms && size > 0)
        vms[0] = &vm_record;
    return JNI_OK;
}

// Creates the one VM of the process on the calling thread, which becomes the thread "main".
// A second creation is JNI_EEXIST while the VM runs, JNI_ERR after it was destroyed.
extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM **pvm, void **penv, void *args)
{
    init_locks();
    const JavaVMInitArgs *init = static_cast<const JavaVMInitArgs *>(args);
    if (!init || !pvm || !penv)
        return JNI_ERR;
    if (vm_state == vm_running)
        return JNI_EEXIST;
    if (vm_state == vm_destroyed)
        return JNI_ERR;
    // The log is named by an option, or else by the environment variable TREVALO_TEST_LOG
    // (so that a test can see the options exactly as the launcher passes them); find it
    // before logging anything else.
    for (int i = 0; i < init->nOptions && log_file == INVALID_HANDLE_VALUE; ++i) {
        const char *text = init->options[i].optionString;
        if (text && starts_with(text, "-Dtrevalo.test.log="))
            open_log(text + strlen("-Dtrevalo.test.log="));
    }
    char log_path[MAX_PATH];
    if (log_file == INVALID_HANDLE_VALUE &&
        GetEnvironmentVariableA("TREVALO_TEST_LOG", log_path, sizeof log_path) - 1 <
            sizeof log_path - 1)
        open_log(log_path);
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
    if (!jni_version_supported(init->version)) {
        log_line("create failed %d", JNI_EVERSION);
        return JNI_EVERSION;
    }
    vfprintf_hook = nullptr;
    exit_hook = nullptr;
    abort_hook = nullptr;
    world_init();
    set_initial_properties();
    for (int i = 0; i < init->nOptions; ++i) {
        jint result = apply_option(init->options[i], init->ignoreUnrecognized != JNI_FALSE);
        if (result != JNI_OK) {
            log_line("create failed %ld", static_cast<long>(result));
            return result;
        }
    }
    vm_record.functions = &invoke_functions;
    ThreadState *main_thread = new_thread_state("main", false, false);
    bind_thread(main_thread);
    vm_state = vm_running;
    log_line("created thread=main");
    *pvm = &vm_record;
    *penv = &main_thread->env;
    return JNI_OK;
}
