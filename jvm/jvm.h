// Creating and destroying the Java virtual machine inside the launcher's process.
#pragma once

// Finds a runtime, creates the virtual machine and publishes its handles. Returns false after
// a failure it has reported. console asks for a console of the process's own (service run).
bool create_jvm(bool console);

// Waits for the application's last non-daemon thread and destroys the virtual machine.
void destroy_jvm();
