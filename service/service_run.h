// Running as a service: the decisions of a run and its stop (which state the manager is told
// and when, how the run ended, a stop against its time-out, the hand-shake with an application
// that ends the process). Portable: it reaches the manager through the service seam and the
// application through the functions of its plan.
#pragma once

// The application as the service runs it.
struct service_application {
    // Runs the application to its end: main, then the wait for its last thread. Calls
    // main_returned with main's outcome before that wait (other threads may still end the
    // process). True when main returned normally; false after a reported failure.
    bool (*run)(void (*main_returned)(bool ok));
    // Asks the running application to stop (a second call of main, or System.exit(0)); false
    // after a reported failure.
    bool (*stop)();
};

// What a run needs: the application, the service's name and its event-log texts (message
// settings whose "%s" is the name), and how long a stop may take.
struct service_plan {
    service_application application;
    const char *name;
    const char *started, *stopped, *failed, *stop_timeout;
    unsigned stop_timeout_ms;
};

// The wait hint that goes with the stop-pending state: the time-out and some time to tell
// the stopped state after it.
enum { STOP_WAIT_MARGIN_MS = 10000 };

// The failure a run that could not start, or whose application failed, ends with.
enum { RUN_FAILED = 1 };

// The service's main function, once the manager has its control handler: records the start
// in the event log, runs the application on a worker thread, waits until the run ends or a
// stop ends it, records how and tells the manager the stopped state. The plan must outlive
// the process.
void run_service(const service_plan *plan);

enum service_control { CONTROL_STOP, CONTROL_SHUTDOWN };

// The manager's stop and shutdown requests: the stop-pending state is told at once, and the
// service's main function starts the stop.
void control_service(service_control control);

// The application end hook of a service run (the virtual machine's exit and abort): failure
// is 0 for a clean end, else the status the application ended with. Records it, wakes the
// service's main function and returns once the stopped state is told, so that the process
// may end.
void end_service_application(int failure);
