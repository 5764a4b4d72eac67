// Making a launcher: a configuration's settings, embedded files and splash written into the
// resources of a launcher stub. Portable: files are reached through builder/files.h, resources
// through builder/pe_resources.h, so the builders for Linux and for Windows write the same bytes.
#pragma once

#include <string>
#include <vector>

#include "builder/config.h"
#include "builder/pe_resources.h"

// Reads the stub at path into image and checks that it is a launcher stub: a Windows program
// whose resources hold the launcher's event-log message table (type 11, id 1, en-US). Any
// launcher is one too, so a launcher may serve as the stub of another.
bool read_stub(const std::string &path, pe_image *image, std::string *error);

// The stub beside the builder that config names: trevalo-stub-<architecture>[-console].exe.
std::string default_stub_path(const builder_config &config);

// Gives image (a parsed stub) the launcher's resources: first drops everything the builder
// writes itself (the whole string table, the embedded-file archive and its hash, the splash
// bitmap), so nothing of a launcher used as the stub survives; then writes each non-empty
// setting as the first string of its own string block (en-US), the archive of the embedded
// files with its 8-byte hash, the splash bitmap (both language neutral), the icon, the version
// information and the manifest's execution level. Every other resource of the stub is kept. Paths of the configuration are relative to config_folder.
// Further steps may change image after it, before pe_write.
bool build_launcher(const builder_config &config, const std::string &config_folder,
                    pe_image *image, std::string *error);

// The files of a folder in the order they are packed: by name without regard to case (ASCII
// letters folded to lower case), names equal that way by their bytes. Every system sorts
// alike, so the same folder always packs the same way.
void sort_file_names(std::vector<std::string> *names);

// path as a configuration writes it, resolved against base (absolute paths stay as they are).
// '\' separates folders on every system, as in the configurations written for Windows.
std::string resolve_path(const std::string &path, const std::string &base);

// The folder of path ("." for a plain name).
std::string folder_of(const std::string &path);
