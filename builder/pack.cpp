// Packing files into the embedded-file archive.
#include "builder/pack.h"

#include "base/archive.h"
#include "builder/setting_check.h"

static void put_u32(std::string *out, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out->push_back((char)(value >> (8 * i)));
}

std::string build_archive(const std::vector<packed_file> &files)
{
    if (files.empty())
        return std::string(1, '\0');
    std::string out;
    put_u32(&out, (uint32_t)files.size());
    for (const packed_file &f : files) {
        out += f.name;
        out.push_back('\0');
        put_u32(&out, f.time_low);
        put_u32(&out, f.time_high);
        put_u32(&out, (uint32_t)f.content.size());
        out += f.content;
    }
    return out;
}

std::string packed_name_problem(const std::string &name)
{
    if (name.empty() || !archive_name_is_safe(name.c_str()))
        return "the launcher cannot unpack a file named '" + shown(name) + "'";
    std::string problem = windows_name_problem(name);
    return problem.empty() ? "" : "'" + shown(name) + "': " + problem;
}

static uint32_t get_u32(const std::string &s, size_t at)
{
    return (uint32_t)(unsigned char)s[at] | (uint32_t)(unsigned char)s[at + 1] << 8 |
           (uint32_t)(unsigned char)s[at + 2] << 16 | (uint32_t)(unsigned char)s[at + 3] << 24;
}

bool bitmap_resource(const std::string &file, std::string *resource, std::string *error)
{
    // File header: "BM", file size, two reserved words, offset of the pixels. Then the
    // bitmap's own header, which starts with its size: 12 (old style) or 40 and more.
    if (file.size() < 14 + 12 || file.compare(0, 2, "BM") != 0) {
        *error = "not a Windows bitmap (.bmp) file";
        return false;
    }
    uint32_t header_size = get_u32(file, 14);
    uint32_t pixels_at = get_u32(file, 10);
    if ((header_size != 12 && header_size < 40) || 14 + (size_t)header_size > file.size() ||
        pixels_at < 14 + header_size || pixels_at > file.size()) {
        *error = "damaged Windows bitmap (.bmp) file";
        return false;
    }
    *resource = file.substr(14);
    return true;
}
