// Packing files: what the builder writes is what the launcher reads.
#include <gtest/gtest.h>

#include "base/archive.h"
#include "builder/pack.h"

namespace {

TEST(BuilderPack, LauncherReadsWhatTheBuilderPacks)
{
    std::vector<packed_file> files = {
        {"app.jar", 0x11223344, 0x01DA0000, "PK\x03\x04 jar bytes"},
        {"native.dll", 5, 6, std::string("MZ\0\0\x90", 5)},
        {"empty.cfg", 7, 8, ""},
    };
    std::string bytes = build_archive(files);
    uint32_t count = 0;
    const char *bad = nullptr;
    const unsigned char *data = (const unsigned char *)bytes.data();
    ASSERT_EQ(archive_check(data, bytes.size(), &count, &bad), ARCHIVE_OK);
    ASSERT_EQ(count, files.size());
    size_t offset = 4;
    for (const packed_file &f : files) {
        archive_entry e;
        archive_read_entry(data, &offset, &e);
        EXPECT_EQ(e.name, f.name);
        EXPECT_EQ(e.time_low, f.time_low);
        EXPECT_EQ(e.time_high, f.time_high);
        EXPECT_EQ(std::string((const char *)e.content, e.size), f.content);
    }
    EXPECT_EQ(offset, bytes.size());
    EXPECT_EQ(build_archive({}), std::string(1, '\0'));
}

TEST(BuilderPack, RefusesNamesThatCannotBeUnpackedOrHeldByWindows)
{
    const struct {
        std::string name;
        const char *error;  // null: accepted
    } cases[] = {
        {"a.jar", nullptr}, {"console.jar", nullptr}, {"com10.txt", nullptr},
        {"lpt0.txt", nullptr}, {"a b.jar", nullptr}, {".hidden", nullptr},
        {"..\\x", "the launcher cannot unpack a file named '..\\x'"},
        {"", "the launcher cannot unpack a file named ''"},
        {"con.jar", "'con.jar': it names the device con on Windows, whatever its extension"},
        {"AUX.JAR", "names the device aux"}, {"lpt1.txt", "names the device lpt1"},
        {"nul", "names the device nul"}, {"com9.tar.gz", "names the device com9"},
        {"prn .jar", "names the device prn"}, {"CONOUT$.log", "names the device conout$"},
        {"q?.jar", "Windows does not allow '?' in a file name"},
        {"a|b.jar", "'|'"}, {"a\"b.jar", "'\"'"}, {"st*r.jar", "'*'"}, {"a<b", "'<'"},
        {"sub\\x.jar", "'\\'"}, {"tab\t.jar", "control characters"},
        {"a.jar ", "a blank or a dot at the end"}, {"a.", "a blank or a dot at the end"},
    };
    for (const auto &c : cases) {
        std::string problem = packed_name_problem(c.name);
        if (!c.error)
            EXPECT_EQ(problem, "") << c.name;
        else
            EXPECT_NE(problem.find(c.error), std::string::npos) << c.name << ": " << problem;
    }
}

} // namespace

namespace {

std::string bmp(uint32_t header_size, uint32_t pixels_at, size_t total)
{
    std::string f(total, '\0');
    f[0] = 'B';
    f[1] = 'M';
    for (int i = 0; i < 4; i++) {
        f[10 + i] = (char)(pixels_at >> (8 * i));
        f[14 + i] = (char)(header_size >> (8 * i));
    }
    return f;
}

TEST(BuilderPack, SplashBitmapLosesItsFileHeader)
{
    std::string resource, error;
    std::string file = bmp(40, 54, 54 + 16);
    file[60] = 'p';
    ASSERT_TRUE(bitmap_resource(file, &resource, &error)) << error;
    EXPECT_EQ(resource, file.substr(14));

    const struct {
        std::string file;
        const char *error;
    } bad[] = {
        {"GIF89a....................................", "not a Windows bitmap"},
        {"BM", "not a Windows bitmap"},
        {bmp(20, 54, 80), "damaged"},       // no such header size
        {bmp(40, 54, 40), "damaged"},       // header runs past the end
        {bmp(40, 30, 80), "damaged"},       // pixels inside the headers
        {bmp(40, 500, 80), "damaged"},      // pixels past the end
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(bitmap_resource(c.file, &resource, &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

} // namespace
