// Reading and checking the embedded-file archive.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/archive.h"

namespace {

typedef std::vector<unsigned char> bytes;

void put_u32(bytes *b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b->push_back((unsigned char)(v >> (8 * i)));
}

struct file {
    std::string name;
    uint32_t low, high;
    std::string content;
};

bytes archive(const std::vector<file> &files, uint32_t count)
{
    bytes b;
    put_u32(&b, count);
    for (const file &f : files) {
        b.insert(b.end(), f.name.begin(), f.name.end());
        b.push_back(0);
        put_u32(&b, f.low);
        put_u32(&b, f.high);
        put_u32(&b, (uint32_t)f.content.size());
        b.insert(b.end(), f.content.begin(), f.content.end());
    }
    return b;
}

bytes archive(const std::vector<file> &files)
{
    return archive(files, (uint32_t)files.size());
}

TEST(Archive, ReadsEveryEntry)
{
    std::vector<file> files = {
        {"a.jar", 0x89ABCDEF, 0x01D9ABCD, "PK\x03\x04 first"},
        {"native.dll", 1, 2, std::string("\0\0MZ", 4)},
        {"empty.txt", 0, 0, ""},
        {"sub\\data.bin", 3, 4, "x"},
    };
    bytes b = archive(files);
    uint32_t count = 99;
    const char *bad = nullptr;
    ASSERT_EQ(archive_check(b.data(), b.size(), &count, &bad), ARCHIVE_OK);
    ASSERT_EQ(count, files.size());
    size_t offset = 4;
    for (const file &f : files) {
        archive_entry e;
        archive_read_entry(b.data(), &offset, &e);
        EXPECT_EQ(e.name, f.name);
        EXPECT_EQ(e.time_low, f.low);
        EXPECT_EQ(e.time_high, f.high);
        EXPECT_EQ(std::string((const char *)e.content, e.size), f.content);
    }
    EXPECT_EQ(offset, b.size());
}

TEST(Archive, CountOfZeroAndTrailingBytes)
{
    bytes none = archive({}, 0);
    none.push_back(7);  // bytes after the last entry are ignored
    uint32_t count = 99;
    const char *bad = nullptr;
    EXPECT_EQ(archive_check(none.data(), none.size(), &count, &bad), ARCHIVE_OK);
    EXPECT_EQ(count, 0u);
}

TEST(Archive, RefusesWhatRunsPastTheEnd)
{
    bytes good = archive({{"a.jar", 1, 2, "content"}, {"b.jar", 3, 4, "more"}});
    const struct {
        const char *what;
        bytes data;
    } cases[] = {
        {"shorter than a count", bytes{1, 0, 0}},
        {"count larger than the entries", archive({{"a.jar", 1, 2, "c"}}, 2)},
        {"huge count", archive({{"a.jar", 1, 2, "c"}}, 0xFFFFFFFF)},
        {"name without its zero byte", bytes{1, 0, 0, 0, 'a', '.', 'j'}},
        {"empty name", archive({{"", 1, 2, "c"}})},
        {"time cut short", bytes(good.begin(), good.begin() + 4 + 6 + 5)},
        {"size cut short", bytes(good.begin(), good.begin() + 4 + 6 + 10)},
        {"content cut short", bytes(good.begin(), good.end() - 1)},
        {"size past the end", [] {
             bytes b = archive({{"a.jar", 1, 2, "c"}});
             b[4 + 6 + 8 + 3] = 0xFF;  // size 0xFF000001
             return b;
         }()},
    };
    for (const auto &c : cases) {
        uint32_t count = 99;
        const char *bad = nullptr;
        EXPECT_EQ(archive_check(c.data.data(), c.data.size(), &count, &bad), ARCHIVE_MALFORMED)
            << c.what;
        EXPECT_EQ(count, 99u) << c.what;
    }
}

TEST(Archive, RefusesNamesThatLeaveTheFolder)
{
    const struct {
        const char *name;
        bool safe;
    } cases[] = {
        {"a.jar", true}, {"lib\\a.jar", true}, {"lib/a.jar", true}, {".hidden", true},
        {"a..b.jar", true}, {".\\a.jar", true}, {"..a", true},
        {"..\\evil.dll", false}, {"lib\\..\\..\\evil.dll", false}, {"../evil", false},
        {"lib\\..", false}, {"...\\x", false}, {".. \\x", false}, {"\\evil.dll", false},
        {"/evil", false}, {"\\\\server\\share\\x", false}, {"C:\\x.dll", false},
        {"C:x.dll", false}, {"a.jar:stream", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(archive_name_is_safe(c.name), c.safe) << c.name;
        bytes b = archive({{"first.jar", 1, 1, "x"}, {c.name, 1, 1, "y"}});
        uint32_t count = 0;
        const char *bad = nullptr;
        archive_check_result r = archive_check(b.data(), b.size(), &count, &bad);
        EXPECT_EQ(r, c.safe ? ARCHIVE_OK : ARCHIVE_UNSAFE_NAME) << c.name;
        if (!c.safe) {
            EXPECT_STREQ(bad, c.name);
        }
    }
}

} // namespace
