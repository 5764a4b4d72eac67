// Tests of the PE resource module on programs MinGW built, checked by independent readers:
// wrestool, objdump, and Windows' loader and checksum under Wine.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "builder/pe_resources.h"
#include "tests/unit/shell_output.h"

namespace {

typedef std::vector<unsigned char> bytes;

bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

std::string write_out(const std::string &name, const bytes &content)
{
    std::string path = std::string(PE_TEST_OUT) + "/" + name;
    std::ofstream(path, std::ios::binary).write((const char *)content.data(), content.size());
    return path;
}

// What a Windows program prints under Wine, with plain line ends.
std::string run_wine(const std::string &arguments)
{
    std::string text = run(PE_TEST_WINE " " + arguments);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

pe_image parse(const bytes &file)
{
    pe_image image;
    std::string error;
    EXPECT_TRUE(pe_parse(file.data(), file.size(), &image, &error)) << error;
    return image;
}

bytes write(const pe_image &image)
{
    bytes out;
    std::string error;
    EXPECT_TRUE(pe_write(image, &out, &error)) << error;
    return out;
}

std::string id_arg(const pe_resource_id &id)
{
    const std::u16string &t = id.text;
    return t.empty() ? std::to_string(id.number) : std::string(t.begin(), t.end());
}

// wrestool lists as many resources and extracts each one's bytes.
void expect_wrestool_reads(const std::string &path, const std::vector<pe_resource> &resources)
{
    std::string list = run(PE_TEST_WRESTOOL " -l '" + path + "'");
    EXPECT_EQ((size_t)std::count(list.begin(), list.end(), '\n'), resources.size()) << list;
    for (const pe_resource &r : resources) {
        std::string args = " -x --raw --type=" + id_arg(r.type) + " --name=" + id_arg(r.name) +
                           " --language=" + std::to_string(r.language) + " '" + path + "'";
        std::string got = run(PE_TEST_WRESTOOL + args);
        EXPECT_TRUE(got == std::string(r.data.begin(), r.data.end()))
            << args << ": " << got.size() << " bytes for " << r.data.size();
    }
}

struct section_row {
    std::string name;
    uint64_t size, address, offset;
};

// The sections as objdump -h reads them.
std::vector<section_row> objdump_sections(const char *objdump, const std::string &path)
{
    std::istringstream lines(run(std::string(objdump) + " -h '" + path + "'"));
    std::vector<section_row> rows;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        unsigned index;
        section_row row;
        std::string lma;
        if (fields >> index >> row.name >> std::hex >> row.size >> row.address >> lma >> row.offset)
            rows.push_back(row);
    }
    return rows;
}

// Header values as objdump -p prints them ("CheckSum 00017d5b"; "Entry 2 0000e000 00000438").
std::map<std::string, uint64_t> objdump_header(const char *objdump, const std::string &path)
{
    std::string text = run(std::string(objdump) + " -p '" + path + "' 2>&1; echo status=$?");
    EXPECT_EQ(text.find(": warning"), std::string::npos) << text;
    EXPECT_NE(text.find("\nstatus=0\n"), std::string::npos) << text;
    std::istringstream lines(text);
    std::map<std::string, uint64_t> values;
    std::string line, key, entry;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        uint64_t address, size;
        bool is_entry = line.compare(0, 6, "Entry ") == 0;
        if (is_entry && fields >> key >> entry >> std::hex >> address >> size) {
            values["address " + entry] = address;
            values["size " + entry] = size;
        } else if (fields >> key >> std::hex >> address) {
            values[key] = address;
        }
    }
    return values;
}

struct input {
    const char *path, *objdump;
};
const input inputs[] = {
    {PE_TEST_STUB, PE_TEST_OBJDUMP32},
    {PE_TEST_SAMPLE, PE_TEST_OBJDUMP32},
    {PE_TEST_PROBE32, PE_TEST_OBJDUMP32},
    {PE_TEST_PROBE64, PE_TEST_OBJDUMP64},
};

