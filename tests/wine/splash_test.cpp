// The splash screen of the real stub under Wine, on the virtual display: found as the
// process's top-level "Static" window, its position and pixels read from the screen.
#include <gtest/gtest.h>

#include "tests/wine/harness.h"

namespace {

struct splash_search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_splash_window(HWND window, LPARAM param)
{
    auto *search = (splash_search *)param;
    DWORD pid = 0;
    char name[64] = "";
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, name, sizeof name);
    // The launcher's manifest asks for the version 6 common controls, whose class names carry
    // the version: "6.0.2600.2982!Static".
    const char *last = strrchr(name, '!');
    if (pid == search->pid && lstrcmpiA(last ? last + 1 : name, "Static") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The splash window of the process, visible or not; null when there is none.
HWND splash_of(const child_process &child)
{
    splash_search search = {child.pid, nullptr};
    EnumWindows(find_splash_window, (LPARAM)&search);
    return search.found;
}

bool splash_visible(const child_process &child)
{
    HWND splash = splash_of(child);
    return splash && IsWindowVisible(splash);
}

bool wait_splash(const child_process &child, bool visible)
{
    return wait_until([&] { return splash_visible(child) == visible; });
}

std::string splash_config(const std::string &extra, const std::string &main_class = "s.Main")
{
    return "main_class = " + main_class + "\nsplash = " + build_dir() +
           "\\images\\splash.bmp\n" + extra;
}

// Builds a launcher of config in a folder of its own and starts it as a user would.
bool start_launcher(const std::string &config, child_process *child)
{
    std::string dir = make_temp_dir("splash");
    return start_child(quote(make_launcher(dir, config)), dir, child);
}

TEST(Splash, ShowsTheBitmapCentredAndAnswersClicks)
{
    // The splash's time outlasts the test: the process ends when the error box is answered.
    child_process child;
    ASSERT_TRUE(start_launcher(
        splash_config("splash_until_window = 0\nsplash_seconds = 600\n"), &child));
    ASSERT_TRUE(wait_splash(child, true));
    HWND splash = splash_of(child);
    RECT rect;
    GetWindowRect(splash, &rect);
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(rect.right - rect.left, 128);
    EXPECT_EQ(rect.bottom - rect.top, 128);
    EXPECT_EQ(rect.left, (screen_width - 128) / 2);
    EXPECT_EQ(rect.top, (screen_height - 128) / 2);
    EXPECT_EQ(GetWindowLongA(splash, GWL_STYLE) & (WS_POPUP | WS_CAPTION), WS_POPUP);
    char text[64] = "";
    GetWindowTextA(splash, text, sizeof text);
    EXPECT_STREQ(text, "Loading application...");

    // The screen shows the bitmap's pixels (see make_images.py: a gradient inside a dark
    // border), above the error box that the launch without a runtime shows in the middle.
    // Read until painted.
    message_box box;
    ASSERT_TRUE(wait_message_box(child, HANG_MS, &box));
    const COLORREF inside_colour = RGB(0x30 + 64 / 2, 0x70 + 10 / 4, 0xD0);
    COLORREF inside, border;
    wait_until([&] {
        HDC screen = GetDC(nullptr);
        inside = GetPixel(screen, rect.left + 64, rect.top + 10);
        border = GetPixel(screen, rect.left + 1, rect.top + 1);
        ReleaseDC(nullptr, screen);
        return inside == inside_colour && border == RGB(0x20, 0x30, 0x80);
    });
    EXPECT_EQ(inside, inside_colour) << std::hex << inside;
    EXPECT_EQ(border, RGB(0x20, 0x30, 0x80)) << std::hex << border;

    DWORD_PTR hit = 0;
    SendMessageTimeoutA(splash, WM_NCHITTEST, 0, MAKELPARAM(rect.left + 5, rect.top + 5),
                        SMTO_ABORTIFHUNG, 2000, &hit);
    EXPECT_EQ(hit, (DWORD_PTR)HTCLIENT);
    EXPECT_EQ(answer_and_wait(&child, box), 0xFFFFFFFFu);
}

TEST(Splash, FixedTimeClosesItWhateverTheApplicationDoes)
{
    // It closes by itself while the error box stays, and not before its time: the box, shown
    // at once, does not close it.
    std::string dir = make_temp_dir("splash-time");
    std::string app = make_launcher(dir, splash_config("splash_until_window = 0\n"
                                                       "splash_seconds = 3\n"));
    DWORD before_start = GetTickCount();
    child_process child;
    ASSERT_TRUE(start_child(quote(app), dir, &child));
    ASSERT_TRUE(wait_splash(child, true));
    message_box box;
    ASSERT_TRUE(wait_message_box(child, HANG_MS, &box));
    ASSERT_TRUE(wait_splash(child, false));
    EXPECT_GE(GetTickCount() - before_start, 3000u);
    EXPECT_EQ(answer_and_wait(&child, box), 0xFFFFFFFFu);
}

// No runtime: the launch fails at once with an error box. Without time or bitmap no splash
// shows; one waiting for a window (made before the launch goes on, as the other tests see
// it shown) closes at the box, where it would otherwise stay until the box is answered.
TEST(Splash, NoSplashWithoutTimeOrBitmapAndNoneOverAnErrorBox)
{
    const struct {
        const char *what;
        std::string config;
        bool window;  // a (hidden) splash window exists
        bool closes;  // shown, it closes at the box (and may be gone)
    } cases[] = {
        {"no time, not waiting", splash_config("splash_until_window = 0\nsplash_seconds = 0\n"),
         false, false},
        {"no bitmap", "main_class = s.Main\nsplash_until_window = 1\n", true, false},
        {"no bitmap, fixed time", "main_class = s.Main\nsplash_until_window = 0\n"
                                  "splash_seconds = 2\n", true, false},
        {"waiting for a window", splash_config("splash_until_window = 1\n"), false, true},
    };
    for (const auto &c : cases) {
        child_process child;
        ASSERT_TRUE(start_launcher(c.config, &child)) << c.what;
        message_box box;
        ASSERT_TRUE(wait_message_box(child, HANG_MS, &box)) << c.what;
        if (c.closes)  // hidden or already gone
            EXPECT_TRUE(wait_splash(child, false)) << c.what;
        else if (c.window)
            EXPECT_TRUE(wait_until([&] { return splash_of(child) != nullptr; })) << c.what;
        else
            EXPECT_EQ(splash_of(child), nullptr) << c.what;
        EXPECT_FALSE(splash_visible(child)) << c.what;
        EXPECT_EQ(box.text, "Unable to locate suitable Java Runtime Environment on this machine.")
            << c.what << ": nothing else is reported";
        press_ok(box);
        message_box another;
        EXPECT_FALSE(wait_message_box(child, 500, &another, {box.window})) << c.what;
        EXPECT_EQ(exit_status(&child), 0xFFFFFFFFu) << c.what;
    }
}

BOOL CALLBACK find_titled(HWND window, LPARAM param)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && strcmp(title, "Trevalo test window") == 0) {
        *(HWND *)param = window;
        return FALSE;
    }
    return TRUE;
}

