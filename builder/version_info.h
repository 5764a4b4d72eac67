// The launcher's version information: the VS_VERSIONINFO resource (RT_VERSION, number 1, US
// English) that Explorer's properties and Windows' version functions read. Portable.
//
// It holds fixed file and product versions of four 16-bit numbers each, then the strings of
// one table, "040904B0" (US English, UTF-16), and a translation list naming that one table.
// Every block is its total length, the length of its value, its kind (0 binary, 1 text), its
// UTF-16 key with its terminating NUL, and 32-bit alignment before its value and each child.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "builder/pe_resources.h"
#include "builder/version_number.h"

struct builder_config;

enum { RT_VERSION_TYPE = 16 };

struct version_info {
    uint16_t file_version[4];
    uint16_t product_version[4];
    // The string table's entries in their order, as key and value (UTF-8).
    std::vector<std::pair<std::string, std::string>> strings;
};

// The resource's bytes. Refuses a value that is not UTF-8 and a resource that would pass the
// 65535 bytes a block's length can count.
bool encode_version_info(const version_info &info, std::vector<unsigned char> *data,
                         std::string *error);

// Reads a version resource back: the fixed versions and the first string table's entries.
// Refuses a block whose length runs past its parent, a resource without the fixed versions'
// signature, and strings that are not UTF-16.
bool decode_version_info(const unsigned char *data, size_t size, version_info *info,
                         std::string *error);

// The configuration keys of the version information and the names of their strings, in the
// order the table holds them. file_version and product_version also give the fixed versions.
struct version_key {
    const char *key;
    const char *string_name;
    std::string builder_config::*field;
};
extern const version_key version_keys[];
extern const size_t version_key_count;

// Writes the version resource that config's version keys describe, replacing any the image
// has; with none of those keys set, removes the image's version resources (a launcher used as
// the stub keeps none of its own). A version not given is the other one (0.0.0.0 when both are
// missing); the FileVersion and ProductVersion strings are the versions as four numbers; other
// strings left empty are left out.
bool apply_version_info(pe_image *image, const builder_config &config, std::string *error);
