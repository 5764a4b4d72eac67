// The service switches: installing and removing the service. Portable: the manager through the
// service seam, the event-log source through the system seam's registry.
#include "service/service.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"
#include "service/dependency_list.h"
#include "service/service_lifecycle.h"
#include "service/service_system.h"

static const char *const EVENT_LOG_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

enum {
    // The system's codes: an account the manager does not know, a service that did not answer
    // a request in time, one that runs already, a service name taken, a run that ended with its own code, a service
    // that has not run since the system started.
    ERROR_INVALID_SERVICE_ACCOUNT_CODE = 1057,
    ERROR_SERVICE_REQUEST_TIMEOUT_CODE = 1053,
    ERROR_SERVICE_ALREADY_RUNNING_CODE = 1056,
    ERROR_SERVICE_EXISTS_CODE = 1073,
    ERROR_SERVICE_SPECIFIC_ERROR_CODE = 1066,
    ERROR_SERVICE_NEVER_STARTED_CODE = 1077,
    ERROR_SERVICE_DOES_NOT_EXIST_CODE = 1060,
    // How often a waiting switch asks the manager again, and how long -start waits for a
    // service that is still starting.
    POLL_MS = 250,
    START_TIMEOUT_MS = 120000,
    // The longest delay a restart can be given, in whole seconds.
    MAX_RESTART_SECONDS = 4294967,
};

unsigned restart_delay_ms(int seconds)
{
    if (seconds <= 0)
        return 0;
    return seconds < MAX_RESTART_SECONDS ? (unsigned)seconds * 1000 : MAX_RESTART_SECONDS * 1000u;
}

// Reports the last error, keeping it for the status the process ends with; gives -1. A
// service that is not there is named, with the switch that installs it.
static int report_failure(const launcher_settings *settings = nullptr, const char *name = nullptr)
{
    unsigned error = last_error();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST_CODE && settings) {
        char *first = join_text("The ", name, MSG_SERVICE_NOT_INSTALLED);
        char *text = join_text(first, settings->install_switch, ".");
        report_error("%s", text);
        free(text);
        free(first);
    } else {
        report_last_error();
    }
    set_last_error(error);
    return -1;
}

// The account the service runs as: null for LocalSystem (an empty service_account), else a
// heap text. False, with the system's "invalid service account" as the last error, for a text
// that names none of the accounts below (the builder lets none through). These accounts have
// no password.
static bool service_account(const launcher_settings &settings, const char *name, char **account)
{
    const char *setting = settings.service_account;
    *account = nullptr;
    if (strcmp(setting, "LocalService") == 0 || strcmp(setting, "NetworkService") == 0)
        *account = join_text("NT AUTHORITY\\", setting);
    else if (strcmp(setting, "virtual") == 0)
        *account = join_text("NT SERVICE\\", name);
    else if (setting[0]) {
        set_last_error(ERROR_INVALID_SERVICE_ACCOUNT_CODE);
        return false;
    }
    return true;
}

// Recovery and the delayed start: a manager that does not take them (Windows before Vista has
// neither the failure-actions flag nor the delayed start; Wine keeps neither) leaves the
// service installed and working without them. That is not a failed install, but it is said.
// An update (update) also takes away what the settings no longer ask for.
static void apply_optional_config(const launcher_settings &settings, const char *name,
                                  bool update)
{
    // What is taken away goes without a word where the manager refuses: it keeps none then.
    unsigned delay = restart_delay_ms(settings.restart_seconds);
    if (delay ? !set_service_restarts(name, delay) : update && !set_service_restarts(name, 0)) {
        if (delay)
            report_error_with_reason(MSG_SETTING_NOT_APPLIED, "restart_seconds");
    }
    // A delayed start means something only to a service that starts automatically.
    bool delayed = settings.delayed_start && !settings.manual_start;
    if ((delayed || update) && !set_service_delayed_start(name, delayed) && delayed)
        report_error_with_reason(MSG_SETTING_NOT_APPLIED, "delayed_start");
    // A shutdown of the system gives the application the time a stop has.
    unsigned stop_ms = stop_timeout_ms(settings.stop_timeout_seconds) + STOP_WAIT_MARGIN_MS;
    if (!set_service_preshutdown_timeout(name, stop_ms))
        report_error_with_reason(MSG_SETTING_NOT_APPLIED, "stop_timeout_seconds");
}

