// The application's output files: rotation by size before a run, and whether the run appends.
// Portable: files through the system seam.
#pragma once

// Readies the output file at path for a run and says whether the run appends to it (true) or
// empties it. With max_kb above 0 and the file larger than max_kb KB, the file is rotated:
// path.<keep> is removed, path.<n> becomes path.<n+1> for n from keep-1 down to 1, and path
// becomes path.1 (keep 0: the file is emptied). A rotation that cannot be done (another process
// holds a file) leaves every file as it is and the run appends: nothing the earlier runs wrote
// is lost and the application still starts. Otherwise the run appends when append is set.
bool prepare_output_file(const char *path, bool append, int max_kb, int keep);

// The path of an output file named by setting, for a run whose relative names are taken from
// folder (with its trailing "\"; null: as they are): a new heap text.
char *output_file_path(const char *setting, const char *folder);
