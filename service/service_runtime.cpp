// Running as a Windows service: the dispatcher, the service's main function, the control
// handler, and the worker, stop and time-out threads.
#include "service/service.h"

#include <windows.h>

#include <stdlib.h>

#include <atomic>

#include "base/command_line.h"
#include "base/messages.h"
#include "base/resource_ids.h"
#include "config/settings.h"
#include "java/main_class.h"
#include "java/run.h"
#include "java/stopper.h"
#include "java/vm_hooks.h"
#include "os/report.h"
#include "os/wide.h"

static HANDLE event_source;
// The settings the service runs with and its virtual machine, which the stop thread attaches
// to: the service manager calls the service's functions with no pointer of the launcher's.
static const launcher_settings *service_settings;
static jvm_record service_jvm;

enum {
    STOP_WAIT_HINT_MS = 40000,
    STOP_TIMEOUT_MS = 30000,
};

static SERVICE_STATUS_HANDLE status_handle;
static SERVICE_STATUS status;
// Signalled by the worker, the time-out thread, a failed thread start and the hooks; the
// service's main function waits on it.
static std::atomic<HANDLE> service_done_event;
// Set while the run (and a stop call) has not failed; read by the hooks.
static std::atomic<bool> service_success;
// The service-specific exit code of a failed run: the status the application gave
// System.exit, or APPLICATION_FAILED.
static std::atomic<int> failure_code{APPLICATION_FAILED};
// Set last by the service's main function, once the stopped state is reported; the hooks
// wait for it before they end the process.
static std::atomic<bool> service_finished;

static void write_event(bool error, const char *text)
{
    if (!event_source)
        return;
    const wchar_t *strings[] = {to_wide(text)};
    ReportEventW(event_source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                 error ? EVENT_ID_ERROR : EVENT_ID_INFO, nullptr, 1, 0, strings, nullptr);
    free((void *)strings[0]);
}

bool open_event_log(const char *name)
{
    wchar_t *wide = to_wide(name);
    event_source = wide ? RegisterEventSourceW(nullptr, wide) : nullptr;
    free(wide);
    set_message_sink(write_event);
    return event_source != nullptr;
}

void close_event_log()
{
    if (event_source)
        DeregisterEventSource(event_source);
    event_source = nullptr;
}

static void signal_done()
{
    HANDLE event = service_done_event;
    if (event)
        SetEvent(event);
}

static void report_status(DWORD state, DWORD wait_hint)
{
    status.dwCurrentState = state;
    status.dwWaitHint = wait_hint;
    SetServiceStatus(status_handle, &status);
}

static void record_main_outcome(bool ok)
{
    service_success = ok;
}

static DWORD WINAPI service_worker_thread(LPVOID)
{
    int count;
    char **vector;
    const launcher_settings &settings = *service_settings;
    split_command_line(settings.service_args, &count, &vector, false);
    service_success = true;
    service_success =
        run_application(settings, count, vector, true, &service_jvm, record_main_outcome);
    signal_done();
    return 0;
}

static DWORD WINAPI service_stop_thread(LPVOID)
{
    const launcher_settings &settings = *service_settings;
    if (settings.stop_with_exit) {
        service_success = stop_java_application(settings, service_jvm);
    } else {
        int count;
        char **vector;
        split_command_line(settings.stop_args, &count, &vector, false);
        service_success = run_main_class(settings, service_jvm, count, vector, true);
    }
    return 0;
}

static DWORD WINAPI service_stop_timeout_thread(LPVOID)
{
    Sleep(STOP_TIMEOUT_MS);
    report_error(service_settings->msg_stop_timeout, service_settings->service_name);
    signal_done();
    return 0;
}

// Starts a thread nobody waits for; false (last error set) when it cannot be created.
static bool start_thread(LPTHREAD_START_ROUTINE function)
{
    HANDLE thread = CreateThread(nullptr, 0, function, nullptr, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

static void WINAPI service_control_handler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN) {
        // Interrogate and the rest: the state as it stands.
        SetServiceStatus(status_handle, &status);
        return;
    }
    report_status(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS);
    if (!start_thread(service_stop_thread))
        report_last_error();
    if (!start_thread(service_stop_timeout_thread)) {
        report_last_error();
        signal_done();
    }
}

// The stopped state: a clean stop reports exit code 0; a failed application reports a
// service-specific error, so that the Service Control Manager records a failure and its
// recovery actions can restart the service.
static void report_stopped(bool success)
{
    status.dwWin32ExitCode = success ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = success ? 0 : (DWORD)failure_code;
    report_status(SERVICE_STOPPED, 0);
}

static void WINAPI service_entry(DWORD, LPWSTR *)
{
    const launcher_settings &settings = *service_settings;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    wchar_t *name = to_wide(settings.service_name);
    status_handle = RegisterServiceCtrlHandlerW(name, service_control_handler);
    free(name);
    bool recorded = open_event_log(settings.service_name);
    if (!status_handle) {
        // No state can ever reach the manager, which would wait for one: end the process.
        report_last_error();
        ExitProcess(GetLastError() ? GetLastError() : 1);
    }
    if (!recorded) {
        // Nothing could be recorded: stop at once rather than run unheard.
        report_stopped(false);
        service_finished = true;
        return;
    }
    report_info(settings.msg_started, settings.service_name);
    report_status(SERVICE_RUNNING, 0);

    service_done_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!service_done_event) {
        report_error_with_reason(MSG_DONE_EVENT_FAILED);
    } else if (!start_thread(service_worker_thread)) {
        report_error_with_reason(MSG_WORKER_THREAD_FAILED);
    } else {
        WaitForSingleObject(service_done_event, INFINITE);
    }
    if (service_done_event) {
        HANDLE event = service_done_event;
        service_done_event = nullptr;
        CloseHandle(event);
    }

    bool success = service_success;
    if (success)
        report_info(settings.msg_stopped, settings.service_name);
    else
        report_error(settings.msg_failed, settings.service_name);
    report_stopped(success);
    close_event_log();
    service_finished = true;
}

// The application end hook of a service run: when the run succeeded so far, records how it
// ended, wakes the service's main function and waits until it has reported the stopped state.
static void complete_service_handshake(int failure)
{
    if (!service_success)
        return;
    if (failure) {
        failure_code = failure;
        service_success = false;
    }
    signal_done();
    while (!service_finished)
        Sleep(100);
}

void start_service_dispatcher(const launcher_settings &settings)
{
    service_settings = &settings;
    set_message_sink(write_event);
    set_application_end_hook(complete_service_handshake);
    wchar_t *name = to_wide(settings.service_name);
    SERVICE_TABLE_ENTRYW table[] = {
        {name, service_entry},
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