// Registers the event-log source name for the launcher at path. A key that this registration
// made goes again when its values could not be written: a failed install leaves no empty
// source behind (one that was there before is kept).
static bool register_event_source(const char *name, const char *path)
{
    char *event_key = join_text(EVENT_LOG_KEY, name);
    registry_key *existing = open_registry_key(REGISTRY_MACHINE, event_key);
    if (existing)
        close_registry_key(existing);
    bool made = create_registry_key(event_key);
    bool ok = made && set_registry_expand_string(event_key, "EventMessageFile", path) &&
              set_registry_dword(event_key, "TypesSupported", 7);
    if (made && !ok && !existing) {
        unsigned error = last_error();
        remove_event_source(event_key);
        set_last_error(error);
    }
    free(event_key);
    return ok;
}

// The command line the manager starts the launcher at path with: "path" switch, built to fit
// however long the parts are. A heap text.
static char *service_command(const launcher_settings &settings, const char *path)
{
    char *quoted = join_text("\"", path, "\" ");
    char *command = join_text(quoted, settings.service_switch);
    free(quoted);
    return command;
}

// Reports the failure of an install; a record that the install created is removed again,
// so that a failed install leaves no service behind.
static int fail_install(const char *name, bool created)
{
    int failed = report_failure();
    unsigned error = last_error();
    if (created)
        delete_service_record(name);
    set_last_error(error);
    return failed;
}

// Writes the record of the service name (a new one, or with update the existing one) with
// description and the service settings, and registers its event-log source.
static int write_service(const launcher_settings &settings, const char *name,
                         const char *description, bool update)
{
    char *path = executable_path(), *account;
    if (!path || !service_account(settings, name, &account)) {
        free(path);
        return report_failure();
    }
    char *command = service_command(settings, path);
    char *dependencies = dependency_list(settings.service_dependencies);
    service_record record = {name, command, settings.manual_start != 0, dependencies, account};
    // An update writes the description even when empty: that removes the one it had.
    bool created = !update && create_service_record(&record);
    bool ok = (update ? update_service_record(&record) : created) &&
              (!description || (!description[0] && !update) ||
               set_service_description(name, description));
    free(command);
    free(dependencies);
    free(account);
    if (!ok) {
        free(path);
        return fail_install(name, created);
    }
    apply_optional_config(settings, name, update);
    ok = register_event_source(name, path);
    free(path);
    return ok ? 0 : fail_install(name, created);
}

int install_service(const launcher_settings &settings, const char *name,
                    const char *description)
{
    return write_service(settings, name, description, false);
}

// 1 when the installed service name runs this launcher with the service switch, 2 when it
// runs something else, 0 when there is no such service, -1 when the manager gives no answer.
static int installed_from_here(const launcher_settings &settings, const char *name)
{
    // Room for this launcher's command and a byte more: a longer one, cut, differs from it.
    char *path = executable_path();
    char *command = path ? service_command(settings, path) : nullptr;
    size_t size = command ? strlen(command) + 2 : 1;
    char *installed = (char *)must_alloc(size);
    int found = query_service_command(name, installed, size);
    // Windows compares paths without regard to case.
    if (found == 1)
        found = !command ? -1 : strcasecmp(command, installed) == 0 ? 1 : 2;
    free(installed);
    free(command);
    free(path);
    return found;
}

// Waits while the service name is in state (until, with until: until it is), at most
// timeout_ms, asking the manager every POLL_MS; *status is its status then. False (last error
// set) when the manager gives no answer.
static bool wait_while(const char *name, service_state state, unsigned timeout_ms,
                       service_status *status, bool until = false)
{
    unsigned began = service_clock_ms();
    for (;;) {
        if (!query_service_status(name, status))
            return false;
        if ((status->state == state) == until || service_clock_ms() - began >= timeout_ms)
            return true;
        pause_for_service(POLL_MS);
    }
}

// Stops the service name when it runs and waits until it has stopped (within the stop
// time-out and the margin of its wait hint); *status is its status then. False (last error
// set) when the manager gives no answer or refuses.
static bool stop_and_wait(const launcher_settings &settings, const char *name,
                          service_status *status)
{
    if (!query_service_status(name, status))
        return false;
    if (status->state == STATE_STOPPED)
        return true;
    if (status->state != STATE_STOP_PENDING && !request_service_stop(name))
        return false;
    unsigned timeout = stop_timeout_ms(settings.stop_timeout_seconds) + STOP_WAIT_MARGIN_MS;
    return wait_while(name, STATE_STOPPED, timeout, status, true);
}