// Rewriting keeps every section but the resources byte for byte, and only moves those after
// them; objdump reads headers that agree with the sections.
void expect_rest_kept(const input &in, const std::string &before, const std::string &after)
{
    bytes old_file = read_file(before), new_file = read_file(after);
    std::vector<section_row> old_rows = objdump_sections(in.objdump, before),
                             new_rows = objdump_sections(in.objdump, after);
    ASSERT_EQ(old_rows.size(), new_rows.size());
    ASSERT_GT(old_rows.size(), 3u);
    bool moved = false;
    int64_t move = 0;
    for (size_t i = 0; i < old_rows.size(); i++) {
        const section_row &o = old_rows[i], &n = new_rows[i];
        ASSERT_EQ(o.name, n.name);
        if (o.name == ".rsrc") {
            moved = true;
            EXPECT_EQ(o.address, n.address);
            continue;
        }
        EXPECT_EQ(o.size, n.size) << o.name;
        if (!moved) {
            EXPECT_EQ(o.address, n.address) << o.name;
        } else {
            if (move == 0)
                move = (int64_t)(n.address - o.address);
            EXPECT_EQ((int64_t)(n.address - o.address), move) << o.name;
        }
        uint64_t size = std::min(o.size, old_file.size() - std::min(o.offset, old_file.size()));
        if (o.offset != 0) {
            EXPECT_TRUE(std::equal(old_file.begin() + o.offset, old_file.begin() + o.offset + size,
                                   new_file.begin() + n.offset)) << o.name;
        }
    }
    // The symbol table of an unstripped program is found where it went.
    std::string symbols = " -t '" + before + "' | tail -n +3";
    EXPECT_EQ(run(in.objdump + symbols), run(in.objdump + (" -t '" + after + "' | tail -n +3")));

    std::map<std::string, uint64_t> header = objdump_header(in.objdump, after);
    const section_row &last = new_rows.back();
    auto named = [&](const char *name) {
        return std::find_if(new_rows.begin(), new_rows.end(),
                            [&](const section_row &r) { return r.name == name; });
    };
    auto resources = named(".rsrc"), relocations = named(".reloc");
    uint64_t base = header["ImageBase"], alignment = header["SectionAlignment"];
    ASSERT_NE(relocations, new_rows.end());
    EXPECT_EQ(header["address 5"], relocations->address - base);
    EXPECT_EQ(header["SizeOfImage"],
              (last.address - base + last.size + alignment - 1) / alignment * alignment);
    EXPECT_EQ(header["address 2"], resources->address - base);
    EXPECT_EQ(header["size 2"], resources->size);
    uint32_t recorded, computed;
    std::string error;
    ASSERT_TRUE(pe_checksum(new_file.data(), new_file.size(), &recorded, &computed, &error));
    EXPECT_EQ(header["CheckSum"], computed);
    EXPECT_EQ(recorded, computed);
}

TEST(PeResources, RewritingUnchangedKeepsEverythingElse)
{
    for (const input &in : inputs) {
        SCOPED_TRACE(in.path);
        bytes file = read_file(in.path);
        pe_image image = parse(file);
        expect_wrestool_reads(in.path, image.resources);
        // The linker's own checksum agrees with ours.
        uint32_t recorded, computed;
        std::string error;
        ASSERT_TRUE(pe_checksum(file.data(), file.size(), &recorded, &computed, &error));
        EXPECT_EQ(recorded, computed);

        // The resource compiler lays resources out as this module does: nothing changes.
        EXPECT_TRUE(write(image) == file);
    }
}

const struct {
    unsigned id;
    std::u16string text;
    std::string utf8;
} settings[] = {
    {0, u"first setting", "first setting"},
    {17, u"replaces string seventeen", "replaces string seventeen"},
    {1168, u"\u00fcn\u00efc\u00f6d\u00e9 \u20ac \u65e5\u672c \U0001F600",
     "ünïcödé € 日本 😀"},
    {2047, std::u16string(3000, u'x'), std::string(3000, 'x')},
};
const char *const named[] = {"ZED", "A_B", "AAB", "MIDDLE", "CONFIG", "B", "Q"};

