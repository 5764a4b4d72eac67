// Output-file rotation by size, and the paths of output files. Portable.
#include "output/output_files.h"

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

// Makes aside (path moved aside, or left aside by a run that ended part-way) path.1, the
// older files shifting up and path.<keep> removed; false when it could not, aside then still
// in its place.
static bool push_older(const char *path, const char *aside, int keep)
{
    char *oldest = numbered(path, keep);
    if (path_attributes(oldest) >= 0)
        delete_file(oldest);
    free(oldest);
    for (int n = keep - 1; n >= 1; n--)
        shift(path, n, n + 1);
    // Should a shift have failed, path.1 is still taken.
    char *first = numbered(path, 1);
    bool ok = path_attributes(first) < 0 && replace_file(aside, first);
    free(first);
    return ok;
}

// Rotates path as prepare_output_file says; false when a file could not be moved or removed.
// The current file is moved aside first: when another process holds it, nothing is touched.
static bool rotate(const char *path, const char *aside, int keep)
{
    if (keep <= 0)
        return true; // emptied by the run
    if (!replace_file(path, aside))
        return false;
    if (push_older(path, aside, keep))
        return true;
    replace_file(aside, path); // the old file goes back
    return false;
}

bool prepare_output_file(const char *path, bool append, int max_kb, int keep)
{
    // A count beyond any use would make each start test that many names.
    keep = keep < OUTPUT_KEEP_MOST ? keep : OUTPUT_KEEP_MOST;
    char *aside = join_text(path, ".rotating");
    // A run that ended while it rotated left the last run's file aside: it becomes the file
    // again, or, when a new one has been started since, the newest older file. Never lost to
    // the next rotation's move.
    if (path_attributes(aside) == 0 &&
        (path_attributes(path) < 0 ? !replace_file(aside, path)
                                   : keep <= 0 || !push_older(path, aside, keep))) {
        free(aside);
        return true; // left as it is, and this run appends rather than risk anything
    }
    file_stamp stamp;
    bool over = max_kb > 0 && read_file_stamp(path, &stamp) && !stamp.is_directory &&
                stamp.size > (uint64_t)max_kb * 1024;
    // Over the size: rotated, the run starts a new file; when that cannot be done, appended to.
    bool appends = over ? !rotate(path, aside, keep) : append;
    free(aside);
    return appends;
}

// The folder of the file at path with no trailing separator (a drive's root keeps its own),
// or null for a name without a folder. A new heap text.
static char *folder_of(const char *path)
{
    const char *last = nullptr;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/')
            last = p;
    if (!last)
        return nullptr;
    bool root = last == path || (last == path + 2 && path[1] == ':');
    char *folder = must_copy(path);
    folder[last - path + (root ? 1 : 0)] = '\0';
    return folder;
}

// Holds the folder at path for a guarded run: OUTPUT_READY when no other account may change
// it, OUTPUT_FOLDER_NOT_PRIVATE when others may, or it is a link.
static output_problem hold_folder(const char *path, const output_rules &rules)
{
    held_folder held = hold_private_directory(path, rules.own_account);
    return held == FOLDER_HELD     ? OUTPUT_READY
           : held == FOLDER_REFUSED ? OUTPUT_FOLDER_NOT_PRIVATE
                                    : OUTPUT_UNWRITABLE;
}

// Creates the folder at path and every missing folder above it. A guarded run makes a level
// only inside one it holds, so that a link above can lead it nowhere; a level it refuses is
// *refused (a heap text). OUTPUT_UNWRITABLE leaves the system's reason as the last error.
static output_problem make_folders(const char *path, const output_rules &rules, char **refused)
{
    int kind = path_attributes(path);
    if (kind >= 0) {
        // A file where a folder belongs: 267 = ERROR_DIRECTORY, "the directory name is invalid".
        if (kind == 0)
            set_last_error(267);
        return kind == 1 ? OUTPUT_READY : OUTPUT_UNWRITABLE;
    }
    char *parent = folder_of(path);
    output_problem problem = OUTPUT_READY;
    if (parent && strcmp(parent, path) != 0) {
        problem = make_folders(parent, rules, refused);
        if (problem == OUTPUT_READY && rules.guarded) {
            problem = hold_folder(parent, rules);
            if (problem == OUTPUT_FOLDER_NOT_PRIVATE && !*refused) {
                *refused = parent;
                parent = nullptr;
            }
        }
    }
    free(parent);
    if (problem == OUTPUT_READY && !create_directory(path) && path_attributes(path) != 1)
        problem = OUTPUT_UNWRITABLE;
    return problem;
}

output_problem ready_output_folder(const char *path, const output_rules &rules, char **folder)
{
    *folder = folder_of(path);
    if (!*folder && rules.guarded && !(*folder = current_directory()))
        return OUTPUT_UNWRITABLE;
    if (!*folder)
        return OUTPUT_READY;
    char *refused = nullptr;
    output_problem problem = make_folders(*folder, rules, &refused);
    if (refused) {
        free(*folder);
        *folder = refused;
    }
    // A guarded run writes only in a folder no other account may change, held from here on:
    // nobody can put a link where the file is rotated and opened.
    return problem == OUTPUT_READY && rules.guarded ? hold_folder(*folder, rules) : problem;
}

output_problem ready_output_file(const char *path, const output_rules &rules, char **folder)
{
    output_problem problem = ready_output_folder(path, rules, folder);
    if (problem != OUTPUT_READY)
        return problem;
    bool append = prepare_output_file(path, rules.append, rules.max_kb, rules.keep);
    switch (open_output_file(path, rules.guarded, &append)) {
    case OUTPUT_OPENED:
        return OUTPUT_READY;
    case OUTPUT_NOT_REGULAR:
        return OUTPUT_NOT_A_FILE;
    default:
        return OUTPUT_UNWRITABLE;
    }
}

char *output_file_path(const char *setting, const char *folder)
{
    // Absolute: a drive ("C:"), or a leading "\" (the drive's root, or "\\server\share").
    bool absolute = (setting[0] && setting[1] == ':') || setting[0] == '\\' || setting[0] == '/';
    if (!folder || absolute || !setting[0])
        return must_copy(setting);
    return join_text(folder, setting);
}