HWND application_window()
{
    HWND found = nullptr;
    EnumWindows(find_titled, (LPARAM)&found);
    return found;
}

// Writes the whole screen as a 24-bit .bmp file, for a person to look at.
void save_screenshot(const std::string &path)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    int row = (width * 3 + 3) & ~3;
    std::string pixels((size_t)row * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    write_file(path, std::string((const char *)&file, sizeof file) +
                         std::string((const char *)&info, sizeof info) + pixels);
}

// The test runtime as the launcher's runtime, and its window environment.
const char *const RUNTIME_CONFIG = "search_order = 0\nruntime_paths = ";

std::string with_runtime(const std::string &config)
{
    return config + RUNTIME_CONFIG + build_dir() + "\\test-runtime\\bin\\client\\jvm.dll\n";
}

TEST(Splash, ClosesWhenTheApplicationShowsItsWindow)
{
    // The application opens its window 1.5 s after main starts and keeps it until closed
    // here.
    child_process child;
    ASSERT_TRUE(start_launcher(with_runtime(splash_config(
                                   "splash_until_window = 1\napp_args = 1500 600000\n",
                                   "trevalo.test.Window")),
                               &child));
    ASSERT_TRUE(wait_splash(child, true));
    // Until the application's window shows, the splash stays; then it closes while the
    // window is open (it would otherwise stay until the process ends).
    bool splash_stayed = true;
    HWND window = nullptr;
    ASSERT_TRUE(wait_until([&] {
        window = application_window();
        splash_stayed = splash_stayed && (window || splash_visible(child));
        return window != nullptr;
    }));
    EXPECT_TRUE(splash_stayed) << "the splash waited for the window";
    EXPECT_TRUE(wait_splash(child, false));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(exit_status(&child), 0u);
}

TEST(Splash, ScreenshotOfTheSplashOverTheApplication)
{
    // Not a check: a picture for a person, build/artifacts/splash-over-window-<arch>.bmp,
    // taken once both show (the splash's time and the window's outlast the test; the window
    // is closed here).
    child_process child;
    ASSERT_TRUE(start_launcher(with_runtime(splash_config("splash_until_window = 0\n"
                                                          "splash_seconds = 600\n"
                                                          "app_args = 300 600000\n",
                                                          "trevalo.test.Window")),
                               &child));
    HWND window = nullptr;
    ASSERT_TRUE(wait_until([&] {
        window = application_window();
        return window && splash_visible(child);
    }));
    Sleep(300); // for the picture only: both painted
    std::string artifacts = build_dir() + "\\..\\artifacts";
    CreateDirectoryA(artifacts.c_str(), nullptr);
    save_screenshot(artifacts + "\\splash-over-window-" + target_arch() + ".bmp");
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_NE(exit_status(&child), 0xDEADBEEFu);
}

} // namespace
