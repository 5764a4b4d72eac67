// Output-file rotation by size, and the paths of output files. Portable.
#include "config/output_files.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "os/os.h"

// path.<number> as a new heap text.
static char *numbered(const char *path, int number)
{
    char digits[12];
    return join_text(path, ".", decimal_text(number, digits));
}

// Moves path.<from> to path.<to> when it exists; false when it exists and cannot be moved.
static bool shift(const char *path, int from, int to)
{
    char *source = numbered(path, from), *target = numbered(path, to);
    bool ok = path_attributes(source) < 0 || replace_file(source, target);
    free(source);
    free(target);
    return ok;
}

// Rotates path as prepare_output_file says; false when a file could not be moved or removed.
// The current file is moved aside first: when another process holds it, nothing is touched.
static bool rotate(const char *path, int keep)
{
    if (keep <= 0)
        return true; // emptied by the run
    char *aside = join_text(path, ".rotating");
    bool ok = replace_file(path, aside);
    if (ok) {
        char *oldest = numbered(path, keep);
        if (path_attributes(oldest) >= 0)
            delete_file(oldest);
        free(oldest);
        for (int n = keep - 1; n >= 1; n--)
            shift(path, n, n + 1);
        // Should a shift have failed, path.1 is still taken: the old file goes back.
        char *first = numbered(path, 1);
        ok = path_attributes(first) < 0 && replace_file(aside, first);
        if (!ok)
            replace_file(aside, path);
        free(first);
    }
    free(aside);
    return ok;
}

bool prepare_output_file(const char *path, bool append, int max_kb, int keep)
{
    file_stamp stamp;
    if (max_kb <= 0 || !read_file_stamp(path, &stamp) || stamp.is_directory ||
        stamp.size <= (uint64_t)max_kb * 1024)
        return append;
    // Over the size: rotated, the run starts a new file; when that cannot be done, appended to.
    return !rotate(path, keep);
}

char *output_file_path(const char *setting, const char *folder)
{
    // Absolute: a drive ("C:"), or a leading "\" (the drive's root, or "\\server\share").
    bool absolute = (setting[0] && setting[1] == ':') || setting[0] == '\\' || setting[0] == '/';
    if (!folder || absolute || !setting[0])
        return must_copy(setting);
    return join_text(folder, setting);
}
