// The run-and-stop decisions of a service. Portable: the manager through the service seam.
//
// One thread decides: the service's main function. The others only post what happened and
// wake it: the worker (main is being called, the run ended), the control handler (a stop was
// asked for), the stop thread (the stop call failed) and the application end hook (the
// application ended the process, which waits until the stopped state is told).
#include "service/service_lifecycle.h"

#include <stdlib.h>

#include <atomic>

#include "base/messages.h"
#include "base/text.h"
#include "os/report.h"
#include "service/service_system.h"

namespace {

// Process-wide, because the virtual machine's end hook carries no context (the control
// handler's context is the plan, and the run's threads share what the hook posts). The events
// are never closed: a thread may still signal them while the process ends.
const service_plan *plan;
service_event *wake;     // resets as the main function's wait returns
service_event *finished; // set for good once the stopped state is told
service_event *running;  // set for good once the running state is told
std::atomic<bool> main_called, stop_requested, run_ended, run_failed, stop_call_failed, ending;
// Set by the application end hook, with the failure it was given.
std::atomic<bool> application_ended;
std::atomic<int> end_status;

void post(std::atomic<bool> &fact)
{
    fact = true;
    signal_service_event(wake);
}

// main is called only once the start is recorded and the manager told that the service runs,
// so that the start comes before anything main does.
void main_calling()
{
    post(main_called);
    wait_service_event(running, WAIT_FOREVER);
}

void main_returned(bool ok)
{
    if (!ok)
        run_failed = true;
}

void worker()
{
    if (!plan->application.run(main_calling, main_returned))
        run_failed = true;
    post(run_ended);
}

// A stop call that fails ends the wait at once: the application will not end by itself.
void stopper()
{
    if (!plan->application.stop())
        post(stop_call_failed);
}

// How a run ended.
struct run_end {
    unsigned failure;  // 0 for a clean end, else the service-specific error
    bool cut_short;    // a stop that did not end the application in time
};

// The failure the run ended with, 0 for a clean end. An end of the process the application
// asked for takes its status; a clean one after main failed is still a failed run.
run_end ended(bool cut_short)
{
    if (cut_short)
        return {RUN_FAILED, true};
    if (application_ended && end_status != 0)
        return {(unsigned)end_status, false};
    return {run_failed || stop_call_failed ? (unsigned)RUN_FAILED : 0u, false};
}

// While the run starts: the start-pending state again, with the next check point, so that
// the manager sees it progress.
void tell_starting(unsigned *check_point)
{
    tell_service_manager(STATE_START_PENDING, START_WAIT_HINT_MS, ++*check_point, 0);
}

// The service runs once main is being called: recorded, and the manager told.
void tell_running()
{
    report_info(plan->started, plan->name);
    tell_service_manager(STATE_RUNNING, 0, 0, 0);
    signal_service_event(running);
}

// Waits until the run ends or a stop is cut short, telling the manager the service runs once
// main is being called.
run_end wait_for_end()
{
    bool running = false, stopping = false;
    unsigned stop_began = 0, check_point = 1;
    for (;;) {
        if (!running && main_called) {
            running = true;
            tell_running();
        }
        if (run_ended || application_ended || stop_call_failed)
            return ended(false);
        unsigned timeout = running ? (unsigned)WAIT_FOREVER : (unsigned)START_CHECK_MS;
        if (stop_requested && !stopping) {
            stopping = true;
            stop_began = service_clock_ms();
            if (!start_service_thread(stopper))
                report_last_error();
        }
        if (stopping) {
            unsigned elapsed = service_clock_ms() - stop_began;
            if (elapsed >= plan->stop_timeout_ms) {
                report_error(plan->stop_timeout, plan->name);
                return ended(true);
            }
            timeout = plan->stop_timeout_ms - elapsed;
        }
        if (!wait_service_event(wake, timeout) && !running && !stopping)
            tell_starting(&check_point);
    }
}

// The record of a run that ended with status after the service had started: "The <name>
// service's application ended with status <status>."
void report_ended_with(unsigned status)
{
    char number[12];
    char *message =
        join_text(MSG_SERVICE_APPLICATION_ENDED, decimal_text((int)status, number), ".");
    report_error(message, plan->name);
    free(message);
}

// Records how the run ended and tells the manager the stopped state.
void tell_stopped(run_end end)
{
    ending = true;
    // A stop cut short was recorded as it happened.
    if (end.cut_short)
        ;
    else if (!end.failure)
        report_info(plan->stopped, plan->name);
    else if (main_called)
        report_ended_with(end.failure);
    else
        report_error(plan->failed, plan->name);
    tell_service_manager(STATE_STOPPED, 0, 0, end.failure);
}

} // namespace

unsigned stop_timeout_ms(int seconds)
{
    if (seconds <= 0)
        return 30000;
    return seconds < 86400 ? (unsigned)seconds * 1000 : 86400000u;
}

void run_service(const service_plan *run_plan)
{
    plan = run_plan;
    main_called = stop_requested = run_ended = run_failed = stop_call_failed = ending = false;
    application_ended = false;
    set_message_sink(write_service_event);
    // A service has no standard error that anyone reads: a Java exception's stack trace goes
    // into its record.
    set_report_stack_traces(true);
    if (!open_service_event_log(plan->name)) {
        // Nothing could be recorded: stop at once rather than run unheard.
        tell_service_manager(STATE_STOPPED, 0, 0, RUN_FAILED);
        return;
    }
    // The events first: a stop may be asked for as soon as the manager hears of the service.
    wake = create_service_event(false);
    running = wake ? create_service_event(true) : nullptr;
    finished = running ? create_service_event(true) : nullptr;
    tell_service_manager(STATE_START_PENDING, START_WAIT_HINT_MS, 1, 0);
    run_end end = {RUN_FAILED, false};
    if (!finished)
        report_error_with_reason(MSG_DONE_EVENT_FAILED);
    else if (!start_service_thread(worker))
        report_error_with_reason(MSG_WORKER_THREAD_FAILED);
    else
        end = wait_for_end();
    tell_stopped(end);
    close_service_event_log();
    if (finished)
        signal_service_event(finished);
}

void control_service(service_control)
{
    if (!plan || ending || stop_requested)
        return;
    tell_service_manager(STATE_STOP_PENDING, plan->stop_timeout_ms + STOP_WAIT_MARGIN_MS, 0, 0);
    post(stop_requested);
}

void end_service_application(int failure)
{
    if (!application_ended) {
        end_status = failure;
        post(application_ended);
    }
    wait_service_event(finished, WAIT_FOREVER);
}
