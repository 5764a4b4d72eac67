// The scripted main classes of the test runtime, package trevalo/test, each with public static
// void main(String[]); main logs "main <class> argc=<n> thread=<name>" and its arguments, does
// one thing a real application might do, and logs "return <class>" when it returns normally.
// A call whose first argument is "stop" is a stop request, the second call of main that a
// service makes to stop its application.
//   trevalo/test/Args        logs user.dir and java.class.path, prints one line to System.out
//                            and one to System.err.
//   trevalo/test/Throws      throws java.lang.IllegalStateException "boom", caused by a
//                            java.lang.NumberFormatException 'For input string: "x"'.
//   trevalo/test/Exit        System.exit(Integer.parseInt(args[0])).
//   trevalo/test/Window      on a new non-daemon thread, after args[0] ms opens a visible
//                            top-level window "Trevalo test window", keeps it args[1] ms (or
//                            until it is closed), closes it. main returns at once.
//   trevalo/test/Wait        registers a shutdown hook, blocks until a stop request arrives.
//   trevalo/test/Ignore      blocks forever; a stop request is logged and ignored.
//   trevalo/test/ThreadExit  starts a non-daemon thread that calls System.exit(5) once
//                            DestroyJavaVM waits for it (the launcher has taken main's
//                            exception by then), then throws java.lang.IllegalStateException
//                            "boom".
//   trevalo/test/NonDaemon   starts a non-daemon thread that runs 500 ms more, returns at once.
//   trevalo/test/Abort       prints a fatal-error text through "vfprintf", then aborts.
//   trevalo/test/NoMain      exists but has no main: NoSuchMethodError.
//   trevalo/test/Echo        reads one line from System.in (the process's standard input),
//                            logs "stdin <line>" and prints "echo: <line>" to System.out.
// Any other class name: NoClassDefFoundError.
#include "tests/runtime/runtime.h"

namespace {

typedef std::vector<std::u16string> Args;

HANDLE wait_stop = nullptr;  // set by a stop request to Wait (manual reset: stays set)

bool is_stop(const Args &args)
{
    return !args.empty() && args[0] == u"stop";
}

// Integer.parseInt(args[index]): a missing argument is an ArrayIndexOutOfBoundsException, a
// text other than an optional sign and decimal digits within the int range a
// NumberFormatException.
bool int_argument(ThreadState *t, const Args &args, size_t index, int *value)
{
    if (index >= args.size()) {
        throw_new(t, "java/lang/ArrayIndexOutOfBoundsException",
                  from_ascii("Index " + std::to_string(index) + " out of bounds for length " +
                             std::to_string(args.size())));
        return false;
    }
    const std::u16string &text = args[index];
    size_t start = !text.empty() && (text[0] == u'-' || text[0] == u'+');
    bool ok = text.size() > start;
    long long n = 0;
    for (size_t i = start; ok && i < text.size(); ++i) {
        ok = text[i] >= u'0' && text[i] <= u'9' && n <= 2147483648LL;
        n = n * 10 + (text[i] - u'0');
    }
    n = start && text[0] == u'-' ? -n : n;
    if (!ok || n < -2147483648LL || n > 2147483647LL) {
        throw_new(t, "java/lang/NumberFormatException", u"For input string: \"" + text + u"\"");
        return false;
    }
    *value = static_cast<int>(n);
    return true;
}

void log_property(const char16_t *name)
{
    std::u16string value;
    log_line("property %s=%s", utf8(name).c_str(),
             get_property(name, &value) ? utf8(value).c_str() : "<null>");
}

void args_main(ThreadState *, const Args &)
{
    log_property(u"user.dir");
    log_property(u"java.class.path");
    stream_println(system_out(), "trevalo.test.Args: standard output");
    stream_println(system_err(), "trevalo.test.Args: standard error");
}

void throws_main(ThreadState *t, const Args &)
{
    std::u16string message = u"boom", cause = u"For input string: \"x\"";
    Object *exception = new_throwable(t, "java/lang/IllegalStateException", &message);
    exception->cause = new_throwable(t, "java/lang/NumberFormatException", &cause);
    throw_object(t, exception);
}

void exit_main(ThreadState *t, const Args &args)
{
    int status = 0;
    if (int_argument(t, args, 0, &status))
        system_exit(t, status);
}

struct WindowPlan {
    int delay_ms;
    int open_ms;
};

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wparam, lparam);
}

