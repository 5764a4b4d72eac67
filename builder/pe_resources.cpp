// Reading and rewriting the resources of a Windows program (PE32 or PE32+) held in memory.
#include "builder/pe_resources.h"

#include <string.h>

#include <algorithm>
#include <utility>
#include <set>

namespace {

const uint32_t SECTION_INITIALISED_DATA = 0x00000040;
const uint32_t SECTION_DISCARDABLE = 0x02000000;
const int DIRECTORY_RESOURCES = 2;
const int DIRECTORY_SECURITY = 4;
const int DIRECTORY_RELOCATIONS = 5;
const int DIRECTORY_DEBUG = 6;
// Neither the file nor the image may reach 2 GB: the loader's limit, and room for the sums
// below to stay in 64 bits without care.
const uint64_t SIZE_LIMIT = 0x7FFFFFFF;

uint16_t get16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void put16(unsigned char *p, uint32_t value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

void put32(unsigned char *p, uint32_t value)
{
    put16(p, value);
    put16(p + 2, value >> 16);
}

uint64_t align_up(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

bool is_power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

std::string hex(uint64_t value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value);
    return "0x" + text;
}

bool fail(std::string *error, const std::string &text)
{
    *error = text;
    return false;
}

struct section {
    size_t header;  // file offset of its entry in the section table
    std::string name;
    uint32_t virtual_size, address, raw_size, raw_pointer, characteristics;
};

// The bytes of a section the loader maps: its raw data, cut to its virtual size.
uint64_t mapped_size(const section &s)
{
    return s.virtual_size ? std::min(s.virtual_size, s.raw_size) : s.raw_size;
}

// The address range a section takes in memory.
uint64_t memory_size(const section &s)
{
    return s.virtual_size ? s.virtual_size : s.raw_size;
}

// Where the parts of a program are.
struct layout {
    bool plus;
    size_t file_header, optional_header, directories;
    uint32_t directory_count, file_alignment, section_alignment;
    std::vector<section> sections;
    size_t resource_section;
    bool is_signed;
};

struct directory_entry {
    uint32_t address, size;
};

directory_entry directory(const unsigned char *data, const layout &l, int index)
{
    if ((uint32_t)index >= l.directory_count)
        return {0, 0};
    const unsigned char *p = data + l.directories + 8 * index;
    return {get32(p), get32(p + 4)};
}

// The file offset of size bytes at address, when a section's mapped raw data holds them all.
bool file_offset(const layout &l, uint64_t address, uint64_t size, uint64_t *offset)
{
    for (const section &s : l.sections) {
        if (address >= s.address && address + size <= s.address + mapped_size(s)) {
            *offset = s.raw_pointer + (address - s.address);
            return true;
        }
    }
    return false;
}

std::string cut_short(const std::string &where)
{
    return "the file is cut short " + where;
}

bool read_sections(const unsigned char *data, size_t size, size_t table, unsigned count,
                   layout *l, std::string *error)
{
    size_t table_end = table + (size_t)count * 40;
    for (unsigned i = 0; i < count; i++) {
        const unsigned char *p = data + table + 40 * i;
        section s;
        s.header = table + 40 * i;
        s.name.assign((const char *)p, strnlen((const char *)p, 8));
        s.virtual_size = get32(p + 8);
        s.address = get32(p + 12);
        s.raw_size = get32(p + 16);
        s.raw_pointer = get32(p + 20);
        s.characteristics = get32(p + 36);
        uint64_t raw_end = (uint64_t)s.raw_pointer + s.raw_size;
        if (s.raw_size && raw_end > size)
            return fail(error, cut_short("or its section table lies: section " + s.name +
                                         " ends at byte " + hex(raw_end) +
                                         ", past the end of the file at " + hex(size)));
        if (s.raw_size && s.raw_pointer < table_end)
            return fail(error, "the section table lies: section " + s.name +
                                   " overlaps the file's headers");
        if ((uint64_t)s.address + memory_size(s) > SIZE_LIMIT)
            return fail(error, "the section table lies: section " + s.name +
                                   " reaches past 2 GB in memory");
        if (s.address < align_up(table_end, l->section_alignment))
            return fail(error, "the section table lies: section " + s.name +
                                   " overlaps the headers in memory");
        if (!l->sections.empty()) {
            const section &before = l->sections.back();
            if (s.address < before.address + memory_size(before))
                return fail(error, "the section table lies: sections " + before.name + " and " +
                                       s.name + " overlap in memory");
        }
        l->sections.push_back(s);
    }
    // Raw data may come in any order in the file, but no two sections may share bytes.
    std::vector<const section *> by_offset;
    for (const section &s : l->sections)
        if (s.raw_size)
            by_offset.push_back(&s);
    std::sort(by_offset.begin(), by_offset.end(), [](const section *a, const section *b) {
        return a->raw_pointer < b->raw_pointer;
    });
    for (size_t i = 1; i < by_offset.size(); i++) {
        const section &a = *by_offset[i - 1], &b = *by_offset[i];
        if ((uint64_t)a.raw_pointer + a.raw_size > b.raw_pointer)
            return fail(error, "the section table lies: sections " + a.name + " and " + b.name +
                                   " overlap in the file");
    }
    return true;
}

// Reads and checks the headers and the section table, and finds the resource section.
bool read_layout(const unsigned char *data, size_t size, layout *l, std::string *error,
                 bool accept_signed = false)
{
    if (size == 0)
        return fail(error, "the file is empty");
    if (size < 2 || data[0] != 'M' || data[1] != 'Z')
        return fail(error, "not a Windows program (no MZ signature at its start)");
    if (size > SIZE_LIMIT)
        return fail(error, "the file is larger than a Windows program can be (2 GB)");
    if (size < 64)
        return fail(error, cut_short("inside its DOS header"));
    uint64_t pe = get32(data + 0x3C);
    if (pe + 4 > size)
        return fail(error, cut_short("before its PE header (at byte " + hex(pe) + ")"));
    if (memcmp(data + pe, "PE\0\0", 4) != 0)
        return fail(error, "not a Windows program (no PE signature)");
    l->file_header = pe + 4;
    l->optional_header = l->file_header + 20;
    if (l->optional_header > size)
        return fail(error, cut_short("inside its file header"));
    unsigned section_count = get16(data + l->file_header + 2);
    size_t optional_size = get16(data + l->file_header + 16);
    if (l->optional_header + optional_size > size)
        return fail(error, cut_short("inside its optional header"));
    const unsigned char *optional = data + l->optional_header;
    uint16_t magic = optional_size >= 2 ? get16(optional) : 0;
    if (magic != 0x10B && magic != 0x20B)
        return fail(error, "not a Windows program (its optional header is neither PE32 nor "
                           "PE32+: magic " + hex(magic) + ")");
    l->plus = magic == 0x20B;
    size_t fixed = l->plus ? 112 : 96;
    if (optional_size < fixed)
        return fail(error, "the optional header is too short (" + std::to_string(optional_size) +
                               " bytes)");
    l->directory_count = get32(optional + fixed - 4);
    l->directories = l->optional_header + fixed;
    if ((uint64_t)l->directory_count * 8 > optional_size - fixed)
        return fail(error, "the optional header is too short for its " +
                               std::to_string(l->directory_count) + " data directories");
    l->section_alignment = get32(optional + 32);
    l->file_alignment = get32(optional + 36);
    if (!is_power_of_two(l->file_alignment) || !is_power_of_two(l->section_alignment) ||
        l->section_alignment < l->file_alignment)
        return fail(error, "the alignments are not powers of two (sections " +
                               hex(l->section_alignment) + ", file " + hex(l->file_alignment) +
                               ")");
    size_t table = l->optional_header + optional_size;
    if (table + (uint64_t)section_count * 40 > size)
        return fail(error, cut_short("inside its section table"));
    if (!read_sections(data, size, table, section_count, l, error))
        return false;

    l->is_signed = directory(data, *l, DIRECTORY_SECURITY).size != 0;
    if (l->is_signed && !accept_signed)
        return fail(error, "the file is signed (it carries an Authenticode signature); sign "
                           "the launcher after building it, not the stub before");
    directory_entry resources = directory(data, *l, DIRECTORY_RESOURCES);
    if (resources.address == 0 || resources.size == 0)
        return fail(error, "the file has no resource directory");
    for (size_t i = 0; i < l->sections.size(); i++) {
        const section &s = l->sections[i];
        if (resources.address >= s.address && resources.address < s.address + memory_size(s)) {
            l->resource_section = i;
            return true;
        }
    }
    return fail(error, "the file has no resource section (its resource directory at " +
                           hex(resources.address) + " is in no section)");
}

// Ids and resources in the order Windows searches them: names first, compared upper-cased,
// then numbers.
char16_t ascii_upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? (char16_t)(c - u'a' + u'A') : c;
}

int compare_ids(const pe_resource_id &a, const pe_resource_id &b)
{
    bool a_named = !a.text.empty(), b_named = !b.text.empty();
    if (a_named != b_named)
        return a_named ? -1 : 1;
    if (!a_named)
        return a.number < b.number ? -1 : a.number > b.number;
    size_t n = std::min(a.text.size(), b.text.size());
    for (size_t i = 0; i < n; i++) {
        char16_t x = ascii_upper(a.text[i]), y = ascii_upper(b.text[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.text.size() < b.text.size() ? -1 : a.text.size() > b.text.size();
}

int compare_keys(const pe_resource &a, const pe_resource &b)
{
    int order = compare_ids(a.type, b.type);
    if (order == 0)
        order = compare_ids(a.name, b.name);
    if (order == 0)
        order = a.language < b.language ? -1 : a.language > b.language;
    return order;
}

bool key_less(const pe_resource &a, const pe_resource &b)
{
    return compare_keys(a, b) < 0;
}

std::string id_text(const pe_resource_id &id)
{
    if (id.text.empty())
        return std::to_string(id.number);
    std::string text = "'";
    for (char16_t c : id.text)
        text += c >= 0x20 && c < 0x7F ? (char)c : '?';
    return text + "'";
}

std::string key_text(const pe_resource &r)
{
    return "type " + id_text(r.type) + ", name " + id_text(r.name) + ", language " +
           std::to_string(r.language);
}

// Walks the resource tree: the directory at offset of the resource section's mapped bytes
// (base, size bytes), at level 0 (types), 1 (names) or 2 (languages).
struct tree_reader {
    const unsigned char *file;
    size_t file_size;
    const layout *l;
    const unsigned char *base;
    uint64_t size;
    std::set<uint32_t> seen;  // directories already read: a tree reaches each one once
    uint64_t total;           // bytes of data and names copied so far
    std::vector<pe_resource> *out;
};

bool damaged(std::string *error, const std::string &what)
{
    return fail(error, "the resource directory is damaged (" + what + ")");
}

bool read_id(tree_reader &t, uint32_t field, pe_resource_id *id, std::string *error)
{
    id->number = 0;
    id->text.clear();
    if (!(field & 0x80000000)) {
        if (field > 0xFFFF)
            return damaged(error, "an id larger than 65535");
        id->number = (uint16_t)field;
        return true;
    }
    uint64_t at = field & 0x7FFFFFFF;
    if (at + 2 > t.size)
        return damaged(error, "a name lies past the resource section");
    uint16_t length = get16(t.base + at);
    if (length == 0)
        return damaged(error, "an empty name");
    if (at + 2 + 2 * (uint64_t)length > t.size)
        return damaged(error, "a name lies past the resource section");
    for (uint16_t i = 0; i < length; i++)
        id->text += (char16_t)get16(t.base + at + 2 + 2 * i);
    return true;
}

bool read_data(tree_reader &t, uint64_t at, pe_resource *r, std::string *error)
{
    if (at + 16 > t.size)
        return damaged(error, "a data entry lies past the resource section");
    uint32_t address = get32(t.base + at), size = get32(t.base + at + 4);
    r->code_page = get32(t.base + at + 8);
    uint64_t offset;
    if (!file_offset(*t.l, address, size, &offset))
        return damaged(error, "the data of " + key_text(*r) + " lies outside the sections");
    // Each resource is a copy of its data and names. A tree that would need more than 16 times
    // the file's size for them has shared or overlapping parts no resource writer makes.
    t.total += size + 2 * (r->type.text.size() + r->name.text.size());
    if (t.total > 16 * (uint64_t)t.file_size)
        return damaged(error, "the resources add up to far more than the whole file");
    r->data.assign(t.file + offset, t.file + offset + size);
    return true;
}

bool read_directory(tree_reader &t, uint64_t at, int level, pe_resource *r, std::string *error)
{
    if (at + 16 > t.size)
        return damaged(error, "a directory lies past the resource section");
    if (!t.seen.insert((uint32_t)at).second)
        return damaged(error, "a directory is reached twice");
    uint64_t count = (uint64_t)get16(t.base + at + 12) + get16(t.base + at + 14);
    if (at + 16 + 8 * count > t.size)
        return damaged(error, "a directory's entries run past the resource section");
    for (uint64_t i = 0; i < count; i++) {
        const unsigned char *entry = t.base + at + 16 + 8 * i;
        pe_resource_id id;
        if (!read_id(t, get32(entry), &id, error))
            return false;
        uint32_t target = get32(entry + 4);
        bool is_directory = (target & 0x80000000) != 0;
        if (level == 0)
            r->type = id;
        else if (level == 1)
            r->name = id;
        else if (!id.text.empty())
            return damaged(error, "a language given by name");
        else
            r->language = id.number;
        if (is_directory != (level < 2))
            return damaged(error, level < 2 ? "data where a directory belongs"
                                            : "a directory where data belongs");
        bool ok = is_directory ? read_directory(t, target & 0x7FFFFFFF, level + 1, r, error)
                               : read_data(t, target, r, error);
        if (!ok)
            return false;
        if (!is_directory)
            t.out->push_back(*r);
    }
    return true;
}

bool read_resources(const unsigned char *data, size_t size, const layout &l,
                    std::vector<pe_resource> *resources, std::string *error)
{
    const section &s = l.sections[l.resource_section];
    uint32_t address = directory(data, l, DIRECTORY_RESOURCES).address;
    uint64_t skip = address - s.address;
    if (skip >= mapped_size(s))
        return damaged(error, "the resource directory lies outside the section's data");
    tree_reader t = {data, size, &l, data + s.raw_pointer + skip, mapped_size(s) - skip,
                     {}, 0, resources};
    pe_resource r = {};
    resources->clear();
    if (!read_directory(t, 0, 0, &r, error))
        return false;
    std::stable_sort(resources->begin(), resources->end(), key_less);
    for (size_t i = 1; i < resources->size(); i++)
        if (compare_keys((*resources)[i - 1], (*resources)[i]) == 0)
            return damaged(error, key_text((*resources)[i]) + " appears twice");
    return true;
}

// Appends to out the resource section's bytes for resources (sorted, no two with the same
// key), to be mapped at address, with room reserved for extra bytes more: the program is
// built in one buffer, so that large resources are held twice at most (in the image and in
// out), never copied through another.
bool build_section(const std::vector<const pe_resource *> &resources, uint32_t address,
                   size_t extra, std::vector<unsigned char> *out, std::string *error)
{
    // Where each directory goes: a depth-first walk, each type's directory followed by its
    // names' language directories.
    struct name_group { size_t first, count; uint64_t directory, string; };
    struct type_group { size_t first; std::vector<name_group> names; uint64_t directory, string; };
    std::vector<type_group> types;
    for (size_t i = 0; i < resources.size(); i++) {
        const pe_resource &r = *resources[i];
        if (types.empty() || compare_ids(resources[types.back().first]->type, r.type) != 0)
            types.push_back({i, {}, 0, 0});
        std::vector<name_group> &names = types.back().names;
        if (names.empty() || compare_ids(resources[names.back().first]->name, r.name) != 0)
            names.push_back({i, 0, 0, 0});
        names.back().count++;
        if (r.type.text.size() > 0xFFFF || r.name.text.size() > 0xFFFF)
            return fail(error, "the name of " + key_text(r) + " is longer than 65535 units");
        if (r.data.size() > SIZE_LIMIT)
            return fail(error, "the data of " + key_text(r) + " is larger than 2 GB");
    }
    // The directories and then the names, each in the order of a depth-first walk: a type,
    // then its names.
    uint64_t at = 16 + 8 * (uint64_t)types.size();
    for (type_group &t : types) {
        t.directory = at;
        at += 16 + 8 * (uint64_t)t.names.size();
        for (name_group &n : t.names) {
            n.directory = at;
            at += 16 + 8 * (uint64_t)n.count;
        }
    }
    auto place = [&](const std::u16string &text) {
        uint64_t where = at;
        if (!text.empty())
            at += 2 + 2 * (uint64_t)text.size();
        return where;
    };
    for (type_group &t : types) {
        t.string = place(resources[t.first]->type.text);
        for (name_group &n : t.names)
            n.string = place(resources[n.first]->name.text);
    }
    uint64_t entries_at = align_up(at, 8);
    at = entries_at + 16 * (uint64_t)resources.size();
    std::vector<uint64_t> data_at;
    for (const pe_resource *r : resources) {
        at = align_up(at, 8);
        data_at.push_back(at);
        at += r->data.size();
        if (address + at > SIZE_LIMIT)
            return fail(error, "the resources are too large for a Windows program");
    }
    at = align_up(at, 8);

    size_t base = out->size();
    out->reserve(base + at + extra);
    out->resize(base + at, 0);
    unsigned char *bytes = out->data() + base;
    // A directory and its entries, the named ones first as its header counts them.
    struct entry { const pe_resource_id &id; uint64_t string; uint64_t target; };
    auto put_directory = [&](uint64_t where, const std::vector<entry> &entries) {
        size_t named = 0;
        for (const entry &e : entries)
            named += !e.id.text.empty();
        put16(bytes + where + 12, (uint32_t)named);
        put16(bytes + where + 14, (uint32_t)(entries.size() - named));
        for (size_t i = 0; i < entries.size(); i++) {
            const entry &e = entries[i];
            unsigned char *p = bytes + where + 16 + 8 * i;
            put32(p, e.id.text.empty() ? e.id.number : 0x80000000u | (uint32_t)e.string);
            put32(p + 4, (uint32_t)e.target);
            if (!e.id.text.empty())
                put16(bytes + e.string, (uint32_t)e.id.text.size());
            for (size_t k = 0; k < e.id.text.size(); k++)
                put16(bytes + e.string + 2 + 2 * k, e.id.text[k]);
        }
    };
    const uint32_t SUBDIRECTORY = 0x80000000u;
    std::vector<entry> entries;
    for (const type_group &t : types)
        entries.push_back({resources[t.first]->type, t.string, SUBDIRECTORY | t.directory});
    put_directory(0, entries);
    std::vector<pe_resource_id> languages(resources.size());
    for (const type_group &t : types) {
        entries.clear();
        for (const name_group &n : t.names)
            entries.push_back({resources[n.first]->name, n.string, SUBDIRECTORY | n.directory});
        put_directory(t.directory, entries);
        for (const name_group &n : t.names) {
            entries.clear();
            for (size_t k = n.first; k < n.first + n.count; k++) {
                languages[k].number = resources[k]->language;
                entries.push_back({languages[k], 0, entries_at + 16 * k});
            }
            put_directory(n.directory, entries);
        }
    }
    for (size_t k = 0; k < resources.size(); k++) {
        unsigned char *entry = bytes + entries_at + 16 * k;
        put32(entry, (uint32_t)(address + data_at[k]));
        put32(entry + 4, (uint32_t)resources[k]->data.size());
        put32(entry + 8, resources[k]->code_page);
        if (!resources[k]->data.empty())
            memcpy(bytes + data_at[k], resources[k]->data.data(), resources[k]->data.size());
    }
    return true;
}

// Every address the base relocations change lies below limit.
bool relocations_below(const unsigned char *data, const layout &l, uint64_t limit,
                       std::string *error)
{
    directory_entry relocations = directory(data, l, DIRECTORY_RELOCATIONS);
    if (relocations.size == 0)
        return true;
    uint64_t offset;
    if (!file_offset(l, relocations.address, relocations.size, &offset))
        return fail(error, "the base relocations lie outside the sections");
    const unsigned char *p = data + offset;
    for (uint64_t at = 0; at + 8 <= relocations.size;) {
        uint32_t page = get32(p + at), block = get32(p + at + 4);
        if (block < 8 || at + block > relocations.size)
            return fail(error, "the base relocations are damaged (a block of " +
                                   std::to_string(block) + " bytes)");
        for (uint64_t e = at + 8; e + 2 <= at + block; e += 2) {
            uint16_t value = get16(p + e);
            if ((value >> 12) != 0 && (uint64_t)page + (value & 0xFFF) >= limit)
                return fail(error, "the program relocates an address at " +
                                       hex((uint64_t)page + (value & 0xFFF)) +
                                       ", in the resource section or past it");
        }
        at += block;
    }
    return true;
}

// Checks that the resource section can be rebuilt in place with the sections after it moved.
bool check_rebuildable(const unsigned char *data, const layout &l, std::string *error)
{
    const section &r = l.sections[l.resource_section];
    if (directory(data, l, DIRECTORY_RESOURCES).address != r.address)
        return fail(error, "the resource section " + r.name + " holds more than the resources "
                           "(the resource directory does not start it)");
    if (r.raw_size == 0)
        return fail(error, "the resource section " + r.name + " has no data in the file");
    if (r.raw_pointer % l.file_alignment || r.raw_size % l.file_alignment)
        return fail(error, "the resource section " + r.name + " is not aligned in the file");
    for (size_t i = 0; i < l.sections.size(); i++) {
        const section &s = l.sections[i];
        if (i > l.resource_section && !(s.characteristics & SECTION_DISCARDABLE))
            return fail(error, "the resource section is not the last section: " + s.name +
                               " follows it and cannot be moved (only discardable sections, "
                               "such as relocations and debugging information, can)");
        bool after = i > l.resource_section;
        if (s.raw_size && i != l.resource_section &&
            (after ? s.raw_pointer < r.raw_pointer + (uint64_t)r.raw_size
                   : s.raw_pointer + (uint64_t)s.raw_size > r.raw_pointer))
            return fail(error, "the resource section's data is not where its place in the "
                               "section table puts it in the file (section " + s.name + ")");
    }
    uint32_t entry_point = get32(data + l.optional_header + 16);
    if (entry_point >= r.address)
        return fail(error, "the program's entry point lies in the resource section or past it");
    for (uint32_t i = 0; i < l.directory_count; i++) {
        directory_entry d = directory(data, l, (int)i);
        if (i == DIRECTORY_RESOURCES || i == DIRECTORY_SECURITY || d.size == 0)
            continue;
        bool moved_relocations = i == DIRECTORY_RELOCATIONS &&
                                 d.address >= r.address + memory_size(r);
        if (!moved_relocations && (uint64_t)d.address + d.size > r.address)
            return fail(error, "data directory " + std::to_string(i) +
                                   " points into the resource section or past it");
    }
    // Debugging data that the debug directory finds by address or file offset cannot move.
    directory_entry debug = directory(data, l, DIRECTORY_DEBUG);
    uint64_t offset;
    if (debug.size && !file_offset(l, debug.address, debug.size, &offset))
        return fail(error, "the debug directory lies outside the sections");
    for (uint64_t at = 0; debug.size && at + 28 <= debug.size; at += 28) {
        uint32_t address = get32(data + offset + at + 20), pointer = get32(data + offset + at + 24);
        if ((address && address >= r.address) || (pointer && pointer >= r.raw_pointer))
            return fail(error, "debugging data lies in the resource section or past it");
    }
    return relocations_below(data, l, r.address, error);
}

uint32_t checksum_of(const unsigned char *data, size_t size, size_t field)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        uint32_t word = data[i] | (i + 1 < size ? data[i + 1] << 8 : 0);
        for (size_t k = i; k < i + 2 && k < size; k++)
            if (k >= field && k < field + 4)
                word &= k == i ? 0xFF00 : 0x00FF;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return (uint32_t)sum + (uint32_t)size;
}

} // namespace

bool pe_parse(const unsigned char *data, size_t size, pe_image *image, std::string *error,
              bool accept_signed)
{
    layout l;
    std::vector<pe_resource> resources;
    if (!read_layout(data, size, &l, error, accept_signed) ||
        !read_resources(data, size, l, &resources, error))
        return false;
    image->file.assign(data, data + size);
    image->pe32_plus = l.plus;
    image->is_signed = l.is_signed;
    image->resources.swap(resources);
    return true;
}

void pe_set_resource(pe_image *image, const pe_resource_id &type, const pe_resource_id &name,
                     uint16_t language, std::vector<unsigned char> data)
{
    // The data is moved, not copied: an archive of embedded files may be large.
    pe_resource r = {type, name, language, 0, std::move(data)};
    if (!r.type.text.empty())
        r.type.number = 0;
    if (!r.name.text.empty())
        r.name.number = 0;
    std::vector<pe_resource> &all = image->resources;
    // A type or name the image has already keeps its spelling.
    for (const pe_resource &other : all) {
        if (compare_ids(other.type, r.type) == 0) {
            r.type = other.type;
            if (compare_ids(other.name, r.name) == 0)
                r.name = other.name;
        }
    }
    auto at = std::lower_bound(all.begin(), all.end(), r, key_less);
    if (at != all.end() && compare_keys(*at, r) == 0)
        *at = std::move(r);
    else
        all.insert(at, std::move(r));
}

size_t pe_remove_resources(pe_image *image, const pe_resource_id &type,
                           const pe_resource_id *name, const uint16_t *language)
{
    std::vector<pe_resource> &all = image->resources;
    size_t before = all.size();
    all.erase(std::remove_if(all.begin(), all.end(), [&](const pe_resource &r) {
        return compare_ids(r.type, type) == 0 && (!name || compare_ids(r.name, *name) == 0) &&
               (!language || r.language == *language);
    }), all.end());
    return before - all.size();
}

bool pe_write(const pe_image &image, std::vector<unsigned char> *out, std::string *error)
{
    const std::vector<unsigned char> &file = image.file;
    layout l;
    if (!read_layout(file.data(), file.size(), &l, error) ||
        !check_rebuildable(file.data(), l, error))
        return false;
    std::vector<const pe_resource *> sorted;
    for (const pe_resource &r : image.resources)
        sorted.push_back(&r);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const pe_resource *a, const pe_resource *b) { return key_less(*a, *b); });
    for (size_t i = 1; i < sorted.size(); i++)
        if (compare_keys(*sorted[i - 1], *sorted[i]) == 0)
            return fail(error, key_text(*sorted[i]) + " is given twice");
    const section &r = l.sections[l.resource_section];
    // The new file: everything before the resource section's data, the new resources padded to
    // the file alignment, then everything after the old resource data, shifted.
    uint64_t old_end = (uint64_t)r.raw_pointer + r.raw_size;
    out->assign(file.begin(), file.begin() + r.raw_pointer);
    if (!build_section(sorted, r.address, l.file_alignment + (file.size() - old_end), out, error))
        return false;
    size_t section_size = out->size() - r.raw_pointer;
    uint64_t raw_size = align_up(section_size, l.file_alignment);
    int64_t shift = (int64_t)raw_size - (int64_t)r.raw_size;
    if ((int64_t)file.size() + shift > (int64_t)SIZE_LIMIT)
        return fail(error, "the resources are too large for a Windows program");
    out->resize(r.raw_pointer + raw_size, 0);
    out->insert(out->end(), file.begin() + old_end, file.end());
    unsigned char *o = out->data();

