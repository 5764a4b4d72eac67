// The launcher builder's file seam: the few file operations the builder needs, declared once and
// implemented for POSIX systems (files_posix.cpp) and for Windows (files_win32.cpp), so that the
// rest of the builder is the same program on both and writes the same bytes.
//
// Paths and texts are UTF-8 on both systems (the Windows side converts to UTF-16 at every call,
// so that any path works whatever the machine's code page). A function that can fail fills
// *error with one text naming the file and the system's reason, and returns false.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// The largest file the builder reads: no Windows program may be larger, and every input ends up
// inside one.
const uint64_t MAX_INPUT_SIZE = 0x7FFFFFFF;

struct file_facts {
    bool folder;          // a folder rather than a file
    bool regular;         // a plain file: neither a folder nor a device, pipe or socket
    uint64_t size;        // bytes; 0 for a folder
    uint64_t write_time;  // last write, as Windows' FILETIME: 100 ns units since 1601 (UTC)
};

// The program's arguments after its name, in UTF-8 (on Windows read from the wide command line,
// so that arguments outside the code page arrive whole).
std::vector<std::string> program_arguments(int argc, char **argv);

// What path is: a file or a folder, its size and last-write time.
bool file_stat(const std::string &path, file_facts *facts, std::string *error);

// The whole content of the file at path. What is not a regular file (a folder, a device, a
// pipe) and files larger than MAX_INPUT_SIZE are refused before anything is read.
bool read_whole_file(const std::string &path, std::string *content, std::string *error);

// The names of the files directly inside folder (not sub-folders, nor the files in them), in
// the order the system lists them.
bool list_plain_files(const std::string &folder, std::vector<std::string> *names,
                      std::string *error);

// Writes size bytes at data as the file at path: first under a temporary name in path's folder,
// which is then renamed over path. A failed run leaves no temporary file, and an earlier file at
// path as it was. write_time (as in file_facts) becomes the file's last-write time; 0 leaves
// the time of writing.
bool write_file_replacing(const std::string &path, const unsigned char *data, size_t size,
                          std::string *error, uint64_t write_time = 0);

// Writes text to standard output byte for byte (on Windows too, whose C runtime would write
// each line end as CR LF). False when it could not; the caller flushes at the end.
bool write_standard_output(const std::string &text, std::string *error);

// Creates the folder at path; true when it exists already.
bool make_folder(const std::string &path, std::string *error);

// The folder holding the builder's own program ("." when the system does not say).
std::string builder_folder();

// True when path does not depend on the current folder.
bool is_absolute_path(const std::string &path);

// The separator the system puts between a folder and a name: '/' or '\'.
extern const char PATH_SEPARATOR;
