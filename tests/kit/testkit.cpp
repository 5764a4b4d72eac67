#include "tests/kit/testkit.h"

#include <cstdlib>
#include <cstring>

namespace testkit {

// text as the system converts UTF-8: what is not valid becomes U+FFFD.
static std::wstring system_wide(const std::string &text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], n);
    return result;
}

std::wstring wide(const std::string &text) {
    // An unpaired surrogate written as the three bytes of its value stands for that unit, as
    // the launcher reads it (tests pass such names on purpose).
    std::wstring result;
    size_t start = 0;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) != 0xED || (text[i + 1] & 0xE0) != 0xA0 ||
            (text[i + 2] & 0xC0) != 0x80)
            continue;
        result += system_wide(text.substr(start, i - start));
        result += static_cast<wchar_t>(0xD000 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F));
        start = i + 3;
        i += 2;
    }
    return result + system_wide(text.substr(start));
}

std::string utf8(const std::wstring &text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string result(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], n,
                        nullptr, nullptr);
    return result;
}

namespace {

// How often the polling loops look again.
const DWORD POLL_MS = 20;
// How long after a box becomes visible we keep trying to see its icon painted.
const DWORD ICON_PAINT_MS = 1500;

// Milliseconds left until deadline (from GetTickCount), 0 once it has passed.
DWORD remaining(DWORD start, DWORD timeout_ms) {
    DWORD elapsed = GetTickCount() - start;
    return elapsed >= timeout_ms ? 0 : timeout_ms - elapsed;
}

bool has_exited(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

std::string class_name(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The full text of a window of another process, read in UTF-16 so that every character
// arrives, as UTF-8. GetWindowText does not send WM_GETTEXT to controls of other processes,
// so the messages are sent explicitly. The other process answers them only when its thread
// gets to its messages, which on a busy machine may take long: the sends wait for that, up to
// timeout_ms, whatever the system thinks of a thread that is slow to answer.
std::string window_text(HWND window, DWORD timeout_ms) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout_ms, &length))
        return "";
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, timeout_ms,
                             &copied))
        return "";
    return utf8(std::wstring(buffer.data(), copied < buffer.size() ? copied : length));
}

bool is_static(HWND control) {
    return lstrcmpiA(class_name(control).c_str(), "Static") == 0;
}