// Removes the event-log source name when this launcher registered it: 1 when it was removed,
// 0 when there is no source of this launcher's, -1 (last error set) when it could not be
// removed, or its owner not told because this launcher's own path could not be read.
static int remove_own_event_source(const char *name)
{
    char *path = executable_path();
    char *event_key = join_text(EVENT_LOG_KEY, name);
    // Room for this launcher's path and a byte more: a longer one, not read, is not it; when
    // the path cannot be read, room for any path the registry holds.
    size_t size = path ? strlen(path) + 2 : 3 * 32768;
    char *registered = (char *)must_alloc(size);
    int removed = 0;
    if (query_registry_text(REGISTRY_MACHINE, event_key, "EventMessageFile", registered, size) ==
        0) {
        if (!path)
            removed = -1;
        else if (strcasecmp(path, registered) == 0)
            removed = remove_event_source(event_key) ? 1 : -1;
    }
    free(registered);
    free(event_key);
    free(path);
    return removed;
}

int uninstall_service(const launcher_settings &settings, const char *name)
{
    // Another program's service of that name is left alone, as an install leaves it.
    int found = installed_from_here(settings, name);
    if (found == 2) {
        report_error(MSG_SERVICE_NOT_OURS, name);
        set_last_error(ERROR_SERVICE_EXISTS_CODE);
        return -1;
    }
    if (found == 0) {
        // A removal that deleted the record but not its event-log source: this one finishes
        // it. Without a source of this launcher's, the service is not installed.
        int source = remove_own_event_source(name);
        if (source != 0)
            return source > 0 ? 0 : report_failure();
        set_last_error(ERROR_SERVICE_DOES_NOT_EXIST_CODE);
    }
    service_status status;
    if (found != 1 || !stop_and_wait(settings, name, &status))
        return report_failure(&settings, name);
    if (status.state != STATE_STOPPED) {
        report_error(MSG_SERVICE_NOT_STOPPED, name);
        set_last_error(ERROR_SERVICE_REQUEST_TIMEOUT_CODE);
        return -1;
    }
    // The record goes first: a source that cannot be removed after it is no more than a
    // registry key naming this launcher, which the next removal takes away. The other order
    // could leave an installed service whose event-log records have lost their texts.
    if (!delete_service_record(name) || remove_own_event_source(name) < 0)
        return report_failure();
    return 0;
}

// The exit code a stopped service's last run ended with: its own when it gave one; 0 for a
// service that has not run since the system started.
static unsigned last_exit_code(const service_status &status)
{
    if (status.exit_code == ERROR_SERVICE_NEVER_STARTED_CODE)
        return 0;
    return status.exit_code == ERROR_SERVICE_SPECIFIC_ERROR_CODE ? status.specific_exit_code
                                                                 : status.exit_code;
}

// Reports the state of the service name; error for a report that is a failure, with where
// the run recorded why.
static void report_state(const char *name, const service_status &status, bool error,
                         bool where = false)
{
    char number[12];
    char *text = status.state == STATE_RUNNING        ? must_copy(MSG_SERVICE_RUNNING)
                 : status.state == STATE_START_PENDING ? must_copy(MSG_SERVICE_STARTING)
                 : status.state == STATE_STOP_PENDING  ? must_copy(MSG_SERVICE_STOPPING)
                 : status.exit_code == ERROR_SERVICE_NEVER_STARTED_CODE
                     ? must_copy(MSG_SERVICE_NOT_RUN)
                     : join_text(MSG_SERVICE_STOPPED,
                                 decimal_text((int)last_exit_code(status), number), ".");
    if (where) {
        char *longer = join_text(text, MSG_SERVICE_REASON_RECORDED);
        free(text);
        text = longer;
    }
    (error ? report_error : report_info)(text, name);
    free(text);
}

// The -status switch: 0 running, 2 starting or stopping, 3 stopped.
static int show_status(const launcher_settings &settings, const char *name)
{
    service_status status;
    if (!query_service_status(name, &status)) {
        report_failure(&settings, name);
        return -1;
    }
    report_state(name, status, false);
    return status.state == STATE_RUNNING ? 0 : status.state == STATE_STOPPED ? 3 : 2;
}

