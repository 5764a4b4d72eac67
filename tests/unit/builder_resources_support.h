// What the builder's resource tests share: files, commands, icons made to measure, and a
// launcher built on the host from a configuration by the builder's own steps.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>
#include <strings.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/archive.h"
#include "base/resource_ids.h"
#include "builder/build.h"
#include "builder/config.h"
#include "builder/execution_level.h"
#include "builder/icon.h"
#include "builder/pack.h"
#include "builder/pe_resources.h"
#include "tests/unit/shell_output.h"
#include "builder/utf16.h"
#include "builder/version_info.h"

typedef std::vector<unsigned char> bytes;

inline bytes read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::string write_bytes(const std::string &path, const bytes &content)
{
    std::ofstream(path, std::ios::binary).write((const char *)content.data(), content.size());
    return path;
}

// A fresh folder under the test output folder.
inline std::string out_folder(const std::string &name)
{
    std::string path = std::string(RESOURCES_TEST_OUT) + "/" + name;
    system(("rm -rf '" + path + "' && mkdir -p '" + path + "'").c_str());
    return path;
}

inline void put16(bytes *out, unsigned v)
{
    out->push_back((unsigned char)v);
    out->push_back((unsigned char)(v >> 8));
}

inline void put32(bytes *out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A 32-bit icon bitmap of size x size pixels, all of one colour, with its mask.
inline bytes icon_bitmap(unsigned size, uint32_t color)
{
    bytes b;
    for (uint32_t v : {40u, size, 2 * size})
        put32(&b, v);
    put16(&b, 1);
    put16(&b, 32);
    for (int i = 0; i < 6; i++)
        put32(&b, 0);
    for (unsigned i = 0; i < size * size; i++)
        put32(&b, color);
    b.resize(b.size() + (size + 31) / 32 * 4 * size, 0);
    return b;
}

// A 1x1 PNG image.
inline bytes tiny_png()
{
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
        0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return bytes(png, png + sizeof png);
}

// An icon file of 32-bit bitmaps of the given sizes, in that order.
inline bytes icon_file(const std::vector<unsigned> &sizes)
{
    std::vector<icon_image> images;
    for (unsigned s : sizes)
        images.push_back({(uint8_t)s, (uint8_t)s, 0, 0, 1, 32, icon_bitmap(s, 0xFF000000 | s)});
    return build_icon_file(images);
}

// The stub the builder would take for config: that of its architecture and subsystem.
inline std::string stub_path(const builder_config &config)
{
    return std::string(config.architecture == "x86" ? RESOURCES_TEST_WIN32 : RESOURCES_TEST_WIN64) +
           "/trevalo-stub-" + config.architecture +
           (config.subsystem == "console" ? "-console" : "") + ".exe";
}

// The launcher the configuration at path builds, on the host, with the builder's own steps and
// the stub of the configuration's architecture and subsystem; *error when it is refused.
inline bytes build_launcher_on_host(const std::string &path, std::string *error)
{
    bytes text = read_bytes(path), out;
    builder_config config;
    pe_image image;
    if (parse_config(std::string(text.begin(), text.end()), &config, error) &&
        read_stub(stub_path(config), &image, error) &&
        build_launcher(config, folder_of(path), &image, error))
        pe_write(image, &out, error);
    return out;
}
