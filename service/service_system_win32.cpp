// The service seam on Windows: the Service Control Manager's dispatcher, control handler and
// status, the event log, threads and events.
#include "service/service_system.h"

#include <windows.h>

#include <stdlib.h>

#include "base/messages.h"
#include "base/resource_ids.h"
#include "base/text.h"
#include "base/unicode.h"
#include "os/report.h"
#include "os/wide.h"

// The manager calls the service's main function with no pointer of the launcher's, so what the
// service's calls share lives here (the control handler gets the entry as its context).
static HANDLE event_source;
static SERVICE_STATUS_HANDLE status_handle;
// The last status told; an interrogation answers it again.
static SERVICE_STATUS status;
static CRITICAL_SECTION status_lock;
static const service_entry *dispatched;

void tell_service_manager(service_state state, unsigned wait_hint_ms, unsigned check_point,
                          unsigned exit_code)
{
    EnterCriticalSection(&status_lock);
    if (status.dwCurrentState != SERVICE_STOPPED) {
        status.dwCurrentState = state;
        // Stops only while running: a service that starts or stops already takes none.
        status.dwControlsAccepted = state == STATE_RUNNING ? SERVICE_ACCEPT_STOP |
                                    SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN : 0;
        status.dwWaitHint = wait_hint_ms;
        status.dwCheckPoint = check_point;
        // A failed run ends with a service-specific error, so that the manager records a
        // failure and its recovery actions can restart the service.
        status.dwWin32ExitCode = exit_code ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
        status.dwServiceSpecificExitCode = exit_code;
        SetServiceStatus(status_handle, &status);
    }
    LeaveCriticalSection(&status_lock);
}

void write_service_event(bool error, const char *text)
{
    if (!event_source)
        return;
    const wchar_t *strings[] = {to_wide(text)};
    ReportEventW(event_source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                 error ? EVENT_ID_ERROR : EVENT_ID_INFO, nullptr, 1, 0, strings, nullptr);
    free((void *)strings[0]);
}

bool open_service_event_log(const char *name)
{
    wchar_t *wide = to_wide(name);
    event_source = wide ? RegisterEventSourceW(nullptr, wide) : nullptr;
    free(wide);
    return event_source != nullptr;
}

void close_service_event_log()
{
    if (event_source)
        DeregisterEventSource(event_source);
    event_source = nullptr;
}

bool open_event_log(const char *name)
{
    bool opened = name && open_service_event_log(name);
    set_message_sink(write_service_event);
    return opened;
}

void close_event_log()
{
    close_service_event_log();
}

static DWORD WINAPI thread_start(LPVOID function)
{
    ((void (*)())function)();
    return 0;
}

