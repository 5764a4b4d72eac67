// Reading a built launcher back into the configuration that makes it (trevalo-build --print).
// Portable.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "builder/pe_resources.h"

// A file the printed configuration names: an embedded file, the splash bitmap or the icon,
// with its content and last-write time (a FILETIME's halves; 0 for the bitmap and the icon).
struct printed_file {
    std::string name;
    uint32_t time_low, time_high;
    std::string content;
};

// The configuration of the launcher in image, as UTF-8 text with a byte-order mark: the stub's
// architecture and subsystem (from the program's header), every setting by name, the embedded
// files (an embed line each, their sizes and times in comments), the splash bitmap and the icon
// (splash.bmp and icon.ico, or another name when an embedded file has that one), the version
// information and the manifest's execution level. files receives the files it names; written
// beside the text (embedded files with their last-write times), they build the same launcher
// again. Refuses a launcher whose settings, file names or version texts no configuration line
// can give back (line breaks, blanks at either end, texts that are not UTF-16): the text is
// parsed back and compared before it is returned.
bool print_launcher(const pe_image &image, std::string *text, std::vector<printed_file> *files,
                    std::string *error);

// A name of the form base.extension that none of files has, without regard to case as Windows
// compares names: base.extension, else base-2.extension and so on.
std::string free_file_name(const std::string &base, const std::string &extension,
                           const std::vector<printed_file> &files);
