// What the builder's resource tests share: files, commands, icons made to measure, and a
// launcher built on the host from a configuration with the portable modules, as the builder
// builds one (settings as string blocks, archive and hash, splash, icon, version
// information, execution level).
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
#include "builder/config.h"
#include "builder/execution_level.h"
#include "builder/icon.h"
#include "builder/pack.h"
#include "builder/pe_resources.h"
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

// What a command prints, run by the shell.
inline std::string run(const std::string &command)
{
    FILE *pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    if (pipe)
        pclose(pipe);
    return text;
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

// The files an embed line names (a folder's own files in name order), with their times.
inline void add_embedded(const std::string &path, std::vector<packed_file> *files)
{
    struct stat s;
    ASSERT_EQ(stat(path.c_str(), &s), 0) << path;
    if (S_ISDIR(s.st_mode)) {
        std::vector<std::string> names;
        DIR *dir = opendir(path.c_str());
        while (dirent *e = readdir(dir))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        });
        for (const std::string &n : names)
            add_embedded(path + "/" + n, files);
        return;
    }
    // FILETIME: 100-nanosecond steps since 1601.
    uint64_t time = ((uint64_t)s.st_mtim.tv_sec + 11644473600ULL) * 10000000 +
                    s.st_mtim.tv_nsec / 100;
    bytes content = read_bytes(path);
    files->push_back({path.substr(path.rfind('/') + 1), (uint32_t)time, (uint32_t)(time >> 32),
                      std::string(content.begin(), content.end())});
}

// The launcher the configuration at path builds, on the host; *error when it is refused.
inline bytes build_launcher_on_host(const std::string &path, std::string *error)
{
    bytes text = read_bytes(path), out;
    std::string folder = path.substr(0, path.rfind('/'));
    builder_config config;
    pe_image image;
    if (!parse_config(std::string(text.begin(), text.end()), &config, error))
        return out;
    bytes stub = read_bytes(stub_path(config));
    if (!pe_parse(stub.data(), stub.size(), &image, error))
        return out;
    pe_remove_resources(&image, {6}, nullptr, nullptr);
    for (uint16_t name : {RESOURCE_ARCHIVE, RESOURCE_ARCHIVE_HASH}) {
        pe_resource_id id{name};
        pe_remove_resources(&image, {10}, &id, nullptr);
    }
    pe_resource_id splash_id{RESOURCE_SPLASH};
    pe_remove_resources(&image, {2}, &splash_id, nullptr);
    for (const setting_value &v : config.settings) {
        std::u16string text16;
        bytes block;
        if (v.text.empty())
            continue;
        // The tests' ANSI files are ASCII, the same in UTF-8.
        EXPECT_TRUE(utf8_to_utf16(v.text, &text16)) << v.text;
        EXPECT_TRUE(pe_encode_string_block({text16}, &block, error));
        pe_set_resource(&image, {6}, {(uint16_t)(v.id / 16 + 1)}, 0x0409, block);
    }
    std::vector<packed_file> files;
    for (const std::string &e : config.embedded)
        add_embedded(folder + "/" + e, &files);
    std::string archive = build_archive(files);
    uint64_t hash = archive_hash((const unsigned char *)archive.data(), archive.size());
    bytes hash_bytes;
    put32(&hash_bytes, (uint32_t)hash);
    put32(&hash_bytes, (uint32_t)(hash >> 32));
    pe_set_resource(&image, {10}, {RESOURCE_ARCHIVE}, 0, bytes(archive.begin(), archive.end()));
    pe_set_resource(&image, {10}, {RESOURCE_ARCHIVE_HASH}, 0, hash_bytes);
    if (!config.splash.empty()) {
        bytes file = read_bytes(folder + "/" + config.splash);
        std::string bitmap;
        if (!bitmap_resource(std::string(file.begin(), file.end()), &bitmap, error))
            return out;
        pe_set_resource(&image, {2}, {RESOURCE_SPLASH}, 0, bytes(bitmap.begin(), bitmap.end()));
    }
    if (!config.icon.empty()) {
        bytes ico = read_bytes(folder + "/" + config.icon);
        if (!apply_icon(&image, ico.data(), ico.size(), error))
            return out;
    }
    if (!apply_version_info(&image, config, error) ||
        !apply_execution_level(&image, config.execution_level, error) ||
        !pe_write(image, &out, error))
        out.clear();
    return out;
}