// The -start switch: 0 once the service runs, or when its run has already ended cleanly (a
// quick job); a service that stopped with a failure gives the exit code of its run, and the
// answer says where the reason was recorded.
static int start_and_wait(const launcher_settings &settings, const char *name)
{
    // What the run will need and -start can see: a folder for its output files that cannot
    // be made stops it here, said where the user looks.
    if (!ready_service_output_folders(settings))
        return -1;
    service_status status;
    // A service that runs already is what -start asks for. A run that failed at once may be
    // answered with a request time-out (the manager saw the service stop before it heard it
    // run): the stopped state then says how the run ended.
    if (!request_service_start(name)) {
        unsigned error = last_error();
        bool ended = error == ERROR_SERVICE_REQUEST_TIMEOUT_CODE &&
                     query_service_status(name, &status) && status.state == STATE_STOPPED &&
                     status.exit_code == ERROR_SERVICE_SPECIFIC_ERROR_CODE;
        if (error != ERROR_SERVICE_ALREADY_RUNNING_CODE && !ended) {
            set_last_error(error);
            report_failure(&settings, name);
            return -1;
        }
    }
    if (!wait_while(name, STATE_START_PENDING, START_TIMEOUT_MS, &status)) {
        report_failure(&settings, name);
        return -1;
    }
    bool stopped = status.state == STATE_STOPPED;
    unsigned code = last_exit_code(status);
    if (stopped && code == 0 && status.exit_code != ERROR_SERVICE_NEVER_STARTED_CODE) {
        report_info(MSG_SERVICE_ENDED_CLEANLY, name);
        return 0;
    }
    bool running = status.state == STATE_RUNNING;
    report_state(name, status, !running, stopped);
    if (running)
        return 0;
    set_last_error(stopped ? (code ? code : 1) : (unsigned)ERROR_SERVICE_REQUEST_TIMEOUT_CODE);
    return -1;
}

// The -stop switch: 0 once the service stopped cleanly (or was not running); a run that
// ended with a failure gives its exit code, a stop that did not end in time 1053.
static int stop_switch(const launcher_settings &settings, const char *name)
{
    service_status status;
    if (!stop_and_wait(settings, name, &status)) {
        report_failure(&settings, name);
        return -1;
    }
    bool stopped = status.state == STATE_STOPPED;
    unsigned code = stopped ? last_exit_code(status) : (unsigned)ERROR_SERVICE_REQUEST_TIMEOUT_CODE;
    report_state(name, status, code != 0);
    set_last_error(code);
    return code ? -1 : 0;
}

// The status a handled switch ends the process with: 0, or the error that made it fail.
static int failure_status()
{
    unsigned error = last_error();
    return error ? (int)error : 1;
}

// True when argument is the switch (a switch name that is empty, as in launchers built before
// it existed, matches nothing).
static bool is_switch(const char *argument, const char *name)
{
    return name[0] && strcmp(argument, name) == 0;
}

// The -install switch: a new service, or an update of the one this launcher installed before.
static int install_switch(const launcher_settings &settings, const char *name)
{
    switch (installed_from_here(settings, name)) {
    case 1:
        // Installing again on purpose (upgrade scripts install every time): brought up to date.
        if (write_service(settings, name, settings.service_description, true) != 0)
            return -1;
        report_info(MSG_SERVICE_UPDATED, name);
        return 0;
    case 2:
        // Another program's service of that name: left alone.
        report_error(settings.msg_already_installed, name);
        set_last_error(ERROR_SERVICE_EXISTS_CODE);
        return -1;
    case 0:
        if (install_service(settings, name, settings.service_description) != 0)
            return -1;
        report_info(settings.msg_installed, name);
        return 0;
    default:
        // The manager gave no answer (no right to create services, for one): say why.
        report_failure();
        return -1;
    }
}

bool dispatch_service_switch(const launcher_settings &settings, int count, char **vector,
                             int *exit_status)
{
    if (count != 2 || !settings.service_name[0])
        return false;
    const char *argument = vector[1];
    const char *name = settings.service_name;
    int status;
    if (is_switch(argument, settings.install_switch)) {
        status = install_switch(settings, name);
    } else if (is_switch(argument, settings.uninstall_switch)) {
        status = uninstall_service(settings, name);
        if (status == 0)
            report_info(settings.msg_uninstalled, name);
    } else if (is_switch(argument, settings.start_switch)) {
        status = start_and_wait(settings, name);
    } else if (is_switch(argument, settings.stop_switch)) {
        status = stop_switch(settings, name);
    } else if (is_switch(argument, settings.status_switch)) {
        *exit_status = show_status(settings, name);
        if (*exit_status < 0)
            *exit_status = failure_status();
        return true;
    } else {
        return false;
    }
    *exit_status = status == 0 ? 0 : failure_status();
    return true;
}