bytes pattern(size_t size, unsigned seed)
{
    bytes data(size);
    for (size_t i = 0; i < size; i++)
        data[i] = (unsigned char)(i * seed % 251);
    return data;
}

// The settings, a large RCDATA 16000, named resources of a named type, and RCDATA 1 gone.
void edit(pe_image *image, bool reversed)
{
    std::vector<std::function<void()>> steps;
    for (const auto &s : settings) {
        steps.push_back([image, &s] {
            std::vector<std::u16string> strings(s.id % 16 + 1);
            strings.back() = s.text;
            bytes block;
            std::string error;
            ASSERT_TRUE(pe_encode_string_block(strings, &block, &error)) << error;
            pe_set_resource(image, {6}, {(uint16_t)(s.id / 16 + 1)}, 1033, block);
        });
    }
    steps.push_back([image] { pe_set_resource(image, {10}, {16000}, 0, pattern(70001, 7)); });
    for (size_t i = 0; i < sizeof named / sizeof *named; i++) {
        steps.push_back([image, i] {
            std::string name = named[i];
            pe_set_resource(image, {0, u"SETTINGS"}, {0, std::u16string(name.begin(), name.end())},
                            0, pattern(10 + i, 3 + i));
        });
    }
    static const pe_resource_id one = {1};
    steps.push_back([image] { pe_remove_resources(image, {10}, &one, nullptr); });
    if (reversed)
        std::reverse(steps.begin(), steps.end());
    for (auto &step : steps)
        step();
}

std::string fnv(const bytes &data)
{
    unsigned hash = 2166136261u;
    for (unsigned char c : data)
        hash = (hash ^ c) * 16777619u;
    char text[32];
    snprintf(text, sizeof text, "%zu:%08x", data.size(), hash);
    return text;
}

TEST(PeResources, WindowsFindsWhatWasWritten)
{
    for (const input &in : inputs) {
        SCOPED_TRACE(in.path);
        bytes file = read_file(in.path);
        bool probe32 = std::string(in.path) == PE_TEST_PROBE32;
        if (!probe32)
            file.insert(file.end(), {'o', 'd', 'd'});  // appended data of odd length
        pe_image image = parse(file);
        edit(&image, false);
        bytes out = write(image);
        pe_image reversed = parse(file);
        edit(&reversed, true);
        EXPECT_EQ(write(reversed), out);
        if (!probe32) {
            EXPECT_EQ(std::string(out.end() - 3, out.end()), "odd");
        }
        std::string path = write_out("edited.exe", out);
        expect_wrestool_reads(path, image.resources);
        expect_rest_kept(in, write_out("input.exe", file), path);

        // The rewritten 32-bit probe runs and reads its own resources as the loader mapped
        // them; the other programs are read as data files.
        std::string items, expected;
        for (const auto &s : settings) {
            items += " s:" + std::to_string(s.id);
            expected += "s:" + std::to_string(s.id) + "=" + s.utf8 + "\n";
        }
        items += " r:16000 r:1";
        expected += "r:16000=" + fnv(pattern(70001, 7)) + "\nr:1=missing\n";
        for (size_t i = 0; i < sizeof named / sizeof *named; i++) {
            items += " n:SETTINGS/" + std::string(named[i]);
            expected += "n:SETTINGS/" + std::string(named[i]) + "=" +
                        fnv(pattern(10 + i, 3 + i)) + "\n";
        }
        uint32_t recorded, computed;
        std::string error;
        ASSERT_TRUE(pe_checksum(out.data(), out.size(), &recorded, &computed, &error));
        char sum[32];
        snprintf(sum, sizeof sum, "sum=%08x:%08x\n", recorded, recorded);
        if (probe32) {
            EXPECT_EQ(run_wine(path + items), expected);
        } else {
            EXPECT_EQ(run_wine(PE_TEST_PROBE32 " --file " + path + items + " sum"),
                      expected + sum);
        }
    }
}

