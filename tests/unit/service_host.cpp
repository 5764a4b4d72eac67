// The service seam for the host build: a fake manager that records what it is told, events
// made of one lock and condition, threads that the tests join, and a clock the tests move.
#include "service/service_system.h"
#include "tests/unit/fake_service.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "os/os.h"
#include "tests/unit/fake_os.h"

struct service_event {
    bool manual, set;
};

void clear_manager_records();

namespace {

enum { ACCESS_DENIED = 5 }; // the system's error that a counted fault gives

std::mutex lock;
std::condition_variable changed;
std::vector<told_state> states;
std::vector<std::string> records;
std::vector<std::thread> threads;
std::vector<std::unique_ptr<service_event>> events;
bool stopped_told, source_open;
unsigned clock_ms;
std::multiset<unsigned> timed_waits; // when each pending wait with a time-out began

} // namespace

void tell_service_manager(service_state state, unsigned wait_hint_ms, unsigned check_point,
                          unsigned exit_code)
{
    std::lock_guard<std::mutex> hold(lock);
    if (stopped_told)
        return;
    stopped_told = state == STATE_STOPPED;
    states.push_back({state, wait_hint_ms, check_point, exit_code});
    changed.notify_all();
}

bool open_service_event_log(const char *)
{
    std::lock_guard<std::mutex> hold(lock);
    source_open = !fake_call_fails(ACCESS_DENIED);
    return source_open;
}

void close_service_event_log()
{
    std::lock_guard<std::mutex> hold(lock);
    source_open = false;
}

void write_service_event(bool error, const char *text)
{
    std::lock_guard<std::mutex> hold(lock);
    if (source_open)
        records.push_back((error ? "error " : "info ") + std::string(text));
}

bool start_service_thread(void (*function)())
{
    std::lock_guard<std::mutex> hold(lock);
    if (fake_call_fails(EAGAIN))
        return false;
    threads.emplace_back(function);
    return true;
}

service_event *create_service_event(bool manual)
{
    std::lock_guard<std::mutex> hold(lock);
    if (fake_call_fails(ENOMEM))
        return nullptr;
    events.emplace_back(new service_event{manual, false});
    return events.back().get();
}

void signal_service_event(service_event *event)
{
    std::lock_guard<std::mutex> hold(lock);
    event->set = true;
    changed.notify_all();
}

bool wait_service_event(service_event *event, unsigned timeout_ms)
{
    std::unique_lock<std::mutex> hold(lock);
    unsigned start = clock_ms;
    bool timed = timeout_ms != WAIT_FOREVER;
    if (timed)
        timed_waits.insert(start);
    changed.notify_all();
    changed.wait(hold, [&] { return event->set || (timed && clock_ms - start >= timeout_ms); });
    if (timed)
        timed_waits.erase(timed_waits.find(start));
    bool signalled = event->set;
    if (!event->manual)
        event->set = false;
    return signalled;
}

unsigned service_clock_ms()
{
    std::lock_guard<std::mutex> hold(lock);
    return clock_ms;
}

std::vector<told_state> fake_service_states()
{
    std::lock_guard<std::mutex> hold(lock);
    return states;
}

std::vector<std::string> fake_service_records()
{
    std::lock_guard<std::mutex> hold(lock);
    return records;
}

void fake_service_wait_told(service_state state, unsigned times)
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] {
        unsigned seen = 0;
        for (const told_state &told : states)
            seen += told.state == state;
        return seen >= times;
    });
}

void fake_service_advance_clock(unsigned ms)
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [] { return timed_waits.count(clock_ms) > 0; });
    clock_ms += ms;
    changed.notify_all();
}

void fake_service_reset()
{
    for (;;) {
        std::vector<std::thread> started;
        {
            std::lock_guard<std::mutex> hold(lock);
            started.swap(threads);
        }
        if (started.empty())
            break;
        for (std::thread &thread : started)
            thread.join();
    }
    std::lock_guard<std::mutex> hold(lock);
    states.clear();
    records.clear();
    events.clear();
    stopped_told = source_open = false;
    clear_manager_records();
}

// --- The manager's records. ---

