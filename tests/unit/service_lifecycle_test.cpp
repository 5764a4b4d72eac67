// The run-and-stop decisions of a service, against the fake manager: the states told, the exit
// code and the event-log records of each way a run can end.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/report.h"
#include "service/service_lifecycle.h"
#include "tests/unit/fake_service.h"

namespace {

// How the fake application behaves: its run, and its answer to the stop call.
enum behaviour {
    RETURNS,           // main returns, no thread is left
    THROWS,            // main throws
    NO_RUNTIME,        // no runtime is found: the run fails before main
    ABORTS_CREATING,   // the virtual machine aborts while it is created
    EXITS_IN_MAIN,     // main calls System.exit(status)
    THROWS_THEN_EXITS, // main throws, then another thread calls System.exit(status)
    WAITS_FOR_STOP,    // runs until the stop call
    IGNORES_STOP,      // runs for ever
    EXITS_ON_STOP,     // the stop call is System.exit(0)
    STOP_CALL_FAILS,   // runs for ever; the stop call fails
    SLOW_START,        // main is called once the test lets it, then returns
};

struct fake_application {
    behaviour how;
    int status;
    std::mutex lock;
    std::condition_variable changed;
    bool stop_called, released, go;
};
fake_application app;

// Blocks until the test releases the application (a process that has ended stays blocked).
void block_until_released()
{
    std::unique_lock<std::mutex> hold(app.lock);
    app.changed.wait(hold, [] { return app.released; });
}

bool run_fake(void (*main_calling)(), void (*main_returned)(bool ok))
{
    if (app.how == SLOW_START) {
        std::unique_lock<std::mutex> hold(app.lock);
        app.changed.wait(hold, [] { return app.go; });
    }
    if (app.how != NO_RUNTIME && app.how != ABORTS_CREATING)
        main_calling();
    switch (app.how) {
    case RETURNS:
    case SLOW_START:
        main_returned(true);
        return true;
    case THROWS:
        report_error("Error invoking method: main");
        main_returned(false);
        return false;
    case NO_RUNTIME:
        report_error("Unable to locate a runtime.");
        return false;
    case ABORTS_CREATING:
        report_error("Unable to create JVM instance");
        end_service_application(RUN_FAILED);
        break;
    case EXITS_IN_MAIN:
        end_service_application(app.status);
        break;
    case THROWS_THEN_EXITS:
        report_error("Error invoking method: main");
        main_returned(false);
        // Another thread of the process, which the fake manager joins as it joins its own.
        start_service_thread([] {
            end_service_application(app.status);
            block_until_released();
        });
        break;
    case WAITS_FOR_STOP: {
        std::unique_lock<std::mutex> hold(app.lock);
        app.changed.wait(hold, [] { return app.stop_called; });
        main_returned(true);
        return true;
    }
    default:
        break;
    }
    block_until_released();
    return true;
}

bool stop_fake()
{
    if (app.how == EXITS_ON_STOP) {
        end_service_application(0);
        block_until_released();
    }
    if (app.how == STOP_CALL_FAILS) {
        report_error("Unable to attach thread to the JVM.");
        return false;
    }
    std::lock_guard<std::mutex> hold(app.lock);
    app.stop_called = true;
    app.changed.notify_all();
    return true;
}

const service_plan plan = {
    {run_fake, stop_fake},
    "Svc",
    "The %s service has started.",
    "The %s service has stopped.",
    "The %s service failed to start.",
    "The %s service has timed out during a stop request and will be terminated.",
    30000,
};

const std::string STARTED = "info The Svc service has started.";
const std::string STOPPED = "info The Svc service has stopped.";
const std::string FAILED = "error The Svc service failed to start.";
std::string ended_with(int status)
{
    return "error The Svc service's application ended with status " + std::to_string(status) + ".";
}
const std::string TIMED_OUT =
    "error The Svc service has timed out during a stop request and will be terminated.";

struct run_case {
    const char *what;
    behaviour how;
    int status;
    bool stop;                // the manager asks for a stop once the service runs
    unsigned clock_ms;        // then the clock moves on this far
    std::vector<service_state> states;
    unsigned exit_code;       // of the stopped state
    std::vector<std::string> records;
};

// Runs the service with the fake application as c says, until the stopped state is told and
// every thread has ended, and checks what the manager was told and what was recorded.
void run_case_through(const run_case &c)
{
    app.how = c.how;
    app.status = c.status;
    app.stop_called = app.released = app.go = false;
    std::thread dispatcher(run_service, &plan);
    if (c.stop) {
        fake_service_wait_told(STATE_RUNNING);
        control_service(CONTROL_STOP);
        if (c.clock_ms)
            fake_service_advance_clock(c.clock_ms);
    }
    dispatcher.join();
    {
        std::lock_guard<std::mutex> hold(app.lock);
        app.released = true;
        app.changed.notify_all();
    }
    std::vector<told_state> told = fake_service_states();
    std::vector<std::string> records = fake_service_records();
    fake_service_reset();
    std::vector<service_state> states;
    for (const told_state &t : told)
        states.push_back(t.state);
    EXPECT_EQ(states, c.states) << c.what;
    ASSERT_FALSE(told.empty()) << c.what;
    EXPECT_EQ(told.back().exit_code, c.exit_code) << c.what;
    for (const told_state &t : told)
        EXPECT_EQ(t.wait_hint, t.state == STATE_STOP_PENDING    ? 40000u
                               : t.state == STATE_START_PENDING ? 10000u
                                                                : 0u)
            << c.what;
    EXPECT_EQ(records, c.records) << c.what;
}

TEST(ServiceRun, EachEndGivesItsStatesExitCodeAndRecords)
{
    // Start-pending until main is being called; then running, and the start recorded.
    const std::vector<service_state> ran = {STATE_START_PENDING, STATE_RUNNING, STATE_STOPPED},
                                     stopped = {STATE_START_PENDING, STATE_RUNNING,
                                                STATE_STOP_PENDING, STATE_STOPPED},
                                     not_started = {STATE_START_PENDING, STATE_STOPPED};
    const run_case cases[] = {
        {"a stop that completes", WAITS_FOR_STOP, 0, true, 0, stopped, 0, {STARTED, STOPPED}},
        {"a stop through System.exit(0)", EXITS_ON_STOP, 0, true, 0, stopped, 0,
         {STARTED, STOPPED}},
        {"a stop cut short", IGNORES_STOP, 0, true, 30000, stopped, 1, {STARTED, TIMED_OUT}},
        {"a failed stop call", STOP_CALL_FAILS, 0, true, 0, stopped, 1,
         {STARTED, "error Unable to attach thread to the JVM.", ended_with(1)}},
        {"main returns", RETURNS, 0, false, 0, ran, 0, {STARTED, STOPPED}},
        {"main throws", THROWS, 0, false, 0, ran, 1,
         {STARTED, "error Error invoking method: main", ended_with(1)}},
        {"System.exit(0) from main", EXITS_IN_MAIN, 0, false, 0, ran, 0, {STARTED, STOPPED}},
        {"System.exit(3) from main", EXITS_IN_MAIN, 3, false, 0, ran, 3,
         {STARTED, ended_with(3)}},
        {"System.exit(-2) from main", EXITS_IN_MAIN, -2, false, 0, ran, 0xFFFFFFFEu,
         {STARTED, ended_with(-2)}},
        {"System.exit(5) from another thread after main threw", THROWS_THEN_EXITS, 5, false, 0,
         ran, 5, {STARTED, "error Error invoking method: main", ended_with(5)}},
        {"System.exit(0) from another thread after main threw", THROWS_THEN_EXITS, 0, false, 0,
         ran, 1, {STARTED, "error Error invoking method: main", ended_with(1)}},
        {"an abort while the virtual machine is created", ABORTS_CREATING, 0, false, 0,
         not_started, 1, {"error Unable to create JVM instance", FAILED}},
        {"no runtime", NO_RUNTIME, 0, false, 0, not_started, 1,
         {"error Unable to locate a runtime.", FAILED}},
    };
    for (const run_case &c : cases)
        run_case_through(c);
}

TEST(ServiceRun, ASlowStartTellsItsProgress)
{
    app.how = SLOW_START;
    app.stop_called = app.released = app.go = false;
    std::thread dispatcher(run_service, &plan);
    fake_service_advance_clock(1000);
    fake_service_advance_clock(1000);
    fake_service_wait_told(STATE_START_PENDING, 3);
    {
        std::lock_guard<std::mutex> hold(app.lock);
        app.go = true;
        app.changed.notify_all();
    }
    dispatcher.join();
    std::vector<told_state> told = fake_service_states();
    fake_service_reset();
    std::string seen;
    for (const told_state &t : told)
        seen += std::to_string(t.state) + "/" + std::to_string(t.check_point) + " ";
    ASSERT_EQ(told.size(), 5u) << seen;
    for (unsigned i = 0; i < 3; i++) {
        EXPECT_EQ(told[i].state, STATE_START_PENDING);
        EXPECT_EQ(told[i].check_point, i + 1) << "a new check point each time";
    }
    EXPECT_EQ(told[3].state, STATE_RUNNING);
    EXPECT_EQ(told[4].state, STATE_STOPPED);
}

TEST(ServiceRun, StopTimeOut)
{
    const struct {
        int seconds;
        unsigned ms;
    } cases[] = {{5, 5000}, {0, 30000}, {-1, 30000}, {86400, 86400000}, {100000, 86400000}};
    for (const auto &c : cases)
        EXPECT_EQ(stop_timeout_ms(c.seconds), c.ms) << c.seconds;
}

} // namespace