void window_thread(ThreadState *, void *arg)
{
    WindowPlan plan = *static_cast<WindowPlan *>(arg);
    delete static_cast<WindowPlan *>(arg);
    Sleep(plan.delay_ms);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    // A solid colour that a screenshot can find: RGB(32, 96, 160).
    window_class.hbrBackground = CreateSolidBrush(RGB(32, 96, 160));
    window_class.lpszClassName = "TrevaloTestWindow";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "TrevaloTestWindow", "Trevalo test window",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 120, 360, 240, nullptr,
                                  nullptr, window_class.hInstance, nullptr);
    if (!window) {
        log_line("window failed error=%lu", GetLastError());
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    log_line("window shown");
    // The message loop, until the time is up or the window is closed.
    DWORD start = GetTickCount(), elapsed;
    bool open = true;
    while (open && (elapsed = GetTickCount() - start) < static_cast<DWORD>(plan.open_ms)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, plan.open_ms - elapsed, QS_ALLINPUT);
        MSG msg;
        while (open && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            open = msg.message != WM_QUIT;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (IsWindow(window))
        DestroyWindow(window);
    log_line("window closed");
}

void window_main(ThreadState *t, const Args &args)
{
    WindowPlan plan;
    if (int_argument(t, args, 0, &plan.delay_ms) && int_argument(t, args, 1, &plan.open_ms))
        start_java_thread(window_thread, new WindowPlan(plan));
}

void wait_main(ThreadState *, const Args &args)
{
    if (is_stop(args)) {
        log_line("stop requested trevalo/test/Wait");
        SetEvent(wait_stop);
        return;
    }
    add_shutdown_hook("trevalo/test/Wait");
    log_line("waiting trevalo/test/Wait");
    WaitForSingleObject(wait_stop, INFINITE);
    log_line("stopped trevalo/test/Wait");
}

void ignore_main(ThreadState *, const Args &args)
{
    if (is_stop(args)) {
        log_line("stop ignored trevalo/test/Ignore");
        return;
    }
    log_line("waiting trevalo/test/Ignore");
    for (;;)
        Sleep(INFINITE);
}

void exit_five_later(ThreadState *t, void *)
{
    wait_until_destroying();
    system_exit(t, 5);
}

void thread_exit_main(ThreadState *t, const Args &)
{
    start_java_thread(exit_five_later, nullptr);
    throw_new(t, "java/lang/IllegalStateException", u"boom");
}

void work_half_a_second(ThreadState *, void *)
{
    Sleep(500);
}

void non_daemon_main(ThreadState *, const Args &)
{
    start_java_thread(work_half_a_second, nullptr);
}

void abort_main(ThreadState *, const Args &)
{
    fatal_error("abort requested by trevalo/test/Abort");
}

void echo_main(ThreadState *, const Args &)
{
    std::string line;
    char c;
    DWORD n;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, &c, 1, &n, nullptr) && n == 1 && c != '\n')
        if (c != '\r')
            line += c;
    log_line("stdin %s", line.c_str());
    stream_println(system_out(), "echo: " + line);
}

const struct {
    const char *cls;
    void (*body)(ThreadState *t, const Args &args);
} scripts[] = {
    {"trevalo/test/Echo", echo_main},
    {"trevalo/test/Args", args_main},
    {"trevalo/test/Throws", throws_main},
    {"trevalo/test/Exit", exit_main},
    {"trevalo/test/Window", window_main},
    {"trevalo/test/Wait", wait_main},
    {"trevalo/test/Ignore", ignore_main},
    {"trevalo/test/ThreadExit", thread_exit_main},
    {"trevalo/test/NonDaemon", non_daemon_main},
    {"trevalo/test/Abort", abort_main},
};

// The main method of every scripted class: logs the call and the arguments, then runs the
// class's script. A null array is a NullPointerException, as args.length would be.
Object *scripted_main(ThreadState *t, const Method *m, Object *, const Value *a)
{
    const char *cls = m->owner->name.c_str();
    Object *array = a[0].o;
    log_line("main %s argc=%d thread=%s", cls, array ? static_cast<int>(array->elements.size()) : 0,
             t->name.c_str());
    if (!array) {
        throw_object(t, new_throwable(t, "java/lang/NullPointerException", nullptr));
        return nullptr;
    }
    Args args;
    for (size_t i = 0; i < array->elements.size(); ++i) {
        Object *element = array->elements[i];
        args.push_back(element ? element->chars : u"<null>");
        log_line("arg[%d]=%s", static_cast<int>(i), utf8(args.back()).c_str());
    }
    for (const auto &script : scripts)
        if (m->owner->name == script.cls)
            script.body(t, args);
    if (!t->pending)
        log_line("return %s", cls);
    return nullptr;
}

}  // namespace

void define_scripted_classes()
{
    wait_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (const auto &script : scripts)
        add_method(define_class(script.cls), "main", "([Ljava/lang/String;)V", true,
                   scripted_main);
    define_class("trevalo/test/NoMain");
}
