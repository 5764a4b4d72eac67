// The dependency list of the service record.
#include "service/dependency_list.h"

#include <string.h>

#include "base/memory.h"

char *dependency_list(const char *names)
{
    if (!names[0])
        return nullptr;
    size_t length = strlen(names);
    char *list = (char *)must_alloc(length + 2);
    memcpy(list, names, length);
    for (char *p = list; *p; p++)
        if (*p == ';')
            *p = '\0';
    return list;
}
