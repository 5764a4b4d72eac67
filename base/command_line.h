// Splitting a text into an argument vector: the launcher's command line, JVM options,
// application, service and stop arguments all go through this one splitter.
#pragma once

// Splits text (may be null) into arguments. Only the space separates; a double quote toggles
// a quoted state in which spaces do not separate; there is no escape character. Two spaces in
// a row give an empty argument, a text of spaces alone gives one empty argument. An argument
// that starts with a double quote loses its first and its last character; a lone double quote
// becomes the empty argument.
//
// With reserve_slot_0, slot 0 is counted but left null and the arguments start at slot 1.
// count and vector are always set; vector is null only when count is 0. The vector and its
// strings come from malloc and belong to the caller.
void split_command_line(const char *text, int *count, char ***vector, bool reserve_slot_0);

// Splits text (may be null) into arguments by the Microsoft C runtime's rule, which the
// `java` command and most Windows programs get their arguments from (and which the C
// runtime, Java's ProcessBuilder and Python's subprocess quote for): spaces and tabs separate
// outside double quotes, and runs of them at either end give nothing. 2n backslashes before a
// double quote give n backslashes, and the quote opens or closes the quoted state; 2n+1
// backslashes before one give n backslashes and a double quote. Other backslashes are
// ordinary characters. Inside quotes, "" is one double quote and the quoted state goes on
// ("a ""b"" c" is a "b" c); outside, "" is an empty argument. slot 0, count and vector as
// split_command_line. With wildcards not null, *wildcards gets an array of count flags
// (malloc, the caller's; null when count is 0): whether each argument holds '*' or '?'
// outside double quotes (slot 0: false).
void split_windows_command_line(const char *text, int *count, char ***vector,
                                bool reserve_slot_0, bool **wildcards = nullptr);

// The arguments of a process's command line: what follows the program's name (in double
// quotes up to the next one, else up to the first blank) and the blanks after it, as Windows
// hands them to WinMain.
const char *skip_program_name(const char *command_line);

// Whether name matches pattern, as a command line's wildcards match file names: '*' stands for
// any run of characters (none too), '?' for exactly one, and every other character for itself,
// ASCII letters without regard to case, as Windows compares names. Both are UTF-8; a
// character is a whole UTF-8 sequence.
bool wildcard_match(const char *pattern, const char *name);
