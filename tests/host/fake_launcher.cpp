// The launcher's Win32-only operations that the portable code calls, for the host build.
#include "launcher/startup.h"
#include "service/service.h"

void *instance_mutex;
void *event_source;

void release_instance_mutex()
{
    instance_mutex = nullptr;
}

void complete_service_handshake()
{
}
