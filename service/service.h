// Service mode: the service switches and the service runtime.
#pragma once

// The registered event source of a service run (a HANDLE); null outside the service's main
// function.
extern void *event_source;

// Handles the command line when it is exactly one argument (slot 1; slot 0 is reserved) equal
// to one of the service switches. Returns true when a switch was handled.
bool dispatch_service_switch(int count, char **vector);

// Called by the exit and abort hooks in a service run: when the run succeeded so far, wakes
// the service's main function and waits until it has reported the stopped state.
void complete_service_handshake();
