// Windows-side test kit: starts a program under test, reads the message boxes it shows
// (caption, full text, which system icon) and answers them, and reports its exact exit code.
// Used by the win32 tests and by trevalo-run.exe; never part of the shipped stub.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testkit {

// Texts are UTF-8 throughout the kit; these convert at its Windows calls.
std::wstring wide(const std::string &text);
std::string utf8(const std::wstring &text);

struct child_process {
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// Starts command_line with CreateProcessW in directory (empty = the current directory).
// When stderr_path is not empty the child's standard output and standard error both go to
// that file, created afresh. environment: null = inherit ours, otherwise a Windows
// environment block ("A=1\0B=2\0\0", see environment_with). On failure returns false and
// leaves *out empty. The caller owns out->process and releases it with close_child. Every text
// is UTF-8, the environment block too. limited: the child runs with this account's limited
// token, as the account's unelevated programs do, when this process runs elevated (Wine runs
// every program elevated); false runs it elevated, where a launcher trusts only private
// folders.
// This process's limited twin token, when it runs elevated (the caller closes it); null
// otherwise.
HANDLE limited_token();

// suspended_thread (may be null): the child is made suspended, its main thread's handle
// returned there for the caller to resume and close.
bool start_child(const std::string &command_line, const std::string &directory,
                 child_process *out, const std::string &stderr_path = "",
                 const char *environment = nullptr, bool limited = true,
                 HANDLE *suspended_thread = nullptr);

// Our own environment as a UTF-8 environment block, with each "NAME=value" of assignments
// replacing a variable of the same name (compared without regard to case) or added.
// "NAME=" sets an empty value; pass data() to start_child.
std::string environment_with(const std::vector<std::string> &assignments);

struct message_box {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    // "error", "information", "warning", "question", "none" (no visible icon) or "other"
    // (an icon that looks like none of the four system icons).
    std::string icon;
};

// Waits up to timeout_ms for a visible top-level dialog (class "#32770") of the child's
// process and reads it. Boxes listed in ignore (already answered, possibly still closing)
// are skipped. Returns false on timeout or when the child exits first.
bool wait_message_box(const child_process &child, DWORD timeout_ms, message_box *out,
                      const std::vector<HWND> &ignore = {});

// False when running under Wine with no X display (DISPLAY unset or empty): Wine then shows no
// window at all and MessageBoxA returns at once, so a test expecting no box would pass
// without having checked anything. True on Windows.
bool windows_can_appear();

// Posts WM_COMMAND IDOK to the box: closes MB_OK boxes (and any box whose OK button exists).
void press_ok(const message_box &box);

// Waits up to timeout_ms for the child to exit and stores its exact 32-bit exit code.
// On timeout terminates the child (exit code 1) and returns false; *exit_code is then unset.
bool wait_exit(const child_process &child, DWORD timeout_ms, DWORD *exit_code);

// Closes the process handle (the child, if still running, keeps running) and empties *child.
void close_child(child_process *child);

struct run_result {
    bool started = false;  // false: CreateProcessA failed, nothing else is meaningful
    DWORD exit_code = 0;
    bool timed_out = false;  // the child was terminated after timeout_ms
    std::vector<message_box> boxes;  // in the order shown; every one was answered with OK
};

// Starts the child (limited: as start_child), records and answers (OK) every message box it
// shows, until it exits or timeout_ms passes.
run_result run_answering(const std::string &command_line, const std::string &directory,
                         DWORD timeout_ms, const std::string &stderr_path = "",
                         const char *environment = nullptr, bool limited = true);

// Runs command_line in directory on a new console of this process's own, which the child
// shares (its standard streams are that console), waits up to timeout_ms for it to end and
// reads what the console's screen then shows: a line per row up to the cursor's, each without
// its trailing blanks. Returns the exit status, or 0xDEADBEEF when it could not be started or
// did not end in time.
DWORD run_in_console(const std::string &command_line, const std::string &directory,
                     DWORD timeout_ms, std::vector<std::string> *screen);

// Quotes one argument so that the Microsoft C runtime rules give it back unchanged: as is
// when it holds no space, tab or quote and is not empty, else in quotes with backslashes
// before quotes doubled.
std::string quote_argument(const std::string &argument);

// "\r", "\n" and "\" written as \r, \n and \\ so that a text fits on one line.
std::string escape_line(const std::string &text);

}  // namespace testkit
