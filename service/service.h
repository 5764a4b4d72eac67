// Service mode: the service switches and the service runtime.
#pragma once

#include <windows.h>

// The registered event source of a service run; null outside the service's main function.
extern HANDLE event_source;

// Handles the command line when it is exactly one argument (slot 1; slot 0 is reserved) equal
// to one of the service switches. Returns true when a switch was handled.
bool dispatch_service_switch(int count, char **vector);
