// Pieces of Windows paths: the last separator, the folder of a path, joining a folder and a
// name, whether a path is absolute. Both '\' and '/' separate, as Windows reads them.
#pragma once

// Whether c separates the parts of a path.
inline bool is_path_separator(char c)
{
    return c == '\\' || c == '/';
}

// The last separator of path, or null when it has none.
const char *last_separator(const char *path);

// The folder of path, up to its last separator (left out), as a new heap text; the empty text
// when path has no separator.
char *path_folder(const char *path);

// folder and name joined by one backslash, none added when folder is empty or already ends
// with a separator ("C:\" and "a.jar" give "C:\a.jar"), as a new heap text.
char *join_path(const char *folder, const char *name);

// Whether path names the same file from any current directory: it starts with a separator
// (a root, a share) or with a drive ("C:").
bool is_absolute_path(const char *path);
