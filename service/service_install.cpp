// The service switches: installing and removing the service. Portable: the manager through the
// service seam, the event-log source through the system seam's registry.
#include "service/service.h"

#include <stdlib.h>
#include <string.h>

#include "base/messages.h"
#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"
#include "service/dependency_list.h"
#include "service/service_system.h"

static const char *const EVENT_LOG_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

enum {
    // The system's codes for an account the manager does not know and a missing service.
    ERROR_INVALID_SERVICE_ACCOUNT_CODE = 1057,
    // The longest delay a restart can be given, in whole seconds.
    MAX_RESTART_SECONDS = 4294967,
};

unsigned restart_delay_ms(int seconds)
{
    if (seconds <= 0)
        return 0;
    return seconds < MAX_RESTART_SECONDS ? (unsigned)seconds * 1000 : MAX_RESTART_SECONDS * 1000u;
}

// Reports the last error, keeping it for the status the process ends with; gives -1.
static int report_failure()
{
    unsigned error = last_error();
    report_last_error();
    set_last_error(error);
    return -1;
}

int service_exists(const char *name)
{
    char command[8];
    return query_service_command(name, command, sizeof command);
}

// The account the service runs as: null for LocalSystem (an empty service_account), else a
// heap text. False, with the system's "invalid service account" as the last error, for a text
// that names none of the accounts below (the builder lets none through). These accounts have
// no password.
static bool service_account(const char *name, char **account)
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
static void apply_optional_config(const char *name)
{
    unsigned delay = restart_delay_ms(settings.restart_seconds);
    if (delay && !set_service_restarts(name, delay))
        report_error_with_reason(MSG_SETTING_NOT_APPLIED, "restart_seconds");
    // A delayed start means something only to a service that starts automatically.
    if (settings.delayed_start && !settings.manual_start &&
        !set_service_delayed_start(name, true))
        report_error_with_reason(MSG_SETTING_NOT_APPLIED, "delayed_start");
}

// Registers the event-log source name for the launcher at path.
static bool register_event_source(const char *name, const char *path)
{
    char *event_key = join_text(EVENT_LOG_KEY, name);
    bool ok = create_registry_key(event_key) &&
              set_registry_expand_string(event_key, "EventMessageFile", path) &&
              set_registry_dword(event_key, "TypesSupported", 7);
    free(event_key);
    return ok;
}

int install_service(const char *name, const char *description)
{
    char path[PATH_SIZE];
    char *account;
    if (!executable_path(path, sizeof path) || !service_account(name, &account))
        return report_failure();
    // "path" switch, built to fit, however long the parts are.
    char *quoted = join_text("\"", path, "\" ");
    char *command = join_text(quoted, settings.service_switch);
    free(quoted);
    char *dependencies = dependency_list(settings.service_dependencies);
    service_record record = {name, command, settings.manual_start != 0, dependencies, account};
    bool ok = create_service_record(&record) &&
              (!description || !description[0] || set_service_description(name, description));
    free(command);
    free(dependencies);
    free(account);
    if (!ok)
        return report_failure();
    apply_optional_config(name);
    return register_event_source(name, path) ? 0 : report_failure();
}

int uninstall_service(const char *name)
{
    return delete_service_record(name) ? 0 : report_failure();
}

// The status a handled switch ends the process with: 0, or the error that made it fail.
static int failure_status()
{
    unsigned error = last_error();
    return error ? (int)error : 1;
}

bool dispatch_service_switch(int count, char **vector, int *exit_status)
{
    if (count != 2)
        return false;
    const char *argument = vector[1];
    const char *name = settings.service_name;
    *exit_status = 0;
    if (strcmp(argument, settings.install_switch) == 0) {
        switch (service_exists(name)) {
        case 1:
            // Installing again is not a failure: upgrade scripts run the install each time.
            report_error(settings.msg_already_installed, name);
            break;
        case 0:
            if (install_service(name, settings.service_description) == 0)
                report_info(settings.msg_installed, name);
            else
                *exit_status = failure_status();
            break;
        default:
            // The manager gave no answer (no right to create services, for one): say why.
            report_failure();
            *exit_status = failure_status();
            break;
        }
        return true;
    }
    if (strcmp(argument, settings.uninstall_switch) == 0) {
        if (uninstall_service(name) == 0)
            report_info(settings.msg_uninstalled, name);
        else
            *exit_status = failure_status();
        return true;
    }
    if (strcmp(argument, settings.service_switch) == 0) {
        run_as_service();
        return true;
    }
    return false;
}
