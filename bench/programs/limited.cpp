// Benchmark helper: runs the rest of its command line as the account's unelevated programs run
// (Wine runs every program elevated, and an elevated launcher unpacks into a private folder
// rather than the user's temporary one), its standard streams passed through, and ends with
// its exit status.
#include <windows.h>

#include <wchar.h>

int main()
{
    // The rest of the command line after the program's own name, quoted or not.
    wchar_t *line = GetCommandLineW();
    bool quoted = *line == L'"';
    for (line += quoted; *line && (quoted ? *line != L'"' : *line != L' '); line++)
        ;
    for (line += *line == L'"'; *line == L' '; line++)
        ;
    HANDLE token = nullptr, limited = nullptr;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size))
        limited = linked.LinkedToken;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE *handles[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    for (int i = 0; i < 3; i++) {
        *handles[i] = GetStdHandle(streams[i]);
        SetHandleInformation(*handles[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process;
    BOOL started = limited ? CreateProcessAsUserW(limited, nullptr, line, nullptr, nullptr, TRUE,
                                                  0, nullptr, nullptr, &startup, &process)
                           : CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &startup, &process);
    if (!started)
        return 255;
    DWORD status = 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    return (int)status;
}
