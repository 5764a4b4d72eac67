// The launcher's icon: reading and checking an icon file (.ico), writing its images into a
// program as the icon group Windows shows for it, and reading that group back as an icon file.
// Portable.
//
// In a program an icon is one RT_GROUP_ICON resource (a copy of the file's directory whose
// entries name RT_ICON resources instead of file offsets) and one RT_ICON resource per image.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "builder/pe_resources.h"

enum { RT_ICON_TYPE = 3, RT_GROUP_ICON_TYPE = 14 };

// One image of an icon, with the fields of its directory entry (a width or height of 0 means
// 256) and its bytes: a PNG file, or a device-independent bitmap (header, colour table, colour
// pixels, then the 1-bit transparency mask) whose height counts both pixel arrays.
struct icon_image {
    uint8_t width, height, colors, reserved;
    uint16_t planes, bit_count;
    std::vector<unsigned char> data;
};

// Reads an icon file of size bytes and checks it as thoroughly as Windows relies on it: a
// directory of at least one entry, each image inside the file and after the directory, no two
// images sharing bytes, each a PNG or a sane bitmap whose size matches its entry and whose
// pixels fit in its bytes. Returns false with error saying what is wrong.
bool parse_icon_file(const unsigned char *data, size_t size, std::vector<icon_image> *images,
                     std::string *error);

// The icon file of images: the directory, then the images one after the other.
std::vector<unsigned char> build_icon_file(const std::vector<icon_image> &images);

// Replaces the image's icon (its first icon group, the one Windows shows for the program) by
// the icon file of ico_size bytes at ico: the group keeps its name and language, the RT_ICON
// resources it used are removed, and the new images become RT_ICON resources numbered from 1
// upwards, passing over numbers other groups use. Refuses an image without an icon group and
// a broken icon file.
bool apply_icon(pe_image *image, const unsigned char *ico, size_t ico_size, std::string *error);

// The images of the image's first icon group; *found is false when it has none. Refuses a
// group that is damaged or names an image the program does not have.
bool read_icon(const pe_image &image, std::vector<icon_image> *images, bool *found,
               std::string *error);