void put16(bytes &b, size_t at, unsigned v)
{
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

void put32(bytes &b, size_t at, uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

uint32_t get32(const bytes &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

TEST(PeResources, RefusesDamagedAndUnfitPrograms)
{
    const bytes stub = read_file(PE_TEST_STUB);
    const size_t pe = get32(stub, 0x3C), optional = pe + 24, directories = optional + 96,
                 table = optional + (stub[pe + 20] | stub[pe + 21] << 8);
    size_t rsrc = table, reloc;
    while (std::string((const char *)&stub[rsrc]) != ".rsrc")
        rsrc += 40;
    reloc = rsrc + 40;
    // The resource tree, and the first resource's language entry and data entry in it.
    const size_t tree = get32(stub, rsrc + 20), mapped = get32(stub, rsrc + 8);
    size_t language = tree;
    for (int level = 0; level < 2; level++)
        language = tree + (get32(stub, language + 20) & 0x7FFFFFFF);
    language += 16;
    const size_t data = tree + get32(stub, language + 4);
    // Each damage and the start of its refusal's text (the end, when it starts with '.'), and
    // whether the program reads fine and is refused when written.
    const std::string cut = "the file is cut short ", lies = cut + "or its section table lies";
    const struct {
        std::function<void(bytes &)> damage;
        std::string error;
        bool on_write = false;
    } cases[] = {
        {[](bytes &b) { b.clear(); }, "the file is empty"},
        {[](bytes &b) { b[0] = 'Z'; }, "not a Windows program (no MZ"},
        {[](bytes &b) { b.resize(40); }, cut + "inside its DOS"},
        {[&](bytes &b) { b.resize(pe + 2); }, cut + "before its PE header"},
        {[&](bytes &b) { b.resize(pe + 10); }, cut + "inside its file header"},
        {[&](bytes &b) { b.resize(optional + 50); }, cut + "inside its optional header"},
        {[&](bytes &b) { b.resize(table + 100); }, cut + "inside its section table"},
        {[](bytes &b) { b.resize(0x1000); }, lies},
        {[&](bytes &b) { b.resize(tree + 0x100); }, lies},
        {[](bytes &b) { b.pop_back(); }, lies},
        {[&](bytes &b) { put32(b, rsrc + 16, 0x100000); }, lies},
        {[](bytes &b) { put32(b, 0x3C, 0x7FFFFFF0); }, cut + "before its PE header"},
        {[&](bytes &b) { b[pe] = 'X'; }, "not a Windows program (no PE"},
        {[&](bytes &b) { put16(b, optional, 0x107); }, "not a Windows program (its optional"},
        {[&](bytes &b) { put32(b, table + 60, get32(b, table + 20)); }, ". overlap in the file"},
        {[&](bytes &b) { put32(b, table + 52, get32(b, table + 12)); }, ". overlap in memory"},
        {[&](bytes &b) { put32(b, directories + 36, 0x100); }, "the file is signed"},
        {[&](bytes &b) { put32(b, directories + 16, 0); }, "the file has no resource directory"},
        {[&](bytes &b) { put32(b, directories + 16, 0x7000000); }, "the file has no resource sec"},
        {[&](bytes &b) { put16(b, tree + 14, 0xFFFF); }, ". run past the resource section)"},
        {[&](bytes &b) { put32(b, tree + 20, 0x80000000); }, ". is reached twice)"},
        {[&](bytes &b) { put32(b, tree + 20, 0x100); }, ". where a directory belongs)"},
        {[&](bytes &b) { put32(b, language + 4, mapped - 8); }, ". past the resource section)"},
        {[&](bytes &b) { put32(b, data, 0x7000000); }, ". lies outside the sections)"},
        {[&](bytes &b) { put32(b, data + 4, mapped); }, ". lies outside the sections)"},
        {[&](bytes &b) { b[reloc + 39] &= ~0x02; }, "the resource section is not the last", true},
        {[&](bytes &b) { put32(b, optional + 16, get32(b, rsrc + 12)); },
         "the program's entry point lies in the resource section", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        bytes file = stub, out;
        c.damage(file);
        pe_image image;
        std::string error;
        bool read = pe_parse(file.data(), file.size(), &image, &error);
        EXPECT_EQ(read, c.on_write) << error;
        if (read) {
            EXPECT_FALSE(pe_write(image, &out, &error));
        }
        if (c.error[0] == '.') {
            size_t tail = std::min(error.size(), c.error.size() - 1);
            EXPECT_EQ(error.substr(error.size() - tail), c.error.substr(1));
        } else {
            EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        }
    }
    // Resources the caller gave twice, or with a name too long to record.
    pe_image image = parse(stub);
    image.resources.push_back(image.resources.front());
    std::string error;
    bytes out;
    EXPECT_FALSE(pe_write(image, &out, &error));
    EXPECT_EQ(error, "type 3, name 1, language 1033 is given twice");
    image.resources.pop_back();
    pe_set_resource(&image, {10}, {0, std::u16string(65536, u'N')}, 0, {1});
    EXPECT_FALSE(pe_write(image, &out, &error));
}

TEST(PeResources, SetsReplacesAndRemoves)
{
    pe_image image = parse(read_file(PE_TEST_PROBE32));
    size_t count = image.resources.size();
    // A name given in another case is the same resource and keeps the image's spelling.
    pe_set_resource(&image, {0, u"settings"}, {0, u"config"}, 0, {1, 2});
    pe_set_resource(&image, {0, u"SETTINGS"}, {0, u"NEW"}, 0, {3});
    pe_set_resource(&image, {10}, {1}, 1031, {4});
    ASSERT_EQ(image.resources.size(), count + 1);
    const pe_resource &config = image.resources[1];
    EXPECT_TRUE(config.name.text == u"CONFIG" && config.data == bytes({1, 2}));
    expect_wrestool_reads(write_out("set.exe", write(image)), image.resources);
    const pe_resource_id alpha = {0, u"alpha"};
    const uint16_t german = 1031;
    const struct {
        pe_resource_id type;
        const pe_resource_id *name;
        const uint16_t *language;
        size_t removed;
    } removals[] = {
        {{10}, nullptr, &german, 1}, {{10}, nullptr, &german, 0},
        {{0, u"Settings"}, &alpha, nullptr, 1}, {{6}, nullptr, nullptr, 2},
        {{0, u"SETTINGS"}, nullptr, nullptr, 3},
    };
    for (const auto &r : removals)
        EXPECT_EQ(pe_remove_resources(&image, r.type, r.name, r.language), r.removed);
    EXPECT_EQ(image.resources.size(), count + 1 - 7);
}

TEST(PeResources, StringBlocks)
{
    const std::vector<std::vector<std::u16string>> blocks = {
        {},
        {u"one"},
        {u"", u"", u"\u00e9t\u00e9 \U0001F600"},
        std::vector<std::u16string>(16, u"sixteen"),
        {std::u16string(65535, u'L')},
    };
    for (const auto &strings : blocks) {
        bytes data;
        std::vector<std::u16string> decoded, expected = strings;
        std::string error;
        ASSERT_TRUE(pe_encode_string_block(strings, &data, &error)) << error;
        ASSERT_TRUE(pe_decode_string_block(data.data(), data.size(), &decoded, &error)) << error;
        expected.resize(16);
        EXPECT_EQ(decoded, expected);
        // Blocks that stop after their last non-empty string read the same.
        size_t used = 0;
        for (const std::u16string &s : strings)
            used += 2 + 2 * s.size();
        ASSERT_TRUE(pe_decode_string_block(data.data(), used, &decoded, &error)) << error;
        EXPECT_EQ(decoded, expected);
        if (used > 2) {
            EXPECT_FALSE(pe_decode_string_block(data.data(), used - 1, &decoded, &error));
        }
    }
    bytes data;
    std::string error;
    EXPECT_FALSE(pe_encode_string_block(std::vector<std::u16string>(17), &data, &error));
    EXPECT_EQ(error, "a string block holds 16 strings, not 17");
    EXPECT_FALSE(pe_encode_string_block({u"", std::u16string(65536, u'L')}, &data, &error));
    EXPECT_EQ(error, "string 1 of the block is longer than 65535 units");
}

} // namespace
