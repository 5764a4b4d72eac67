// The application's output files: rotation by size before a run, and whether the run appends.
// Portable: files through the system seam.
#pragma once

// The most older output files kept: a larger output_keep counts as this.
enum { OUTPUT_KEEP_MOST = 999 };

// Readies the output file at path for a run and says whether the run appends to it (true) or
// empties it. A path.rotating that a run left when it ended part-way through a rotation is
// first put back: as path when there is none, else as the newest older file (as below); when
// that cannot be done, everything stays and the run appends. With max_kb above 0 and the file larger than max_kb KB, the file is rotated:
// path.<keep> is removed, path.<n> becomes path.<n+1> for n from keep-1 down to 1, and path
// becomes path.1 (keep 0: the file is emptied). A rotation that cannot be done (another process
// holds a file) leaves every file as it is and the run appends: nothing the earlier runs wrote
// is lost and the application still starts. Otherwise the run appends when append is set.
bool prepare_output_file(const char *path, bool append, int max_kb, int keep);

// How a run's output files are opened: the settings, and whether the run is guarded (a
// service, or an elevated run; own_account as hold_private_directory takes it).
struct output_rules {
    bool append;
    int max_kb, keep;
    bool guarded, own_account;
};

enum output_problem { OUTPUT_READY, OUTPUT_UNWRITABLE, OUTPUT_FOLDER_NOT_PRIVATE, OUTPUT_NOT_A_FILE };

// Readies the output file at path for the run, which then opens it by path for appending:
// readies its folder (ready_output_folder), then rotates and opens it as prepare_output_file
// and open_output_file say (guarded: checked). OUTPUT_UNWRITABLE leaves the system's reason
// as the last error.
output_problem ready_output_file(const char *path, const output_rules &rules, char **folder);

// Makes the folder of the output file at path, and the folders above it, when missing; for a
// guarded run each inside a held folder that no other account may change, and the folder
// itself held (the current one for a bare name). *folder is the folder for the report: the
// file's, or the level refused (a heap text, or null). Problems as ready_output_file's.
output_problem ready_output_folder(const char *path, const output_rules &rules, char **folder);

// The path of an output file named by setting, for a run whose relative names are taken from
// folder (with its trailing "\"; null: as they are): a new heap text.
char *output_file_path(const char *setting, const char *folder);
