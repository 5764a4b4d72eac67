// One run of the launcher: its settings, its kind and its guard, made once by the entry point
// and handed down read-only to every step of the run.
#pragma once

#include "config/settings.h"
#include "os/guard.h"

// The kind of run: the GUI launcher's, the console launcher's, or the service's (started by
// the service manager with the service switch, whichever launcher it is).
enum run_kind { RUN_INTERACTIVE, RUN_CONSOLE, RUN_SERVICE };

struct run_context {
    const launcher_settings *settings;
    run_kind kind;
    // Whether the run is guarded and which folders it trusts: guard_for, taken once here.
    run_guard guard;
};

// The context of a run of kind with settings (which may still be completed, the INI file
// applied, after this); the guard is decided here and nowhere else.
inline run_context make_run_context(const launcher_settings *settings, run_kind kind)
{
    return {settings, kind, guard_for(kind == RUN_SERVICE)};
}

// The exit status of a run that cannot start: a console launcher ends with 1, as the java
// command does, so that a batch file's "if errorlevel 1" sees it (-1 is below 1); a GUI
// launcher with -1, as it always has.
inline int start_failure_status(run_kind kind)
{
    return kind == RUN_CONSOLE ? 1 : -1;
}

// Whether the run shows the splash screen: only the GUI launcher's does, when it has one (it
// waits for the application's window, or shows for a time).
inline bool shows_splash(const run_context &run)
{
    return run.kind == RUN_INTERACTIVE &&
           (run.settings->splash_until_window || run.settings->splash_seconds != 0);
}
