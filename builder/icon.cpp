// The launcher's icon: icon files and the icon resources of a program.
#include "builder/icon.h"

#include <algorithm>
#include <set>

namespace {

const size_t FILE_HEADER_SIZE = 6, FILE_ENTRY_SIZE = 16, GROUP_ENTRY_SIZE = 14;
const size_t BITMAP_HEADER_SIZE = 40;
const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

unsigned get16(const unsigned char *p)
{
    return p[0] | p[1] << 8;
}

uint32_t get32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

uint32_t get32_big_endian(const unsigned char *p)
{
    return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void put16(std::vector<unsigned char> *out, unsigned value)
{
    out->push_back((unsigned char)value);
    out->push_back((unsigned char)(value >> 8));
}

void put32(std::vector<unsigned char> *out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A directory entry's width or height: 0 stands for 256, which a byte cannot hold.
unsigned entry_size(uint8_t value)
{
    return value ? value : 256;
}

bool is_png(const std::vector<unsigned char> &data)
{
    return data.size() >= sizeof PNG_SIGNATURE &&
           std::equal(PNG_SIGNATURE, PNG_SIGNATURE + sizeof PNG_SIGNATURE, data.begin());
}

// Checks one image's bytes against its directory entry; what_image starts the error text.
bool check_image(const icon_image &image, const std::string &what_image, std::string *error)
{
    const std::vector<unsigned char> &d = image.data;
    unsigned width, height;
    if (is_png(d)) {
        // The signature, then the IHDR chunk: length, type, width and height (big-endian).
        if (d.size() < 8 + 8 + 13 || std::string(d.begin() + 12, d.begin() + 16) != "IHDR") {
            *error = what_image + "is a PNG image without its IHDR header";
            return false;
        }
        uint32_t w = get32_big_endian(&d[16]), h = get32_big_endian(&d[20]);
        if (w == 0 || h == 0 || w > 256 || h > 256) {
            *error = what_image + "is a PNG image of " + std::to_string(w) + "x" +
                     std::to_string(h) + " pixels; an icon image has 1 to 256 a side";
            return false;
        }
        width = w, height = h;
    } else {
        if (d.size() < BITMAP_HEADER_SIZE) {
            *error = what_image + "is neither a PNG image nor a bitmap (" +
                     std::to_string(d.size()) + " bytes, too short for a bitmap header)";
            return false;
        }
        uint32_t header_size = get32(&d[0]);
        int32_t w = (int32_t)get32(&d[4]), h2 = (int32_t)get32(&d[8]);
        unsigned planes = get16(&d[12]), bits = get16(&d[14]);
        uint32_t compression = get32(&d[16]), colors_used = get32(&d[32]);
        if (header_size != 40 && header_size != 108 && header_size != 124) {
            *error = what_image + "is neither a PNG image nor a bitmap (header size " +
                     std::to_string(header_size) + ")";
            return false;
        }
        // The height counts the colour pixels and the transparency mask below them.
        if (w <= 0 || w > 256 || h2 <= 0 || h2 % 2 || h2 / 2 > 256) {
            *error = what_image + "is a bitmap of " + std::to_string(w) + "x" +
                     std::to_string(h2) + " pixels; an icon bitmap is 1 to 256 wide and twice "
                     "its height (1 to 256) high";
            return false;
        }
        if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
                            bits != 32)) {
            *error = what_image + "is a bitmap of " + std::to_string(planes) + " planes and " +
                     std::to_string(bits) + " bits a pixel; an icon has 1 plane of 1, 4, 8, "
                     "16, 24 or 32 bits";
            return false;
        }
        // 0 = BI_RGB: icons hold plain pixels; compressed ones are PNG images.
        if (compression != 0) {
            *error = what_image + "is a compressed bitmap (compression " +
                     std::to_string(compression) + "); icon bitmaps are uncompressed";
            return false;
        }
        uint64_t palette = bits <= 8 ? (colors_used ? colors_used : 1u << bits) : colors_used;
        if (bits <= 8 && palette > (1u << bits)) {
            *error = what_image + "has " + std::to_string(colors_used) + " colours for " +
                     std::to_string(bits) + " bits a pixel";
            return false;
        }
        width = (unsigned)w, height = (unsigned)h2 / 2;
        // Rows of both pixel arrays are padded to 32 bits.
        uint64_t color_row = ((uint64_t)width * bits + 31) / 32 * 4;
        uint64_t mask_row = ((uint64_t)width + 31) / 32 * 4;
        uint64_t needed = header_size + palette * 4 + (color_row + mask_row) * height;
        if (needed > d.size()) {
            *error = what_image + "is a " + std::to_string(width) + "x" + std::to_string(height) +
                     " bitmap of " + std::to_string(bits) + " bits a pixel, which needs " +
                     std::to_string(needed) + " bytes with its colours and mask; it has " +
                     std::to_string(d.size());
            return false;
        }
    }
    if (width != entry_size(image.width) || height != entry_size(image.height)) {
        *error = what_image + "is " + std::to_string(width) + "x" + std::to_string(height) +
                 " pixels but its directory entry says " + std::to_string(entry_size(image.width)) +
                 "x" + std::to_string(entry_size(image.height));
        return false;
    }
    return true;
}

// The bits a pixel of the image has, for a directory entry that leaves them 0.
unsigned image_bits(const icon_image &image)
{
    return is_png(image.data) ? 32 : get16(&image.data[14]);
}

const pe_resource *first_group(const pe_image &image)
{
    for (const pe_resource &r : image.resources)
        if (r.type.text.empty() && r.type.number == RT_GROUP_ICON_TYPE)
            return &r;
    return nullptr;
}

// The RT_ICON numbers a group's data names, after checking that its entries fit in it.
bool group_ids(const pe_resource &group, std::vector<unsigned> *ids, std::string *error)
{
    const std::vector<unsigned char> &d = group.data;
    if (d.size() < FILE_HEADER_SIZE || d.size() < FILE_HEADER_SIZE + GROUP_ENTRY_SIZE * get16(&d[4])) {
        *error = "the program's icon group is damaged (its entries run past its " +
                 std::to_string(d.size()) + " bytes)";
        return false;
    }
    ids->clear();
    for (unsigned i = 0; i < get16(&d[4]); i++)
        ids->push_back(get16(&d[FILE_HEADER_SIZE + GROUP_ENTRY_SIZE * i + 12]));
    return true;
}

} // namespace

