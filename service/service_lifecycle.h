// Running as a service: the decisions of a run and its stop (which state the manager is told
// and when, how the run ended, a stop against its time-out, the hand-shake with an application
// that ends the process). Portable: it reaches the manager through the service seam and the
// application through the functions of its plan.
#pragma once

#include "service/service_system.h"

// The application as the service runs it.
struct service_application {
    // Runs the application to its end: main, then the wait for its last thread. Calls
    // main_calling just before main, and main_returned with main's outcome before that wait
    // (other threads may still end the process). True when main returned normally; false
    // after a reported failure.
    bool (*run)(void (*main_calling)(), void (*main_returned)(bool ok));
    // Asks the running application to stop (a second call of main, or System.exit(0)); false
    // after a reported failure.
    bool (*stop)();
};

// What a run needs: the application, the service's name and its event-log texts (message
// settings whose "%s" is the name), and how long a stop may take (stop_timeout_seconds).
struct service_plan {
    service_application application;
    const char *name;
    const char *started, *stopped, *failed, *stop_timeout;
    unsigned stop_timeout_ms;
};

enum {
    // The wait hint that goes with the stop-pending state: the time-out and some time to tell
    // the stopped state after it.
    STOP_WAIT_MARGIN_MS = 10000,
    // While the run starts (unpacking, the virtual machine, the main class), the start-pending
    // state is told again with the next check point every START_CHECK_MS, each time promising
    // the next within START_WAIT_HINT_MS.
    START_CHECK_MS = 1000,
    START_WAIT_HINT_MS = 10000,
};

// The failure a run that could not start, or whose application failed, ends with.
enum { RUN_FAILED = 1 };

// How long a stop may take, in milliseconds, for the stop_timeout_seconds setting: 30 s for 0
// or less (launchers built before the setting have none), at most a day.
unsigned stop_timeout_ms(int seconds);

// The service's main function, once the manager has its control handler: runs the
// application on a worker thread, start-pending until main is being called, then running
// (recorded in the event log); waits until the run ends or a stop ends it or is cut short,
// records how and tells the manager the stopped state: exit code 0 for a clean end, else the
// status the application ended with, or RUN_FAILED (a failed run, a stop cut short). The plan
// must outlive the process.
void run_service(const service_plan *plan);

// The manager's stop, pre-shutdown and shutdown requests: the stop-pending state is told at
// once, and the service's main function starts the stop; a request after the first changes
// nothing.
void control_service(service_control control);

// The application end hook of a service run (the virtual machine's exit and abort): failure
// is 0 for a clean end, else the status the application ended with. Records it, wakes the
// service's main function and returns once the stopped state is told, so that the process
// may end.
void end_service_application(int failure);