    put32(o + r.header + 8, (uint32_t)section_size);
    put32(o + r.header + 16, (uint32_t)raw_size);
    put32(o + l.directories + 8 * DIRECTORY_RESOURCES + 4, (uint32_t)section_size);
    if (r.characteristics & SECTION_INITIALISED_DATA) {
        unsigned char *initialised = o + l.optional_header + 8;
        int64_t size = (int64_t)get32(initialised) + shift;
        put32(initialised, (uint32_t)std::min<int64_t>(std::max<int64_t>(size, 0), 0xFFFFFFFF));
    }
    // The sections after the resources keep their order and the gaps between them.
    int64_t move = 0;
    if (l.resource_section + 1 < l.sections.size())
        move = (int64_t)align_up(r.address + section_size, l.section_alignment) -
               l.sections[l.resource_section + 1].address;
    uint64_t image_size = 0;
    for (size_t i = 0; i < l.sections.size(); i++) {
        const section &s = l.sections[i];
        uint64_t address = s.address, size = i == l.resource_section ? section_size
                                                                      : memory_size(s);
        if (i > l.resource_section) {
            address += move;
            put32(o + s.header + 12, (uint32_t)address);
            if (s.raw_size)
                put32(o + s.header + 20, (uint32_t)(s.raw_pointer + shift));
        }
        // File offsets of COFF relocations and line numbers, where a section records any.
        for (int field : {24, 28}) {
            uint32_t at = get32(o + s.header + field);
            if (at >= old_end)
                put32(o + s.header + field, (uint32_t)(at + shift));
            else if (at >= r.raw_pointer && at != 0)
                return fail(error, "section " + s.name + " records data inside the resources");
        }
        image_size = std::max(image_size, align_up(address + size, l.section_alignment));
    }
    if (image_size > SIZE_LIMIT)
        return fail(error, "the resources are too large for a Windows program");
    put32(o + l.optional_header + 56, (uint32_t)image_size);
    unsigned char *relocations = o + l.directories + 8 * DIRECTORY_RELOCATIONS;
    if (l.directory_count > DIRECTORY_RELOCATIONS && get32(relocations + 4) != 0 &&
        get32(relocations) > r.address)
        put32(relocations, (uint32_t)(get32(relocations) + move));
    unsigned char *symbols = o + l.file_header + 8;
    if (get32(symbols) >= old_end)
        put32(symbols, (uint32_t)(get32(symbols) + shift));
    else if (get32(symbols) >= r.raw_pointer)
        return fail(error, "the symbol table lies inside the resource section");
    size_t checksum = l.optional_header + 64;
    put32(o + checksum, checksum_of(o, out->size(), checksum));
    return true;
}

