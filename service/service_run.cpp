// The run-and-stop decisions of a service. Portable: the manager through the service seam.
//
// One thread decides: the service's main function. The others only post what happened and
// wake it: the worker (the run ended), the control handler (a stop was asked for), the stop
// thread (the stop call failed) and the application end hook (the application ended the
// process, which waits until the stopped state is told).
#include "service/service_run.h"

#include <atomic>

#include "base/messages.h"
#include "os/report.h"
#include "service/service_system.h"

namespace {

// Process-wide, because the manager's control handler and the virtual machine's end hook
// carry no context. The events are never closed: a thread may still signal them while the
// process ends.
const service_plan *plan;
service_event *wake;     // resets as the main function's wait returns
service_event *finished; // set for good once the stopped state is told
std::atomic<bool> stop_requested, run_ended, run_failed, stop_call_failed, ending;
// Set by the application end hook, with the failure it was given.
std::atomic<bool> application_ended;
std::atomic<int> end_status;

void post(std::atomic<bool> &fact)
{
    fact = true;
    signal_service_event(wake);
}

void main_returned(bool ok)
{
    if (!ok)
        run_failed = true;
}

void worker()
{
    if (!plan->application.run(main_returned))
        run_failed = true;
    post(run_ended);
}

// A stop call that fails ends the wait at once: the application will not end by itself.
void stopper()
{
    if (!plan->application.stop())
        post(stop_call_failed);
}

// The failure the run ended with, 0 for a clean end. An end of the process the application
// asked for takes its status; a clean one after main failed is still a failed run.
unsigned run_failure()
{
    if (application_ended && end_status != 0)
        return (unsigned)end_status;
    return run_failed || stop_call_failed ? RUN_FAILED : 0;
}

// Starts the stop: the stop call on its own thread, the time-out counted from now.
void start_stop()
{
    if (!start_service_thread(stopper))
        report_last_error();
}

// Waits until the run ends or a stop times out; returns the run's failure (0: clean).
unsigned wait_for_end()
{
    bool stopping = false;
    unsigned stop_began = 0;
    for (;;) {
        if (run_ended || application_ended || stop_call_failed)
            return run_failure();
        unsigned timeout = WAIT_FOREVER;
        if (stop_requested && !stopping) {
            stopping = true;
            stop_began = service_clock_ms();
            start_stop();
        }
        if (stopping) {
            unsigned elapsed = service_clock_ms() - stop_began;
            if (elapsed >= plan->stop_timeout_ms) {
                report_error(plan->stop_timeout, plan->name);
                return run_failure();
            }
            timeout = plan->stop_timeout_ms - elapsed;
        }
        wait_service_event(wake, timeout);
    }
}

// Records how the run ended and tells the manager the stopped state.
void tell_stopped(unsigned failure)
{
    ending = true;
    if (failure)
        report_error(plan->failed, plan->name);
    else
        report_info(plan->stopped, plan->name);
    tell_service_manager(STATE_STOPPED, 0, 0, failure);
}

} // namespace

void run_service(const service_plan *run_plan)
{
    plan = run_plan;
    stop_requested = run_ended = run_failed = stop_call_failed = ending = false;
    application_ended = false;
    set_message_sink(write_service_event);
    if (!open_service_event_log(plan->name)) {
        // Nothing could be recorded: stop at once rather than run unheard.
        tell_service_manager(STATE_STOPPED, 0, 0, RUN_FAILED);
        return;
    }
    // The events first: a stop may be asked for as soon as the manager hears of the service.
    wake = create_service_event(false);
    finished = wake ? create_service_event(true) : nullptr;
    report_info(plan->started, plan->name);
    tell_service_manager(STATE_RUNNING, 0, 0, 0);
    unsigned failure = RUN_FAILED;
    if (!finished)
        report_error_with_reason(MSG_DONE_EVENT_FAILED);
    else if (!start_service_thread(worker))
        report_error_with_reason(MSG_WORKER_THREAD_FAILED);
    else
        failure = wait_for_end();
    tell_stopped(failure);
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