bool is_icon_static(HWND control) {
    return is_static(control) && (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

struct dialog_controls {
    HWND text = nullptr;  // the first Static child that is not an icon
    HWND icon = nullptr;  // the first visible SS_ICON Static child
};

BOOL CALLBACK collect_control(HWND control, LPARAM param) {
    dialog_controls *found = reinterpret_cast<dialog_controls *>(param);
    if (is_icon_static(control)) {
        if (!found->icon && IsWindowVisible(control))
            found->icon = control;
    } else if (is_static(control) && !found->text) {
        found->text = control;
    }
    return TRUE;
}

// Pixels as 0x00RRGGBB, row by row from the top.
typedef std::vector<DWORD> pixels;

pixels read_bitmap(HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels result(static_cast<size_t>(width) * height, 0);
    GetDIBits(dc, bitmap, 0, height, result.data(), &info, DIB_RGB_COLORS);
    for (DWORD &pixel : result)
        pixel &= 0xFFFFFF;
    return result;
}

// What the screen shows in the given screen rectangle.
pixels capture_screen(const RECT &area) {
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    pixels result = read_bitmap(memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return result;
}

// How icon looks when drawn the way a static control draws it (stretched to the control)
// on a background of the given 0x00RRGGBB colour.
pixels render_icon(HICON icon, int width, int height, DWORD background) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(
        RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    SelectObject(memory, old);
    pixels result = read_bitmap(memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return result;
}

// Mean absolute difference per colour channel, 0..255.
double difference(const pixels &a, const pixels &b) {
    if (a.empty() || a.size() != b.size())
        return 255;
    double total = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift <= 16; shift += 8)
            total += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                              static_cast<int>((b[i] >> shift) & 0xFF));
    return total / (3.0 * a.size());
}

bool is_uniform(const pixels &image) {
    for (DWORD pixel : image)
        if (pixel != image[0])
            return false;
    return true;
}

// Above this mean difference a painted icon is none of the system icons ("other"). The
// system icons differ from each other by far more; a match differs by about nothing.
const double MATCH_LIMIT = 12.0;

// Names the system icon that image (a capture of an icon control) shows. A uniform image
// means the control shows nothing yet (or nothing at all): returns "".
std::string identify_icon(const pixels &image, int width, int height) {
    if (image.empty() || is_uniform(image))
        return "";
    struct candidate { LPCSTR id; const char *name; };
    const candidate candidates[] = {
        {IDI_ERROR, "error"},
        {IDI_INFORMATION, "information"},
        {IDI_WARNING, "warning"},
        {IDI_QUESTION, "question"},
    };
    // The background the control paints on: its corner (icons leave corners transparent),
    // or, should the icon cover the corner, the usual dialog colour.
    const DWORD backgrounds[] = {image[0], GetSysColor(COLOR_3DFACE), GetSysColor(COLOR_WINDOW)};
    std::string best_name = "other";
    double best = MATCH_LIMIT;
    for (const candidate &c : candidates) {
        HICON icon = LoadIconA(nullptr, c.id);
        if (!icon)
            continue;
        for (int i = 0; i < 3; ++i) {
            DWORD background = backgrounds[i];
            if (i > 0)  // GetSysColor gives 0x00BBGGRR
                background = ((background & 0xFF) << 16) | (background & 0xFF00) |
                             ((background >> 16) & 0xFF);
            double d = difference(image, render_icon(icon, width, height, background));
            if (d < best) {
                best = d;
                best_name = c.name;
            }
        }
    }
    return best_name;
}

// Whether the icon control holds an icon. The handle it answers belongs to the other
// process and means nothing here, but null means no icon. Wine keeps a visible, empty icon
// control in boxes without an icon, overlapped by the text, so capturing it would be wrong.
bool holds_icon(HWND icon_control, DWORD timeout_ms) {
    DWORD_PTR icon = 0;
    return SendMessageTimeoutA(icon_control, STM_GETICON, 0, 0, SMTO_NORMAL, timeout_ms,
                               &icon) && icon != 0;
}

// Which icon the box shows. The control is captured from the screen, so the box must be
// painted and not covered; the capture is retried until two in a row agree and show
// something, for at most ICON_PAINT_MS. A box with no visible icon control, or an empty
// one, or one that stays blank, shows "none".
std::string read_icon(HWND icon_control, DWORD timeout_ms) {
    if (!icon_control || !holds_icon(icon_control, timeout_ms))
        return "none";
    DWORD start = GetTickCount();
    pixels previous;
    std::string last = "none";
    while (true) {
        RECT area;
        GetClientRect(icon_control, &area);
        MapWindowPoints(icon_control, nullptr, reinterpret_cast<POINT *>(&area), 2);
        int width = area.right - area.left, height = area.bottom - area.top;
        if (width > 0 && height > 0) {
            pixels image = capture_screen(area);
            std::string name = identify_icon(image, width, height);
            if (!name.empty()) {
                if (image == previous)
                    return name;
                last = name;
            }
            previous = image;
        }
        if (remaining(start, ICON_PAINT_MS) == 0 || !IsWindow(icon_control))
            return last;
        Sleep(POLL_MS);
    }
}

struct box_search {
    DWORD pid;
    const std::vector<HWND> *ignore;
    HWND found;
};

BOOL CALLBACK find_box(HWND window, LPARAM param) {
    box_search *search = reinterpret_cast<box_search *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window) || class_name(window) != "#32770")
        return TRUE;
    for (HWND ignored : *search->ignore)
        if (ignored == window)
            return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HANDLE limited_token() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size;
    if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeFull ||
        !GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size))
        linked.LinkedToken = nullptr;
    CloseHandle(token);
    return linked.LinkedToken;
}

bool start_child(const std::string &command_line, const std::string &directory,
                 child_process *out, const std::string &stderr_path, const char *environment,
                 bool limited, HANDLE *suspended_thread) {
    *out = child_process();
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!stderr_path.empty()) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        output = CreateFileW(wide(stderr_path).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            return false;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    std::wstring mutable_line = wide(command_line);  // CreateProcessW may write into it
    // The block ends with two NULs: convert it whole, NULs included.
    std::wstring block;
    if (environment) {
        size_t length = 0;
        while (environment[length] || environment[length + 1])
            ++length;
        block = wide(std::string(environment, length + 2));
    }
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    HANDLE token = limited ? limited_token() : nullptr;
    std::wstring folder = wide(directory);
    BOOL inherit = output != INVALID_HANDLE_VALUE;
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | (suspended_thread ? CREATE_SUSPENDED : 0);
    wchar_t *variables = environment ? &block[0] : nullptr;
    const wchar_t *current = directory.empty() ? nullptr : folder.c_str();
    BOOL ok = token ? CreateProcessAsUserW(token, nullptr, &mutable_line[0], nullptr, nullptr,
                                           inherit, flags, variables, current, &startup, &info)
                    : CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr, inherit, flags,
                                     variables, current, &startup, &info);
    DWORD error = GetLastError();
    if (token)
        CloseHandle(token);
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    if (!ok) {
        SetLastError(error);
        return false;
    }
    if (suspended_thread)
        *suspended_thread = info.hThread;
    else
        CloseHandle(info.hThread);
    out->process = info.hProcess;
    out->pid = info.dwProcessId;
    return true;
}

