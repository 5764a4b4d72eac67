// Packing files into the embedded-file archive a launcher unpacks at start-up. Portable.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct packed_file {
    std::string name;   // plain file name, without a folder
    uint32_t time_low;  // last-write time, as FILETIME's two halves
    uint32_t time_high;
    std::string content;
};

// The archive of files in the given order. No files give the single zero byte that means
// "nothing to unpack".
std::string build_archive(const std::vector<packed_file> &files);

// Why name cannot be an embedded file's name (empty: it can): the launcher must be able to join
// it to the unpacking folder, and Windows to hold it (see windows_name_problem).
std::string packed_name_problem(const std::string &name);

// Checks that file holds a Windows bitmap (.bmp) and gives the bitmap resource made from it:
// the file without its 14-byte file header. Returns false with error saying what is wrong.
bool bitmap_resource(const std::string &file, std::string *resource, std::string *error);