bool parse_icon_file(const unsigned char *data, size_t size, std::vector<icon_image> *images,
                     std::string *error)
{
    images->clear();
    if (size < FILE_HEADER_SIZE) {
        *error = "not an icon file: " + std::to_string(size) + " bytes, too short for its header";
        return false;
    }
    unsigned reserved = get16(data), type = get16(data + 2), count = get16(data + 4);
    if (reserved == 0 && type == 2) {
        *error = "a cursor file, not an icon file";
        return false;
    }
    if (reserved != 0 || type != 1) {
        *error = "not an icon file (its header does not start with 0, 1)";
        return false;
    }
    if (count == 0) {
        *error = "the icon file holds no image";
        return false;
    }
    size_t directory_end = FILE_HEADER_SIZE + FILE_ENTRY_SIZE * count;
    if (directory_end > size) {
        *error = "the icon file is cut short: its directory of " + std::to_string(count) +
                 " images needs " + std::to_string(directory_end) + " bytes, the file has " +
                 std::to_string(size);
        return false;
    }
    // Offsets and ends of the images, to find any two that share bytes.
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    for (unsigned i = 0; i < count; i++) {
        const unsigned char *entry = data + FILE_HEADER_SIZE + FILE_ENTRY_SIZE * i;
        std::string what_image = "icon image " + std::to_string(i + 1) + " of " +
                                 std::to_string(count) + " ";
        uint32_t bytes = get32(entry + 8), offset = get32(entry + 12);
        if (bytes == 0) {
            *error = what_image + "is empty";
            return false;
        }
        if (offset < directory_end) {
            *error = what_image + "starts at byte " + std::to_string(offset) +
                     ", inside the directory";
            return false;
        }
        if (offset > size || bytes > size - offset) {
            *error = what_image + "(" + std::to_string(bytes) + " bytes at byte " +
                     std::to_string(offset) + ") runs past the end of the file (" +
                     std::to_string(size) + " bytes)";
            return false;
        }
        icon_image image;
        image.width = entry[0], image.height = entry[1], image.colors = entry[2];
        image.reserved = entry[3];
        image.planes = (uint16_t)get16(entry + 4), image.bit_count = (uint16_t)get16(entry + 6);
        image.data.assign(data + offset, data + offset + bytes);
        if (!check_image(image, what_image, error))
            return false;
        images->push_back(image);
        spans.push_back({offset, (uint64_t)offset + bytes});
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); i++) {
        if (spans[i].first < spans[i - 1].second) {
            *error = "two icon images share bytes (at byte " + std::to_string(spans[i].first) +
                     ")";
            return false;
        }
    }
    return true;
}

