// The scripted main classes of the test runtime, package trevalo/test: each main does one
// thing a real application might do, and logs it. A call whose first argument is "stop" is a
// stop request, the second call of main that a service makes to stop its application.
#include "tests/runtime/runtime.h"

#include <stdlib.h>

namespace {

HANDLE wait_stop = nullptr;    // set by a stop request to Wait (manual reset: stays set)
HANDLE window_stop = nullptr;  // set by a stop request to Window

// The arguments of main, logged as "main ..." and "arg[i]=...". A null array is a
// NullPointerException, as args.length would be; returns false then.
bool begin_main(ThreadState *t, const char *cls, Object *array, std::vector<std::string> *args)
{
    log_line("main %s argc=%d thread=%s", cls, array ? static_cast<int>(array->elements.size()) : 0,
             t->name.c_str());
    if (!array) {
        throw_null_pointer(t, "");
        return false;
    }
    for (size_t i = 0; i < array->elements.size(); ++i) {
        Object *element = array->elements[i];
        args->push_back(element ? element->text : "<null>");
        log_line("arg[%d]=%s", static_cast<int>(i), args->back().c_str());
    }
    return true;
}

Value end_main(const char *cls)
{
    log_line("return %s", cls);
    return Value();
}

bool is_stop(const std::vector<std::string> &args)
{
    return !args.empty() && args[0] == "stop";
}

// Integer.parseInt: an optional sign and decimal digits within the int range.
bool parse_int(ThreadState *t, const std::string &text, int *value)
{
    const char *p = text.c_str();
    if (*p == '-' || *p == '+')
        ++p;
    bool digits = *p != '\0';
    for (const char *q = p; *q; ++q)
        digits = digits && *q >= '0' && *q <= '9';
    // More than 18 characters after the sign cannot be in range, whatever the leading zeros.
    long long n = digits && text.size() - (p - text.c_str()) <= 18
                      ? strtoll(text.c_str(), nullptr, 10)
                      : 1LL << 40;
    if (!digits || n < -2147483648LL || n > 2147483647LL) {
        throw_new(t, "java/lang/NumberFormatException", "For input string: \"" + text + "\"");
        return false;
    }
    *value = static_cast<int>(n);
    return true;
}

// args[index] as an int; a missing argument is an ArrayIndexOutOfBoundsException.
bool int_argument(ThreadState *t, const std::vector<std::string> &args, size_t index, int *value)
{
    if (index >= args.size()) {
        throw_new(t, "java/lang/ArrayIndexOutOfBoundsException",
                  "Index " + std::to_string(index) + " out of bounds for length " +
                      std::to_string(args.size()));
        return false;
    }
    return parse_int(t, args[index], value);
}

void log_property(const char *name)
{
    std::string value;
    if (!get_property(name, &value))
        value = "<null>";
    log_line("property %s=%s", name, value.c_str());
}

Value args_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/Args", a[0].o, &args))
        return Value();
    log_property("user.dir");
    log_property("java.class.path");
    stream_println(system_out(), "trevalo.test.Args: standard output");
    stream_println(system_err(), "trevalo.test.Args: standard error");
    return end_main("trevalo/test/Args");
}

Value throws_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (begin_main(t, "trevalo/test/Throws", a[0].o, &args))
        throw_new(t, "java/lang/IllegalStateException", "boom");
    return Value();
}

Value exit_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    int status = 0;
    if (begin_main(t, "trevalo/test/Exit", a[0].o, &args) && int_argument(t, args, 0, &status))
        system_exit(t, status);
    return Value();
}

struct WindowPlan {
    int delay_ms;
    int open_ms;  // negative: until stopped, closed or the process ends
};

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wparam, lparam);
}