bool start_service_thread(void (*function)())
{
    HANDLE thread = CreateThread(nullptr, 0, thread_start, (LPVOID)function, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

service_event *create_service_event(bool manual)
{
    return (service_event *)CreateEventA(nullptr, manual, FALSE, nullptr);
}

void signal_service_event(service_event *event)
{
    if (event)
        SetEvent((HANDLE)event);
}

bool wait_service_event(service_event *event, unsigned timeout_ms)
{
    return WaitForSingleObject((HANDLE)event, timeout_ms) == WAIT_OBJECT_0;
}

unsigned service_clock_ms()
{
    return GetTickCount();
}

static DWORD WINAPI control_handler(DWORD control, DWORD, LPVOID, LPVOID context)
{
    const service_entry *entry = (const service_entry *)context;
    if (control == SERVICE_CONTROL_STOP) {
        entry->control(entry->context, CONTROL_STOP);
    } else if (control == SERVICE_CONTROL_PRESHUTDOWN) {
        entry->control(entry->context, CONTROL_PRESHUTDOWN);
    } else if (control == SERVICE_CONTROL_SHUTDOWN) {
        entry->control(entry->context, CONTROL_SHUTDOWN);
    } else if (control == SERVICE_CONTROL_INTERROGATE) {
        // The state as it stands.
        EnterCriticalSection(&status_lock);
        SetServiceStatus(status_handle, &status);
        LeaveCriticalSection(&status_lock);
    } else {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    return NO_ERROR;
}

static void WINAPI service_main(DWORD, LPWSTR *)
{
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    wchar_t *name = to_wide(dispatched->name);
    status_handle =
        RegisterServiceCtrlHandlerExW(name, control_handler, (LPVOID)dispatched);
    free(name);
    if (!status_handle) {
        // No state can ever reach the manager, which would wait for one: end the process.
        DWORD error = GetLastError();
        open_service_event_log(dispatched->name);
        SetLastError(error);
        report_last_error();
        ExitProcess(error ? error : 1);
    }
    dispatched->main(dispatched->context);
}

void start_service_dispatcher(const service_entry *entry)
{
    InitializeCriticalSection(&status_lock);
    set_message_sink(write_service_event);
    dispatched = entry;
    wchar_t *name = to_wide(entry->name);
    SERVICE_TABLE_ENTRYW table[] = {
        {name, service_main},
        {nullptr, nullptr},
    };
    BOOL dispatched = StartServiceCtrlDispatcherW(table);
    DWORD error = GetLastError();
    free(name);
    SetLastError(error);
    if (!dispatched) {
        // Not started by the Service Control Manager. No event source exists yet, so this
        // report is recorded nowhere: starting the service switch by hand shows nothing.
        report_error_with_reason(MSG_DISPATCHER_FAILED);
    }
}

// --- The manager's records. ---

// Opens the manager with access, then the service name with access; null (last error kept)
// when either fails. *manager is closed by close_service.
static SC_HANDLE open_service(const char *name, DWORD manager_access, DWORD access,
                              SC_HANDLE *manager)
{
    *manager = OpenSCManagerW(nullptr, nullptr, manager_access);
    if (!*manager)
        return nullptr;
    wchar_t *wide = to_wide(name);
    SC_HANDLE service = OpenServiceW(*manager, wide, access);
    DWORD error = GetLastError();
    free(wide);
    if (!service)
        CloseServiceHandle(*manager);
    SetLastError(error);
    return service;
}

// Closes both handles, keeping the last error; gives ok.
static bool close_service(SC_HANDLE manager, SC_HANDLE service, bool ok)
{
    DWORD error = GetLastError();
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    SetLastError(error);
    return ok;
}

int query_service_command(const char *name, char *buffer, size_t size)
{
    SC_HANDLE manager;
    SC_HANDLE service = open_service(name, SC_MANAGER_CREATE_SERVICE, SERVICE_QUERY_CONFIG,
                                     &manager);
    if (!service)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : -1;
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    auto *config = (QUERY_SERVICE_CONFIGW *)malloc(needed ? needed : 1);
    bool read = config && QueryServiceConfigW(service, config, needed, &needed);
    char *command = read ? from_wide(config->lpBinaryPathName) : nullptr;
    free(config);
    close_service(manager, service, read);
    if (!read)
        return -1;
    fill_message(buffer, size, "%s", command ? command : "");
    free(command);
    return 1;
}

// The dependency list in UTF-16: the whole list, its NULs included; null for none.
static wchar_t *wide_list(const char *list)
{
    if (!list)
        return nullptr;
    size_t length = 0;
    while (list[length] || list[length + 1])
        length++;
    return (wchar_t *)utf8_to_utf16(list, length + 2, nullptr);
}

// Creates the record, or (update) changes the one of that name.
static bool write_service_record(const service_record *record, bool update)
{
    wchar_t *name = to_wide(record->name), *command = to_wide(record->command),
            *account = to_wide(record->account), *dependencies = wide_list(record->dependencies);
    DWORD start = record->manual_start ? SERVICE_DEMAND_START : SERVICE_AUTO_START;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE service = nullptr;
    bool ok = false;
    if (manager && update) {
        service = OpenServiceW(manager, name, SERVICE_CHANGE_CONFIG);
        // An empty dependency list (not null) removes the dependencies the record had.
        ok = service && ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, start,
                                             SERVICE_ERROR_NORMAL, command, nullptr, nullptr,
                                             dependencies ? dependencies : L"", account,
                                             nullptr, name);
    } else if (manager) {
        service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_NORMAL,
                                 command, nullptr, nullptr, dependencies, account, nullptr);
        ok = service != nullptr;
    }
    DWORD error = GetLastError();
    if (manager)
        close_service(manager, service, ok);
    free(name);
    free(command);
    free(account);
    free(dependencies);
    SetLastError(error);
    return ok;
}

bool create_service_record(const service_record *record)
{
    return write_service_record(record, false);
}

bool update_service_record(const service_record *record)
{
    return write_service_record(record, true);
}

// ChangeServiceConfig2W of the service name with level and info.
static bool change_config2(const char *name, DWORD level, void *info)
{
    SC_HANDLE manager;
    SC_HANDLE service = open_service(name, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG |
                                     SERVICE_START, &manager);
    if (!service)
        return false;
    return close_service(manager, service, ChangeServiceConfig2W(service, level, info));
}

bool set_service_description(const char *name, const char *text)
{
    // Through the manager, which keeps the description as it can read it back when it loads
    // the services at the next start of the system.
    SERVICE_DESCRIPTIONW description = {to_wide(text)};
    bool ok = change_config2(name, SERVICE_CONFIG_DESCRIPTION, &description);
    DWORD error = GetLastError();
    free(description.lpDescription);
    SetLastError(error);
    return ok;
}

bool set_service_restarts(const char *name, unsigned delay_ms)
{
    // The manager repeats the last action once the three are used, and counts failures from
    // zero again after a day (86400 s) without one.
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, delay_ms}, {SC_ACTION_RESTART, delay_ms},
                            {SC_ACTION_RESTART, delay_ms}};
    SERVICE_FAILURE_ACTIONSW failure = {86400, nullptr, nullptr, 3, actions};
    // Failed runs end with a service-specific error, not a crash: without the flag the manager
    // applies the actions only to crashes.
    SERVICE_FAILURE_ACTIONS_FLAG non_crash = {TRUE};
    return change_config2(name, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
           change_config2(name, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &non_crash);
}

