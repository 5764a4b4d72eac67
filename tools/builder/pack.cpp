// Packing files into the embedded-file archive.
#include "tools/builder/pack.h"

#include <ctype.h>

#include "launcher/archive.h"

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

static std::string lower(const std::string &s)
{
    std::string result = s;
    for (char &c : result)
        c = (char)tolower((unsigned char)c);
    return result;
}

bool check_packed_names(const std::vector<packed_file> &files, std::string *error)
{
    for (size_t i = 0; i < files.size(); i++) {
        const std::string &name = files[i].name;
        if (name.empty() || !archive_name_is_safe(name.c_str())) {
            *error = "cannot embed a file named '" + name + "'";
            return false;
        }
        for (size_t j = 0; j < i; j++) {
            if (lower(files[j].name) == lower(name)) {
                *error = "two embedded files are named '" + name + "'";
                return false;
            }
        }
    }
    return true;
}
