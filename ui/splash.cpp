// The splash screen.
#include "ui/splash.h"

#include <windows.h>

#include "base/resource_ids.h"
#include "config/settings.h"
#include "ui/splash_position.h"

enum {
    TIMER_FIXED_TIME = 1,   // closes after setting 1424 seconds
    TIMER_WINDOW_POLL = 2,  // looks for the application's window every 100 ms
};

static HWND splash_window;
static WNDPROC class_procedure;
static int visible_window_count;

static BOOL CALLBACK count_window(HWND window, LPARAM process_id)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == (DWORD)process_id && IsWindowVisible(window) == 1)
        visible_window_count++;
    return TRUE;
}

// The number of visible top-level windows of the process.
static int count_visible_process_windows(DWORD process_id)
{
    visible_window_count = 0;
    EnumWindows(count_window, (LPARAM)process_id);
    return visible_window_count;
}

// Hides the splash and ends its thread's message loop; the window goes with the thread.
static void close_splash_screen()
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
            close_splash_screen();
        } else if (wparam == TIMER_WINDOW_POLL &&
                   count_visible_process_windows(GetCurrentProcessId()) > 1) {
            // The splash itself is one of them: more than one means the application (or a
            // message box of the launcher) has shown a window.
            KillTimer(window, TIMER_WINDOW_POLL);
            close_splash_screen();
        }
        break;
    }
    return CallWindowProcA(class_procedure, window, message, wparam, lparam);
}

static void create_splash_window()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // WS_POPUP | SS_BITMAP: a borderless, captionless static control showing a bitmap.
    splash_window = CreateWindowExA(0, "STATIC", settings.splash_text, WS_POPUP | SS_BITMAP, 0, 0,
                                    0, 0, nullptr, nullptr, instance, nullptr);
    class_procedure = (WNDPROC)GetWindowLongPtrA(splash_window, GWLP_WNDPROC);
    SetWindowLongPtrA(splash_window, GWLP_WNDPROC, (LONG_PTR)splash_window_proc);

    HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(RESOURCE_SPLASH));
    if (!bitmap)
        return;
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
}

static DWORD WINAPI splash_thread(LPVOID)
{
    create_splash_window();
    if (settings.splash_until_window)
        SetTimer(splash_window, TIMER_WINDOW_POLL, 100, nullptr);
    else if (settings.splash_seconds != 0)
        SetTimer(splash_window, TIMER_FIXED_TIME, (UINT)settings.splash_seconds * 1000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

void start_splash_screen()
{
    // The window system is set up for the process here, on the main thread, before the
    // splash thread makes its window: under Wine, two threads whose first window calls
    // overlap at start-up in a process with a manifest can hang both.
    GetDesktopWindow();
    HANDLE thread = CreateThread(nullptr, 0, splash_thread, nullptr, 0, nullptr);
    // Nobody waits for the splash thread; it ends with its message loop or with the process.
    if (thread)
        CloseHandle(thread);
}
