// The hand-over between a second start and the running instance of a single-instance
// launcher: the first instance's listener and hand-over threads, and the second start's send.
#pragma once

#include "base/handover.h"
#include "config/settings.h"
#include "java/jvm.h"

// Starts the first instance's listener on the channel name: each second start's message is
// taken, the application's window brought to the front, and (for a method) the message queued
// for the hand-over thread, which starts once main is called. settings lasts the process.
void start_handover_listener(const launcher_settings &settings, const char *name);

// Tells the hand-over that main is about to be called on jvm (which lasts the process): the
// hand-over thread starts and delivers what waits, then each message as it comes.
void handover_main_calling(const jvm_record *jvm);

// Stops taking second starts and frees the channel's name, waiting (bounded) for the listener:
// before the instance's mutex goes, so that a second start either reaches this instance or
// becomes the first itself. Safe to call more than once, and without a listener.
void stop_handover_listener();

enum handover_outcome { HANDOVER_DONE, HANDOVER_FAILED_REPORTED, HANDOVER_NO_FIRST };

// The second start: hands the startup folder and the count arguments of vector to the
// instance listening on name. HANDOVER_NO_FIRST when no instance listens and none holds the
// mutex (is_first, which takes the mutex when it is free, said so): the caller is the first.
// A first instance that is starting or ending is waited for, bounded.
handover_outcome hand_over(const launcher_settings &settings, const char *name, int count,
                           char **vector, bool (*is_first)());
