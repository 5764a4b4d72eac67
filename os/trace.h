// The trace: what the launcher did, one line per step, for a support person to read. It is
// written only when the environment variable TREVALO_TRACE names a file (or is "-" for
// standard error, in a console launcher); a trace that cannot be written is left out, never
// a reason to stop.
#pragma once

// Opens the trace named by TREVALO_TRACE, appending to the file; "-" means standard error
// when standard_error is true (a console launcher), otherwise nothing. Time is counted from
// this call. Without the variable, or when the file cannot be opened, every trace call does
// nothing.
void start_trace(bool standard_error);

// Writes "<milliseconds since start_trace> <text>" as one line, text made from the printf
// format and its arguments (cut at 4000 characters).
void trace(const char *format, ...);