// Runs the window's message loop until the planned time is up, a stop request arrives or the
// window is closed.
void pump_window(const WindowPlan &plan)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD wait = INFINITE;
        if (plan.open_ms >= 0) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= static_cast<DWORD>(plan.open_ms))
                return;
            wait = plan.open_ms - elapsed;
        }
        DWORD woken = MsgWaitForMultipleObjects(1, &window_stop, FALSE, wait, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1)
            return;  // stop request or time up
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void window_thread(ThreadState *, void *arg)
{
    WindowPlan plan = *static_cast<WindowPlan *>(arg);
    delete static_cast<WindowPlan *>(arg);
    if (WaitForSingleObject(window_stop, plan.delay_ms) == WAIT_OBJECT_0) {
        log_line("window cancelled");
        return;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    // A solid colour that a screenshot can find: RGB(32, 96, 160).
    window_class.hbrBackground = CreateSolidBrush(RGB(32, 96, 160));
    window_class.lpszClassName = "TrevaloTestWindow";
    RegisterClassA(&window_class);  // fails harmlessly when an earlier window registered it
    HWND window = CreateWindowExA(0, "TrevaloTestWindow", "Trevalo test window",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 120, 360, 240, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        log_line("window failed error=%lu", GetLastError());
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    log_line("window shown");
    pump_window(plan);
    if (IsWindow(window))
        DestroyWindow(window);
    log_line("window closed");
}

Value window_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/Window", a[0].o, &args))
        return Value();
    if (is_stop(args)) {
        log_line("stop requested trevalo/test/Window");
        SetEvent(window_stop);
        return end_main("trevalo/test/Window");
    }
    WindowPlan plan = {0, -1};
    if (!args.empty() && !parse_int(t, args[0], &plan.delay_ms))
        return Value();
    if (args.size() > 1 && !parse_int(t, args[1], &plan.open_ms))
        return Value();
    add_shutdown_hook("trevalo/test/Window");
    start_java_thread(false, window_thread, new WindowPlan(plan));
    return end_main("trevalo/test/Window");
}

Value wait_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/Wait", a[0].o, &args))
        return Value();
    if (is_stop(args)) {
        log_line("stop requested trevalo/test/Wait");
        SetEvent(wait_stop);
        return end_main("trevalo/test/Wait");
    }
    add_shutdown_hook("trevalo/test/Wait");
    log_line("waiting trevalo/test/Wait");
    WaitForSingleObject(wait_stop, INFINITE);
    log_line("stopped trevalo/test/Wait");
    return end_main("trevalo/test/Wait");
}

Value ignore_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/Ignore", a[0].o, &args))
        return Value();
    if (is_stop(args)) {
        log_line("stop ignored trevalo/test/Ignore");
        return end_main("trevalo/test/Ignore");
    }
    add_shutdown_hook("trevalo/test/Ignore");
    log_line("waiting trevalo/test/Ignore");
    for (;;)
        Sleep(INFINITE);
}

void exit_five_later(ThreadState *t, void *)
{
    Sleep(300);
    system_exit(t, 5);
}

Value thread_exit_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/ThreadExit", a[0].o, &args))
        return Value();
    start_java_thread(false, exit_five_later, nullptr);
    throw_new(t, "java/lang/IllegalStateException", "boom");
    return Value();
}

void work_half_a_second(ThreadState *, void *)
{
    Sleep(500);
}

Value non_daemon_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/NonDaemon", a[0].o, &args))
        return Value();
    start_java_thread(false, work_half_a_second, nullptr);
    return end_main("trevalo/test/NonDaemon");
}

void run_forever(ThreadState *, void *)
{
    for (;;)
        Sleep(INFINITE);
}

Value daemon_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (!begin_main(t, "trevalo/test/Daemon", a[0].o, &args))
        return Value();
    start_java_thread(true, run_forever, nullptr);
    return end_main("trevalo/test/Daemon");
}

Value abort_main(ThreadState *t, Object *, const Value *a)
{
    std::vector<std::string> args;
    if (begin_main(t, "trevalo/test/Abort", a[0].o, &args))
        fatal_error("abort requested by trevalo/test/Abort");
    return Value();
}

// Scripted classes have a static initialiser, so that their initialisation shows in the log.
void scripted_init(ThreadState *)
{
}

void define_main_class(const char *name, Native main)
{
    Class *cls = define_class(name, "java/lang/Object");
    cls->init = scripted_init;
    if (main)
        add_method(cls, "main", "([Ljava/lang/String;)V", true, main);
}

}  // namespace

void define_scripted_classes()
{
    wait_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    window_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    define_main_class("trevalo/test/Args", args_main);
    define_main_class("trevalo/test/Throws", throws_main);
    define_main_class("trevalo/test/Exit", exit_main);
    define_main_class("trevalo/test/Window", window_main);
    define_main_class("trevalo/test/Wait", wait_main);
    define_main_class("trevalo/test/Ignore", ignore_main);
    define_main_class("trevalo/test/ThreadExit", thread_exit_main);
    define_main_class("trevalo/test/NonDaemon", non_daemon_main);
    define_main_class("trevalo/test/Daemon", daemon_main);
    define_main_class("trevalo/test/Abort", abort_main);
    define_main_class("trevalo/test/NoMain", nullptr);
}