bool pe_checksum(const unsigned char *data, size_t size, uint32_t *recorded, uint32_t *computed,
                 std::string *error)
{
    layout l;
    if (!read_layout(data, size, &l, error))
        return false;
    *recorded = get32(data + l.optional_header + 64);
    *computed = checksum_of(data, size, l.optional_header + 64);
    return true;
}

bool pe_encode_string_block(const std::vector<std::u16string> &strings,
                            std::vector<unsigned char> *data, std::string *error)
{
    if (strings.size() > 16)
        return fail(error, "a string block holds 16 strings, not " +
                               std::to_string(strings.size()));
    data->clear();
    for (size_t i = 0; i < 16; i++) {
        const std::u16string empty, &s = i < strings.size() ? strings[i] : empty;
        if (s.size() > 0xFFFF)
            return fail(error, "string " + std::to_string(i) + " of the block is longer than "
                               "65535 units");
        size_t at = data->size();
        data->resize(at + 2 + 2 * s.size());
        put16(data->data() + at, (uint32_t)s.size());
        for (size_t k = 0; k < s.size(); k++)
            put16(data->data() + at + 2 + 2 * k, s[k]);
    }
    return true;
}

bool pe_decode_string_block(const unsigned char *data, size_t size,
                            std::vector<std::u16string> *strings, std::string *error)
{
    strings->assign(16, std::u16string());
    size_t at = 0;
    for (size_t i = 0; i < 16 && at < size; i++) {
        if (at + 2 > size)
            return fail(error, "the block ends inside the length of string " + std::to_string(i));
        size_t length = get16(data + at);
        at += 2;
        if (at + 2 * length > size)
            return fail(error, "string " + std::to_string(i) + " of the block runs past its end");
        for (size_t k = 0; k < length; k++)
            (*strings)[i] += (char16_t)get16(data + at + 2 * k);
        at += 2 * length;
    }
    return true;
}
