// The host build's service manager, as tests drive it: the states it was told, the event-log
// records, a clock that moves only when a test moves it, and failures of the seam's calls (and the
// counted faults of fake_os.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "service/service_system.h"

struct told_state {
    service_state state;
    unsigned wait_hint, check_point, exit_code;
};

// Every state told since the last reset, in order.
std::vector<told_state> fake_service_states();

// The event-log records since the last reset, as "info <text>" or "error <text>".
std::vector<std::string> fake_service_records();

// Blocks until the manager has been told state, times times.
void fake_service_wait_told(service_state state, unsigned times = 1);

// Blocks until some thread waits with a time-out that began at the clock's present time,
// then moves the clock on by ms.
void fake_service_advance_clock(unsigned ms);

// Joins every thread started through the seam (the caller has let them end), and forgets what
// was told and recorded.
void fake_service_reset();

// A service record as the fake manager keeps it; dependencies with their NULs.
struct fake_record {
    std::string command, dependencies, account, description;
    bool manual_start, delayed_start;
    unsigned restart_delay_ms, preshutdown_ms;
    // The statuses the next queries answer, in turn (the last one stays; none: stopped, 0).
    std::vector<service_status> answers;
    std::string requests; // "start " and "stop " for each request, in order
};

// The registry keys of the event-log sources removed, in order.
extern std::vector<std::string> removed_sources;

// The fake manager's records, by name; a test may add and change them.
std::map<std::string, fake_record> &fake_service_records_table();

// The manager calls that fail from now on, with the system error of each: "query" (no
// answer), "create", "update", "description", "restarts", "delayed", "preshutdown",
// "delete", "status", "start", "stop", "remove source"; error 0 lets
// the call succeed again.
void fake_service_refuse(const std::string &call, unsigned error);

// How often start_service_dispatcher was called.
int fake_dispatcher_calls();
