// Pieces of Windows paths.
#include "base/path.h"

#include <string.h>

#include "base/text.h"

const char *last_separator(const char *path)
{
    const char *last = nullptr;
    for (const char *p = path; *p; p++)
        if (is_path_separator(*p))
            last = p;
    return last;
}

char *path_folder(const char *path)
{
    const char *last = last_separator(path);
    return copy_text(path, last ? (size_t)(last - path) : 0);
}

char *join_path(const char *folder, const char *name)
{
    size_t length = strlen(folder);
    bool separated = length == 0 || is_path_separator(folder[length - 1]);
    return join_text(folder, separated ? "" : "\\", name);
}

bool is_absolute_path(const char *path)
{
    return is_path_separator(path[0]) || (path[0] && path[1] == ':');
}