std::vector<unsigned char> build_icon_file(const std::vector<icon_image> &images)
{
    std::vector<unsigned char> out;
    put16(&out, 0);
    put16(&out, 1);
    put16(&out, (unsigned)images.size());
    uint32_t offset = (uint32_t)(FILE_HEADER_SIZE + FILE_ENTRY_SIZE * images.size());
    for (const icon_image &image : images) {
        out.insert(out.end(), {image.width, image.height, image.colors, image.reserved});
        put16(&out, image.planes);
        put16(&out, image.bit_count);
        put32(&out, (uint32_t)image.data.size());
        put32(&out, offset);
        offset += (uint32_t)image.data.size();
    }
    for (const icon_image &image : images)
        out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

bool apply_icon(pe_image *image, const unsigned char *ico, size_t ico_size, std::string *error)
{
    std::vector<icon_image> images;
    if (!parse_icon_file(ico, ico_size, &images, error))
        return false;
    const pe_resource *found = first_group(*image);
    if (!found) {
        *error = "the stub has no icon to replace (no RT_GROUP_ICON resource)";
        return false;
    }
    pe_resource group = *found;
    std::vector<unsigned> old_ids;
    if (!group_ids(group, &old_ids, error))
        return false;

    // Images the other groups use stay; so do their numbers.
    std::set<unsigned> kept_ids;
    for (const pe_resource &r : image->resources) {
        std::vector<unsigned> ids;
        bool other_group = r.type.text.empty() && r.type.number == RT_GROUP_ICON_TYPE &&
                           !(r.name.number == group.name.number && r.name.text == group.name.text &&
                             r.language == group.language);
        if (other_group && group_ids(r, &ids, error))
            kept_ids.insert(ids.begin(), ids.end());
    }
    for (unsigned id : old_ids) {
        if (!kept_ids.count(id)) {
            pe_resource_id name{(uint16_t)id};
            pe_remove_resources(image, {RT_ICON_TYPE}, &name, nullptr);
        }
    }
    std::set<unsigned> used;
    for (const pe_resource &r : image->resources)
        if (r.type.text.empty() && r.type.number == RT_ICON_TYPE && r.name.text.empty())
            used.insert(r.name.number);

    // The group's data: the file's header, then per image its directory entry with the
    // resource's number in place of the file offset.
    std::vector<unsigned char> data;
    put16(&data, 0);
    put16(&data, 1);
    put16(&data, (unsigned)images.size());
    unsigned next = 1;
    for (const icon_image &i : images) {
        while (used.count(next))
            next++;
        if (next > 0xFFFF) {
            *error = "no free icon resource numbers are left in the stub";
            return false;
        }
        pe_set_resource(image, {RT_ICON_TYPE}, {(uint16_t)next}, group.language, i.data);
        data.insert(data.end(), {i.width, i.height, i.colors, i.reserved});
        // Windows chooses among the images by these two fields: fill them from the image
        // where the file leaves them 0.
        put16(&data, i.planes ? i.planes : 1);
        put16(&data, i.bit_count ? i.bit_count : image_bits(i));
        put32(&data, (uint32_t)i.data.size());
        put16(&data, next++);
    }
    pe_set_resource(image, group.type, group.name, group.language, data);
    return true;
}

bool read_icon(const pe_image &image, std::vector<icon_image> *images, bool *found,
               std::string *error)
{
    images->clear();
    const pe_resource *group = first_group(image);
    *found = group != nullptr;
    if (!group)
        return true;
    std::vector<unsigned> ids;
    if (!group_ids(*group, &ids, error))
        return false;
    for (size_t k = 0; k < ids.size(); k++) {
        const unsigned char *entry = &group->data[FILE_HEADER_SIZE + GROUP_ENTRY_SIZE * k];
        // The image of the group's own language, else of any.
        const pe_resource *icon = nullptr;
        for (const pe_resource &r : image.resources) {
            if (!r.type.text.empty() || r.type.number != RT_ICON_TYPE || !r.name.text.empty() ||
                r.name.number != ids[k])
                continue;
            if (!icon || r.language == group->language)
                icon = &r;
        }
        if (!icon) {
            *error = "the program's icon group names image " + std::to_string(ids[k]) +
                     ", which the program does not have";
            return false;
        }
        icon_image i;
        i.width = entry[0], i.height = entry[1], i.colors = entry[2], i.reserved = entry[3];
        i.planes = (uint16_t)get16(entry + 4), i.bit_count = (uint16_t)get16(entry + 6);
        i.data = icon->data;
        images->push_back(i);
    }
    return true;
}
