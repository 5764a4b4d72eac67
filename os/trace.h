// The trace: what the launcher did, one line per step, for a support person to read. It is
// written only when the environment variable TREVALO_TRACE names a file (or is "-" for
// standard error, in a console launcher); a trace that cannot be written is left out, never
// a reason to stop.
#pragma once

// Opens the trace named by TREVALO_TRACE, appending to the file; "-" means standard error
// when standard_error is true (a console launcher), otherwise nothing. With private_folder (a
// guarded run) the file the variable names is never opened, since its user may have put a
// link or another program's file there: the trace goes to trace.txt in the folder that
// private_folder returns (a new heap text, or null: no trace file), called only then. Time
// is counted from this call. Without the variable, or when the file cannot be opened, every
// trace call does nothing.
void start_trace(bool standard_error, char *(*private_folder)() = nullptr);

// Writes "<milliseconds since start_trace> <text>" as one line, text made from the printf
// format and its arguments (cut at 4000 characters), every control character of it written as
// "\r", "\n", "\t" or "\xHH", so that no argument can end the line or start another.
void trace(const char *format, ...);
