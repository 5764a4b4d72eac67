// The service switches: installing and removing the service.
#include "service/service.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "base/text.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"
#include "service/dependency_list.h"

static const char *const EVENT_LOG_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

int service_exists(const char *name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        return -1;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
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

int install_service(const char *name, const char *description)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        return install_failed(nullptr, nullptr);

    char *dependencies = dependency_list(settings.service_dependencies);

    char path[MAX_PATH];
    if (!executable_path(path, sizeof path)) {
        free(dependencies);
        return install_failed(manager, nullptr);
    }
    // "path" switch, built to fit (as are the key paths below), however long the parts are.
    char *quoted = join_text("\"", path, "\" ");
    char *command = join_text(quoted, settings.service_switch);
    free(quoted);

    SC_HANDLE service = CreateServiceA(
        manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        settings.manual_start ? SERVICE_DEMAND_START : SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
        command, nullptr, nullptr, dependencies, nullptr, nullptr);
    free(command);
    free(dependencies);
    if (!service)
        return install_failed(manager, nullptr);

    // The description through the manager, which keeps it as it can read it back when it
    // loads the services at the next start of the system (Wine's refuses to load a service
    // whose Description is not a plain string).
    if (description && description[0]) {
        SERVICE_DESCRIPTIONA text = {(char *)description};
        if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &text))
            return install_failed(manager, service);
    }
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
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, 0xF003F);
    if (!manager)
        return install_failed(nullptr, nullptr);
    SC_HANDLE service = OpenServiceA(manager, name, 0x10000);
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
        start_service_dispatcher();
        return true;
    }
    return false;
}
