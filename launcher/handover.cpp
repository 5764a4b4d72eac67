// The hand-over between a second start and the running instance.
#include "launcher/handover.h"

#include <windows.h>

#include <stdlib.h>

#include "base/memory.h"
#include "base/messages.h"
#include "base/text.h"
#include "java/handover.h"
#include "os/handover_channel.h"
#include "os/report.h"
#include "os/trace.h"

enum {
    MOST_WAITING = 64,       // messages queued for the application at most
    LISTENER_END_MS = 5000,  // how long the end waits for the listener to free the name
    FIRST_WAIT_MS = 30000,   // how long a second start waits for the first to take its message
    RETRY_MS = 50,           // between tries while the first starts, ends or is busy
};

// One queued message.
struct queued_message {
    handover_message *message;
    queued_message *next;
};

// The first instance's hand-over: process-wide, as the virtual machine's exit hook and the
// main-calling call that stop and start it carry no pointer of ours.
static struct {
    const launcher_settings *settings;
    handover_mode mode;
    char *class_name, *method;
    handover_server *server;
    HANDLE listener;
    CRITICAL_SECTION lock;
    HANDLE waiting;  // a semaphore: one count per queued message
    queued_message *first, *last;
    int queued;
    const jvm_record *jvm;
} state;

// Queues message for the hand-over thread; false when too many wait already.
static bool queue_message(handover_message *message)
{
    EnterCriticalSection(&state.lock);
    bool room = state.queued < MOST_WAITING;
    if (room) {
        queued_message *entry = (queued_message *)must_alloc(sizeof(queued_message));
        *entry = {message, nullptr};
        (state.last ? state.last->next : state.first) = entry;
        state.last = entry;
        state.queued++;
    }
    LeaveCriticalSection(&state.lock);
    if (room)
        ReleaseSemaphore(state.waiting, 1, nullptr);
    return room;
}

static handover_message *next_message()
{
    WaitForSingleObject(state.waiting, INFINITE);
    EnterCriticalSection(&state.lock);
    queued_message *entry = state.first;
    state.first = entry->next;
    if (!state.first)
        state.last = nullptr;
    state.queued--;
    LeaveCriticalSection(&state.lock);
    handover_message *message = entry->message;
    free(entry);
    return message;
}

static DWORD WINAPI listener_thread(LPVOID)
{
    for (;;) {
        handover_message *message;
        handover_take taken = take_handover_message(state.server, &message);
        if (taken == HANDOVER_TAKE_CLOSED)
            break;
        if (taken == HANDOVER_TAKE_REFUSED)
            continue;
        int count = message->count;
        bool queued = state.mode != HANDOVER_METHOD || queue_message(message);
        if (state.mode != HANDOVER_METHOD)
            free(message);
        trace(queued ? "second start taken with %d arguments"
                     : "second start with %d arguments turned away: too many wait",
              count);
        // The window comes forward before the answer: when the second start ends, it is there.
        if (queued)
            bring_application_window_to_front();
        end_handover_client(state.server, queued ? HANDOVER_TAKEN : HANDOVER_FULL);
        if (!queued)
            free(message);
    }
    return 0;
}

// Calls the method once per message, in the order they were taken. A method that is not there
// was reported when the thread started; the messages are then passed over.
static DWORD WINAPI handover_thread(LPVOID)
{
    const launcher_settings &settings = *state.settings;
    JNIEnv *env = attach_handover_thread(settings, *state.jvm);
    handover_target target = {};
    bool found = env && find_handover_method(env, settings, state.class_name, state.method,
                                             &target);
    for (;;) {
        handover_message *message = next_message();
        if (found)
            deliver_handover_message(env, settings, target, *message);
        else
            trace("second start's %d arguments passed over: no hand-over method",
                  message->count);
        free(message);
    }
}

void start_handover_listener(const launcher_settings &settings, const char *name)
{
    state.settings = &settings;
    state.mode = parse_handover_setting(settings.instance_handover, &state.class_name,
                                        &state.method);
    InitializeCriticalSection(&state.lock);
    state.waiting = CreateSemaphoreA(nullptr, 0, MOST_WAITING, nullptr);
    state.server = state.waiting ? listen_for_handover(name) : nullptr;
    if (!state.server)
        return;
    state.listener = CreateThread(nullptr, 0, listener_thread, nullptr, 0, nullptr);
    if (!state.listener) {
        close_handover_server(state.server);
        state.server = nullptr;
    }
}

void handover_main_calling(const jvm_record *jvm)
{
    if (!state.listener || state.mode != HANDOVER_METHOD || state.jvm)
        return;
    state.jvm = jvm;
    HANDLE thread = CreateThread(nullptr, 0, handover_thread, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        trace("no hand-over thread (error %lu): second starts only bring the window forward",
              GetLastError());
}

void stop_handover_listener()
{
    if (!state.listener)
        return;
    stop_handover_server(state.server);
    // A listener that does not end in time keeps the channel (its name goes with the process).
    if (WaitForSingleObject(state.listener, LISTENER_END_MS) == WAIT_OBJECT_0)
        close_handover_server(state.server);
    CloseHandle(state.listener);
    state.listener = nullptr;
}

handover_outcome hand_over(const launcher_settings &settings, const char *name, int count,
                           char **vector, bool (*is_first)())
{
    size_t size;
    unsigned char *message =
        encode_handover_message(settings.startup_directory, count, vector, &size);
    if (!message) {
        report_error(MSG_HANDOVER_TOO_LONG);
        return HANDOVER_FAILED_REPORTED;
    }
    DWORD start = GetTickCount();
    bool said = false;
    handover_outcome outcome = HANDOVER_FAILED_REPORTED;
    for (;;) {
        DWORD spent = GetTickCount() - start;
        char answer = 0;
        handover_send sent = spent < FIRST_WAIT_MS
            ? send_handover_message(name, message, size, FIRST_WAIT_MS - spent, &answer)
            : HANDOVER_NO_ANSWER;
        if (sent == HANDOVER_ANSWERED && answer == HANDOVER_TAKEN) {
            trace("handed over to the running instance");
            outcome = HANDOVER_DONE;
            break;
        }
        if (sent == HANDOVER_ANSWERED && answer == HANDOVER_REFUSED) {
            report_error(MSG_HANDOVER_REFUSED);
            break;
        }
        if (sent == HANDOVER_FOREIGN_SERVER) {
            report_error(MSG_HANDOVER_FOREIGN, name);
            break;
        }
        if (sent == HANDOVER_NO_ANSWER) {
            char seconds[12];
            report_error(MSG_HANDOVER_NO_ANSWER, decimal_text(FIRST_WAIT_MS / 1000, seconds));
            break;
        }
        // No channel (the first is starting, or ending), or it is busy or full: the first
        // may have gone meanwhile, and then this start is the first.
        if (is_first()) {
            trace("no running instance any more: this start is the first");
            outcome = HANDOVER_NO_FIRST;
            break;
        }
        if (!said)
            trace("waiting for the running instance to take the arguments (it is starting, "
                  "ending or busy)");
        said = true;
        Sleep(RETRY_MS);
    }
    free(message);
    return outcome;
}
