// The service seam: the few service-manager, event-log, thread and event operations that the
// service's run-and-stop logic needs. service_system_win32.cpp implements them with the
// Service Control Manager; the host build links a fake manager from the tests. Texts are UTF-8.
#pragma once

#include <stddef.h>

enum service_control { CONTROL_STOP, CONTROL_SHUTDOWN, CONTROL_PRESHUTDOWN };

// What the manager calls once it runs the service: main on a thread of its own once the
// control handler is registered, control for each stop, pre-shutdown and shutdown request;
// both with context.
struct service_entry {
    const char *name;
    void (*main)(void *context);
    void (*control)(void *context, service_control control);
    void *context;
};

// Hands the calling thread to the manager, which calls the functions of entry; returns when the
// service has stopped, or at once (reported) when the manager did not start the process. entry
// must outlive the process.
void start_service_dispatcher(const service_entry *entry);

// The states the manager is told, as the manager numbers them.
enum service_state {
    STATE_STOPPED = 1,
    STATE_START_PENDING = 2,
    STATE_STOP_PENDING = 3,
    STATE_RUNNING = 4,
};

// Tells the manager the service's state. wait_hint_ms and check_point mean something for a
// pending state only (0 otherwise); exit_code for STATE_STOPPED only: 0 for a clean stop, else
// the service-specific error the run ended with. Calls from several threads are told one at a
// time; once STATE_STOPPED is told, later calls are ignored.
void tell_service_manager(service_state state, unsigned wait_hint_ms, unsigned check_point,
                          unsigned exit_code);

// Registers the event source name for the service's records; false when none could be
// registered. close_service_event_log deregisters it.
bool open_service_event_log(const char *name);
void close_service_event_log();

// Writes one record to the registered source (nothing without one).
void write_service_event(bool error, const char *text);

// Registers the event source name (null: none) and sends every later report to the event log;
// with no source registered (false), reports are recorded nowhere. close_event_log deregisters
// it.
bool open_event_log(const char *name);
void close_event_log();

// Runs function on a new thread that nobody waits for; false (last error set) when it cannot be
// started.
bool start_service_thread(void (*function)());

struct service_event;

// A new event, not signalled, that lives as long as the process (a thread may still signal it
// while the process ends); manual is true for one that stays signalled once set, false for
// one that a single returning wait resets. Null (last error set) on failure.
service_event *create_service_event(bool manual);
void signal_service_event(service_event *event);

enum { WAIT_FOREVER = 0xFFFFFFFFu };

// Waits until event is signalled (true) or timeout_ms have passed (false).
bool wait_service_event(service_event *event, unsigned timeout_ms);

// Milliseconds since some fixed moment, for the deadline of a stop; wraps after 49 days.
unsigned service_clock_ms();

// --- The manager's records, for installing, removing and operating the service. ---

// A service record as the install writes it.
struct service_record {
    const char *name;
    const char *command;      // the command line the manager starts
    bool manual_start;        // else started with the system
    const char *dependencies; // the names, each closed by a NUL, a second NUL after the last;
                              // null for none
    const char *account;      // null for LocalSystem
};

// The command line the manager keeps for the service name, into buffer (size bytes): 1 when
// it was read, 0 when there is no such service, -1 when the manager gives no answer (no
// right to manage services, for one; last error set).
int query_service_command(const char *name, char *buffer, size_t size);

// Creates the record, or brings an existing one of that name up to date; false (last error
// set) on failure.
bool create_service_record(const service_record *record);
bool update_service_record(const service_record *record);

// The optional parts of a record: the description, restarts after every failure (the delay,
// the failure count reset after a day without one; also for failures that are no crash),
// the delayed start, the pre-shutdown time. False (last error set) when the manager refuses them.
bool set_service_description(const char *name, const char *text);
bool set_service_restarts(const char *name, unsigned delay_ms);
bool set_service_delayed_start(const char *name, bool delayed);
// How long the system waits for the service to stop after the pre-shutdown notification.
bool set_service_preshutdown_timeout(const char *name, unsigned timeout_ms);

// Removes the record (the manager deletes it once the service has stopped); false (last error
// set) on failure.
bool delete_service_record(const char *name);

// The state of the service name as the manager answers it, with the exit codes of its last
// run (meaningful once stopped).
struct service_status {
    service_state state;
    unsigned exit_code;          // the system's code; ERROR_SERVICE_SPECIFIC_ERROR (1066):
    unsigned specific_exit_code; // then this one is the service's own
};

// False (last error set) when the manager gives no answer or has no such service.
bool query_service_status(const char *name, service_status *status);

// Asks the manager to start the service name, or to stop it; false (last error set) when it
// refuses (for a stop: 1062 when the service is not running).
bool request_service_start(const char *name);
bool request_service_stop(const char *name);

// Waits ms before the manager is asked again.
void pause_for_service(unsigned ms);

// Removes the event-log source whose registry key (under HKEY_LOCAL_MACHINE) is key; false
// (last error set) on failure.
bool remove_event_source(const char *key);
