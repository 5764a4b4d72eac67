// The dependency list of the service record.
#include "service/dependency_list.h"

#include <stdlib.h>
#include <string.h>

char *dependency_list(const char *names)
{
    if (!names[0])
        return nullptr;
    size_t length = strlen(names);
    char *list = (char *)calloc(length + 2, 1);
    memcpy(list, names, length);
    for (char *p = list; *p; p++)
        if (*p == ';')
            *p = '\0';
    return list;
}
