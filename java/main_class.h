// Running the application's main class.
#pragma once

#include "config/settings.h"
#include "java/jvm.h"

// Calls main of the main class in jvm with the count arguments of vector, or with the
// app_args setting split when count is 0. With attach, the calling thread attaches first (as
// the stopper thread), does not redirect the output files again, and detaches afterwards.
// Returns true when main returned without a pending exception; false after a reported
// failure. calling (may be null) is called once everything is in place, just before main.
bool run_main_class(const launcher_settings &settings, const jvm_record &jvm, int count,
                    char **vector, bool attach, void (*calling)() = nullptr);