std::string environment_with(const std::vector<std::string> &assignments) {
    std::vector<std::string> variables;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; p && *p; p += wcslen(p) + 1)
        variables.push_back(utf8(p));
    FreeEnvironmentStringsW(block);
    for (const std::string &assignment : assignments) {
        std::string name = assignment.substr(0, assignment.find('=') + 1);  // with the '='
        bool replaced = false;
        for (std::string &variable : variables)
            if (variable.size() >= name.size() &&
                lstrcmpiA(variable.substr(0, name.size()).c_str(), name.c_str()) == 0) {
                variable = assignment;
                replaced = true;
            }
        if (!replaced)
            variables.push_back(assignment);
    }
    std::string result;
    for (const std::string &variable : variables) {
        result += variable;
        result += '\0';
    }
    result += '\0';
    return result;
}

bool wait_message_box(const child_process &child, DWORD timeout_ms, message_box *out,
                      const std::vector<HWND> &ignore) {
    DWORD start = GetTickCount();
    while (true) {
        box_search search = {child.pid, &ignore, nullptr};
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            // The box's process answers the messages that read it, and paints it, when its
            // thread gets to them: each read waits for that, up to the time left.
            DWORD left = remaining(start, timeout_ms);
            if (left < POLL_MS)
                left = POLL_MS;
            dialog_controls controls;
            EnumChildWindows(search.found, collect_control, reinterpret_cast<LPARAM>(&controls));
            wchar_t caption[1024] = L"";
            GetWindowTextW(search.found, caption, 1024);
            out->window = search.found;
            out->caption = utf8(caption);
            out->text = controls.text ? window_text(controls.text, left) : "";
            out->icon = read_icon(controls.icon, left);
            return true;
        }
        if (remaining(start, timeout_ms) == 0 || has_exited(child.process))
            return false;
        Sleep(POLL_MS);
    }
}

bool windows_can_appear() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool under_wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    char display[256] = "";
    GetEnvironmentVariableA("DISPLAY", display, sizeof display);
    return !under_wine || display[0] != '\0';
}

void press_ok(const message_box &box) {
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool wait_exit(const child_process &child, DWORD timeout_ms, DWORD *exit_code) {
    if (WaitForSingleObject(child.process, timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(child.process, 1);
        WaitForSingleObject(child.process, 5000);
        return false;
    }
    GetExitCodeProcess(child.process, exit_code);
    return true;
}

void close_child(child_process *child) {
    if (child->process)
        CloseHandle(child->process);
    *child = child_process();
}

run_result run_answering(const std::string &command_line, const std::string &directory,
                         DWORD timeout_ms, const std::string &stderr_path,
                         const char *environment, bool limited) {
    run_result result;
    child_process child;
    if (!start_child(command_line, directory, &child, stderr_path, environment, limited))
        return result;
    result.started = true;
    DWORD start = GetTickCount();
    // Answered boxes stay listed: a box closes some time after OK is posted, and must not
    // be read twice meanwhile.
    std::vector<HWND> answered;
    message_box box;
    while (wait_message_box(child, remaining(start, timeout_ms), &box, answered)) {
        result.boxes.push_back(box);
        answered.push_back(box.window);
        press_ok(box);
    }
    result.timed_out = !wait_exit(child, remaining(start, timeout_ms), &result.exit_code);
    close_child(&child);
    return result;
}

DWORD run_in_console(const std::string &command_line, const std::string &directory,
                     DWORD timeout_ms, std::vector<std::string> *screen) {
    screen->clear();
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = GetStdHandle(streams[i]);
    FreeConsole();
    DWORD status = 0xDEADBEEF;
    child_process child;
    if (AllocConsole() && start_child(command_line, directory, &child)) {
        if (!wait_exit(child, timeout_ms, &status))
            status = 0xDEADBEEF;
        close_child(&child);
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (console != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(console, &info)) {
            std::vector<wchar_t> row(info.dwSize.X);
            for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
                DWORD read = 0;
                ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, {0, y}, &read);
                std::wstring line(row.data(), read);
                line.erase(line.find_last_not_of(L' ') + 1);
                screen->push_back(utf8(line));
            }
        }
        if (console != INVALID_HANDLE_VALUE)
            CloseHandle(console);
    }
    FreeConsole();
    for (int i = 0; i < 3; ++i)
        SetStdHandle(streams[i], saved[i]);
    return status;
}

std::string quote_argument(const std::string &argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count literally unless a quote follows: then each must be doubled and
        // the quote itself escaped.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');  // they precede the closing quote
    quoted += '"';
    return quoted;
}

std::string escape_line(const std::string &text) {
    std::string result;
    for (char c : text) {
        if (c == '\r')
            result += "\\r";
        else if (c == '\n')
            result += "\\n";
        else if (c == '\\')
            result += "\\\\";
        else
            result += c;
    }
    return result;
}

}  // namespace testkit
