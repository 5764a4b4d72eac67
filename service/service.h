// Service mode: the service switches, installing and removing the service, and running as one.
#pragma once

// The registered event source of a service run (a HANDLE); null outside the service's main
// function.
extern void *event_source;

// Handles the command line when it is exactly one argument (slot 1; slot 0 is reserved) equal
// to one of the service switches, and returns true; *exit_status is then 0 on success (and
// when the service was already installed) or the system's error code of the failure.
bool dispatch_service_switch(int count, char **vector, int *exit_status);

// 1 when the service exists, 0 when it does not, -1 when the manager gives no answer.
int service_exists(const char *name);

// Installs the running executable as the service name, with its event-log source and the
// description (may be empty). 0 on success, -1 after a reported failure.
int install_service(const char *name, const char *description);

// Removes the service name; its event-log source stays. 0 on success, -1 after a reported
// failure.
int uninstall_service(const char *name);

// Under HKEY_LOCAL_MACHINE (root, a HKEY): 0 when the key exists or was created, -1 otherwise.
int create_registry_key(void *root, const char *key);

// 0 written, -1 key not opened, 1 value not written; on failure the system's last error is
// the registry's own status.
int set_registry_expand_string(void *root, const char *key, const char *value, const char *text);
int set_registry_dword(void *root, const char *key, const char *value, unsigned number);

// Runs the process as the service: hands the main thread to the Service Control Manager and
// returns when the service has stopped, or at once when the manager did not start the process.
void start_service_dispatcher();

// Called by the exit and abort hooks in a service run: when the run succeeded so far, wakes
// the service's main function and waits until it has reported the stopped state.
void complete_service_handshake();
