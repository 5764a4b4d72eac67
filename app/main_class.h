// Running the application's main class.
#pragma once

// Calls main of the main class with the count arguments of vector, or with setting 1184 when
// count is 0. attach asks for the calling thread to be attached first. Returns true when main
// returned without a pending exception.
bool run_main_class(int count, char **vector, bool attach);