namespace {

std::map<std::string, fake_record> record_table;
std::map<std::string, unsigned> refusals;
int dispatcher_calls;

// False, with the refusal's error as the last error, when call is refused.
bool allowed(const char *call)
{
    if (fake_call_fails(ACCESS_DENIED))
        return false;
    auto refusal = refusals.find(call);
    if (refusal == refusals.end() || !refusal->second)
        return true;
    set_last_error(refusal->second);
    return false;
}

enum { NO_SUCH_SERVICE = 1060 };

// The record of name; null (last error set) when there is none.
fake_record *find_record(const char *name)
{
    auto found = record_table.find(name);
    if (found != record_table.end())
        return &found->second;
    set_last_error(NO_SUCH_SERVICE);
    return nullptr;
}

void write_record(fake_record &kept, const service_record *record)
{
    kept.command = record->command;
    kept.manual_start = record->manual_start;
    kept.account = record->account ? record->account : "LocalSystem";
    kept.dependencies.clear();
    for (const char *p = record->dependencies; p && *p; p += strlen(p) + 1)
        kept.dependencies += std::string(p) + '\0';
}

} // namespace

std::map<std::string, fake_record> &fake_service_records_table()
{
    return record_table;
}

void fake_service_refuse(const std::string &call, unsigned error)
{
    refusals[call] = error;
}

int fake_dispatcher_calls()
{
    return dispatcher_calls;
}

void start_service_dispatcher(const service_entry *)
{
    dispatcher_calls++;
}

int query_service_command(const char *name, char *buffer, size_t size)
{
    if (!allowed("query"))
        return -1;
    fake_record *record = find_record(name);
    if (!record)
        return 0;
    snprintf(buffer, size, "%s", record->command.c_str());
    return 1;
}

bool create_service_record(const service_record *record)
{
    if (!allowed("create"))
        return false;
    if (record_table.count(record->name)) {
        set_last_error(1073); // the service exists
        return false;
    }
    write_record(record_table[record->name], record);
    return true;
}

bool update_service_record(const service_record *record)
{
    fake_record *kept = find_record(record->name);
    if (!kept || !allowed("update"))
        return false;
    write_record(*kept, record);
    return true;
}

bool set_service_description(const char *name, const char *text)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("description"))
        return false;
    kept->description = text;
    return true;
}

bool set_service_restarts(const char *name, unsigned delay_ms)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("restarts"))
        return false;
    kept->restart_delay_ms = delay_ms;
    return true;
}

bool set_service_delayed_start(const char *name, bool delayed)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("delayed"))
        return false;
    kept->delayed_start = delayed;
    return true;
}

bool set_service_preshutdown_timeout(const char *name, unsigned timeout_ms)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("preshutdown"))
        return false;
    kept->preshutdown_ms = timeout_ms;
    return true;
}

bool delete_service_record(const char *name)
{
    if (!find_record(name) || !allowed("delete"))
        return false;
    record_table.erase(name);
    return true;
}

extern std::vector<std::string> removed_sources;

void clear_manager_records()
{
    record_table.clear();
    refusals.clear();
    removed_sources.clear();
    dispatcher_calls = 0;
}

bool query_service_status(const char *name, service_status *status)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("status"))
        return false;
    *status = kept->answers.empty() ? service_status{STATE_STOPPED, 0, 0} : kept->answers.front();
    if (kept->answers.size() > 1)
        kept->answers.erase(kept->answers.begin());
    return true;
}

bool request_service_start(const char *name)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("start"))
        return false;
    kept->requests += "start ";
    if (!kept->answers.empty() && kept->answers.front().state == STATE_RUNNING) {
        set_last_error(1056); // the service runs already
        return false;
    }
    return true;
}

bool request_service_stop(const char *name)
{
    fake_record *kept = find_record(name);
    if (!kept || !allowed("stop"))
        return false;
    kept->requests += "stop ";
    return true;
}

void pause_for_service(unsigned ms)
{
    std::lock_guard<std::mutex> hold(lock);
    clock_ms += ms;
}

std::vector<std::string> removed_sources;

bool remove_event_source(const char *key)
{
    if (!allowed("remove source"))
        return false;
    removed_sources.push_back(key);
    fake_registry_remove_key(key);
    return true;
}
