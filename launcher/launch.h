// The launch shared by the GUI and the console launcher.
#pragma once

// Runs the launcher for command_line (the arguments after the program's name): a service
// switch, or the application. A console launcher shows no splash screen. Returns the
// process's exit status.
int launch(const char *command_line, bool console);
