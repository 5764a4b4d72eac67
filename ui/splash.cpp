// The splash screen.
#include "ui/splash.h"

#include <windows.h>

#include "base/resource_ids.h"
#include <stdlib.h>

#include "base/memory.h"
#include "ui/splash_position.h"

// The image of the running program, placed by the linker, under the name the C runtime's
// relocator uses for it: on x64 the two share one pointer to it in the read-only data.
extern "C" IMAGE_DOS_HEADER image_base __asm__("__image_base__");

enum {
    SPLASH_MADE_MS = 10000, // how long the launch waits for the splash to be made
    TIMER_FIXED_TIME = 1,   // closes after the configured number of seconds
    TIMER_WINDOW_POLL = 2,  // looks for the application's window every 100 ms
};

// What the splash thread is started with; it frees it.
struct splash_request {
    char *text;
    bool until_window;
    int seconds;
    HANDLE made;  // set once the window is made and its timer set
};

// The windows counted so far of one process.
struct window_count {
    DWORD process_id;
    int visible;
};

static BOOL CALLBACK count_window(HWND window, LPARAM count_pointer)
{
    window_count *count = (window_count *)count_pointer;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->process_id && IsWindowVisible(window) == 1)
        count->visible++;
    return TRUE;
}

// The number of visible top-level windows of the process.
static int count_visible_process_windows(DWORD process_id)
{
    window_count count = {process_id, 0};
    EnumWindows(count_window, (LPARAM)&count);
    return count.visible;
}

// Hides the splash and ends its thread's message loop; the window goes with the thread.
static void close_splash_screen(HWND splash_window)
{
    ShowWindow(splash_window, SW_HIDE);
    PostMessageA(splash_window, WM_QUIT, 0, 0);
}

static LRESULT CALLBACK splash_window_proc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam)
{
    switch (message) {
    case WM_NCHITTEST:
        // Clicks on the splash stay with the splash, never reaching the window beneath.
        return HTCLIENT;
    case WM_CLOSE:
        PostQuitMessage(0);
        break;
    case WM_TIMER:
        if (wparam == TIMER_FIXED_TIME) {
            KillTimer(window, TIMER_FIXED_TIME);
            close_splash_screen(window);
        } else if (wparam == TIMER_WINDOW_POLL &&
                   count_visible_process_windows(GetCurrentProcessId()) > 1) {
            // The splash itself is one of them: more than one means the application (or a
            // message box of the launcher) has shown a window.
            KillTimer(window, TIMER_WINDOW_POLL);
            close_splash_screen(window);
        }
        break;
    }
    // The static control's own procedure, kept with the window when it was replaced.
    WNDPROC class_procedure = (WNDPROC)GetWindowLongPtrA(window, GWLP_USERDATA);
    return CallWindowProcA(class_procedure, window, message, wparam, lparam);
}

static HWND create_splash_window(const char *text)
{
    // The program's own module, as GetModuleHandleA(nullptr) gives it, without importing that
    // function for this alone.
    HINSTANCE instance = (HINSTANCE)&image_base;
    // WS_POPUP | SS_BITMAP: a borderless, captionless static control showing a bitmap.
    HWND splash_window = CreateWindowExA(0, "STATIC", text, WS_POPUP | SS_BITMAP, 0, 0, 0, 0,
                                         nullptr, nullptr, instance, nullptr);
    SetWindowLongPtrA(splash_window, GWLP_USERDATA,
                      GetWindowLongPtrA(splash_window, GWLP_WNDPROC));
    SetWindowLongPtrA(splash_window, GWLP_WNDPROC, (LONG_PTR)splash_window_proc);

    HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(RESOURCE_SPLASH));
    if (!bitmap)
        return splash_window;
    SendMessageA(splash_window, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap);
    RECT rect;
    GetWindowRect(splash_window, &rect);
    int x, y;
    splash_position(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                    rect.right - rect.left, rect.bottom - rect.top, &x, &y);
    SetWindowPos(splash_window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Shown on top now, but not topmost: the application's windows may cover it later.
    ShowWindow(splash_window, SW_SHOW);
    BringWindowToTop(splash_window);
    return splash_window;
}

static DWORD WINAPI splash_thread(LPVOID parameter)
{
    splash_request *request = (splash_request *)parameter;
    HWND splash_window = create_splash_window(request->text);
    if (request->until_window)
        SetTimer(splash_window, TIMER_WINDOW_POLL, 100, nullptr);
    else if (request->seconds != 0)
        SetTimer(splash_window, TIMER_FIXED_TIME, (UINT)request->seconds * 1000, nullptr);
    HANDLE made = request->made;
    free(request->text);
    free(request);
    SetEvent(made);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

void start_splash_screen(const char *text, bool until_window, int seconds)
{
    HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!made)
        return;
    splash_request *request = (splash_request *)must_alloc(sizeof(splash_request));
    *request = {must_copy(text), until_window, seconds, made};
    // The launch goes on once the splash is made: under Wine, two threads whose window calls
    // overlap at start-up (the splash's first window and an error box, say) can hang both, and
    // an error box always finds the splash it closes. The window system is set up here first.
    GetDesktopWindow();
    HANDLE thread = CreateThread(nullptr, 0, splash_thread, request, 0, nullptr);
    if (!thread) {
        free(request->text);
        free(request);
        CloseHandle(made);
        return;
    }
    // Nobody waits for the splash thread beyond this; it ends with its message loop or with
    // the process. A splash that is not made within the time goes on alone (the event then
    // stays open, as the thread still sets it).
    if (WaitForSingleObject(made, SPLASH_MADE_MS) == WAIT_OBJECT_0)
        CloseHandle(made);
    CloseHandle(thread);
}