bool set_service_delayed_start(const char *name, bool delayed)
{
    SERVICE_DELAYED_AUTO_START_INFO info = {delayed};
    return change_config2(name, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
}

bool set_service_preshutdown_timeout(const char *name, unsigned timeout_ms)
{
    SERVICE_PRESHUTDOWN_INFO info = {timeout_ms};
    return change_config2(name, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
}

bool delete_service_record(const char *name)
{
    SC_HANDLE manager;
    // 0x10000 = DELETE
    SC_HANDLE service = open_service(name, SC_MANAGER_CONNECT, 0x10000, &manager);
    if (!service)
        return false;
    return close_service(manager, service, DeleteService(service));
}

bool query_service_status(const char *name, service_status *answer)
{
    SC_HANDLE manager;
    SC_HANDLE service = open_service(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, &manager);
    if (!service)
        return false;
    SERVICE_STATUS s;
    bool ok = QueryServiceStatus(service, &s);
    answer->state = (service_state)s.dwCurrentState;
    answer->exit_code = s.dwWin32ExitCode;
    answer->specific_exit_code = s.dwServiceSpecificExitCode;
    return close_service(manager, service, ok);
}

bool request_service_start(const char *name)
{
    SC_HANDLE manager;
    SC_HANDLE service = open_service(name, SC_MANAGER_CONNECT, SERVICE_START, &manager);
    if (!service)
        return false;
    return close_service(manager, service, StartServiceW(service, 0, nullptr));
}

bool request_service_stop(const char *name)
{
    SC_HANDLE manager;
    SC_HANDLE service = open_service(name, SC_MANAGER_CONNECT, SERVICE_STOP, &manager);
    if (!service)
        return false;
    SERVICE_STATUS s;
    return close_service(manager, service, ControlService(service, SERVICE_CONTROL_STOP, &s));
}

void pause_for_service(unsigned ms)
{
    Sleep(ms);
}

bool remove_event_source(const char *key)
{
    wchar_t *wide = to_wide(key);
    LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, wide);
    free(wide);
    SetLastError((DWORD)status);
    return status == ERROR_SUCCESS;
}
