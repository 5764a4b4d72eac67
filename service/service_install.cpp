// The service switches: installing and removing the service.
#include "service/service.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "base/messages.h"
#include "base/text.h"
#include "base/unicode.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"
#include "os/wide.h"
#include "service/dependency_list.h"

static const char *const EVENT_LOG_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Opens the service name of manager with access, keeping the last error.
static SC_HANDLE open_service(SC_HANDLE manager, const char *name, DWORD access)
{
    wchar_t *wide = to_wide(name);
    SC_HANDLE service = OpenServiceW(manager, wide, access);
    DWORD error = GetLastError();
    free(wide);
    SetLastError(error);
    return service;
}

int service_exists(const char *name)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        return -1;
    SC_HANDLE service = open_service(manager, name, SERVICE_QUERY_CONFIG);
    if (service) {
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return 1;
    }
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    SetLastError(error);
    return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : -1;
}

// Reports the last error, closes what is open, and gives -1.
static int install_failed(SC_HANDLE manager, SC_HANDLE service)
{
    DWORD error = GetLastError();
    report_last_error();
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    SetLastError(error);
    return -1;
}

// The account the service runs as, for CreateService, from setting (the service_account
// setting): null for LocalSystem (an empty setting), else a heap text. False, with
// ERROR_INVALID_SERVICE_ACCOUNT as the last error, for a text that names none of the accounts
// below (the builder lets none through).
// These accounts have no password.
static bool service_account(const char *setting, const char *name, char **account)
{
    *account = nullptr;
    if (strcmp(setting, "LocalService") == 0 || strcmp(setting, "NetworkService") == 0)
        *account = join_text("NT AUTHORITY\\", setting);
    else if (strcmp(setting, "virtual") == 0)
        *account = join_text("NT SERVICE\\", name);
    else if (setting[0]) {
        SetLastError(ERROR_INVALID_SERVICE_ACCOUNT);
        return false;
    }
    return true;
}

// Recovery and the delayed start: a manager that does not take them (Windows before Vista has
// neither the failure-actions flag nor the delayed start; Wine keeps neither) leaves the
// service installed and working without them. That is not a failed install, but it is said.
static void apply_optional_config(const launcher_settings &settings, SC_HANDLE service)
{
    int seconds = settings.restart_seconds;
    if (seconds > 0) {
        // Restart at every failure: the manager repeats the last action once the three are
        // used, and counts failures from zero again after a day without one.
        DWORD delay = seconds < 4294967 ? (DWORD)seconds * 1000 : 4294967000u;
        SC_ACTION actions[3] = {{SC_ACTION_RESTART, delay}, {SC_ACTION_RESTART, delay},
                                {SC_ACTION_RESTART, delay}};
        SERVICE_FAILURE_ACTIONSW failure = {86400, nullptr, nullptr, 3, actions};
        // Our failed runs end with a service-specific error, not a crash: without the flag
        // the manager applies the actions only to crashes.
        SERVICE_FAILURE_ACTIONS_FLAG non_crash = {TRUE};
        if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) ||
            !ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &non_crash))
            report_error_with_reason(MSG_SETTING_NOT_APPLIED, "restart_seconds");
    }
    // A delayed start means something only to a service that starts automatically.
    if (settings.delayed_start && !settings.manual_start) {
        SERVICE_DELAYED_AUTO_START_INFO delayed = {TRUE};
        if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed))
            report_error_with_reason(MSG_SETTING_NOT_APPLIED, "delayed_start");
    }
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

int install_service(const launcher_settings &settings, const char *name,
                    const char *description)
{
    char *account;
    if (!service_account(settings.service_account, name, &account))
        return install_failed(nullptr, nullptr);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) {
        free(account);
        return install_failed(nullptr, nullptr);
    }

    char *list = dependency_list(settings.service_dependencies);
    wchar_t *dependencies = wide_list(list);
    free(list);

    char path[PATH_SIZE];
    if (!executable_path(path, sizeof path)) {
        free(dependencies);
        free(account);
        return install_failed(manager, nullptr);
    }
    // "path" switch, built to fit (as are the key paths below), however long the parts are.
    char *quoted = join_text("\"", path, "\" ");
    char *command = join_text(quoted, settings.service_switch);
    free(quoted);

    wchar_t *wide_name = to_wide(name), *wide_command = to_wide(command),
            *wide_account = to_wide(account);
    SC_HANDLE service = CreateServiceW(
        manager, wide_name, wide_name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        settings.manual_start ? SERVICE_DEMAND_START : SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
        wide_command, nullptr, nullptr, dependencies, wide_account, nullptr);
    DWORD error = GetLastError();
    free(wide_name);
    free(wide_command);
    free(wide_account);
    free(command);
    free(dependencies);
    free(account);
    SetLastError(error);
    if (!service)
        return install_failed(manager, nullptr);

    // The description through the manager, which keeps it as it can read it back when it
    // loads the services at the next start of the system (Wine's refuses to load a service
    // whose Description is not a plain string).
    if (description && description[0]) {
        SERVICE_DESCRIPTIONW text = {to_wide(description)};
        BOOL described = ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &text);
        DWORD error = GetLastError();
        free(text.lpDescription);
        SetLastError(error);
        if (!described)
            return install_failed(manager, service);
    }
    apply_optional_config(settings, service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    char *event_key = join_text(EVENT_LOG_KEY, name);
    bool ok = create_registry_key(event_key) &&
              set_registry_expand_string(event_key, "EventMessageFile", path) &&
              set_registry_dword(event_key, "TypesSupported", 7);
    free(event_key);
    return ok ? 0 : install_failed(nullptr, nullptr);
}

int uninstall_service(const char *name)
{
    // 0xF003F = SC_MANAGER_ALL_ACCESS; 0x10000 = DELETE
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, 0xF003F);
    if (!manager)
        return install_failed(nullptr, nullptr);
    SC_HANDLE service = open_service(manager, name, 0x10000);
    if (!service)
        return install_failed(manager, nullptr);
    if (!DeleteService(service))
        return install_failed(manager, service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}

// The status a handled switch ends the process with: 0, or the error that made it fail.
static int failure_status()
{
    DWORD error = GetLastError();
    return error ? (int)error : 1;
}

bool dispatch_service_switch(const launcher_settings &settings, int count, char **vector,
                             int *exit_status)
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
            if (install_service(settings, name, settings.service_description) == 0)
                report_info(settings.msg_installed, name);
            else
                *exit_status = failure_status();
            break;
        default:
            // The manager gave no answer (no right to create services, for one): say why.
            *exit_status = failure_status();
            report_last_error();
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
        start_service_dispatcher(settings);
        return true;
    }
    return false;
}
