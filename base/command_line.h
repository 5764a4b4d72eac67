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

// Splits text (may be null) into arguments by the Windows convention, as CommandLineToArgvW
// splits what follows the program's name (and as the C runtime, Java's ProcessBuilder and
// Python's subprocess quote): spaces and tabs separate outside double quotes, and runs of them
// at either end give nothing. 2n backslashes before a double quote give n backslashes, and the
// quote opens or closes the quoted state; 2n+1 backslashes before one give n backslashes and a
// double quote. Other backslashes are ordinary characters. Quotes that follow a quote: the
// third of each three in a row (counting one that opened the quoted state) is a double quote,
// which leaves the quoted state ("" inside quotes gives a double quote and ends the quoting;
// "" alone is an empty argument). slot 0, count and vector as split_command_line.
void split_windows_command_line(const char *text, int *count, char ***vector,
                                bool reserve_slot_0);

// The arguments of a process's command line: what follows the program's name (in double
// quotes up to the next one, else up to the first blank) and the blanks after it, as Windows
// hands them to WinMain.
const char *skip_program_name(const char *command_line);
