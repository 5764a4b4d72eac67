// Main-class invocation. Not reached while no virtual machine can be created.
#include "app/main_class.h"

bool run_main_class(int, char **, bool)
{
    return false;
}
