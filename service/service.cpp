// Service mode. Installing, removing and running as a service are not built yet: no switch is
// recognised, so such words reach the application as ordinary arguments.
#include "service/service.h"

void *event_source;

bool dispatch_service_switch(int, char **)
{
    return false;
}

void complete_service_handshake()
{
}
