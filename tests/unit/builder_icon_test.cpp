// The icon module: broken icon files refused with their reason, and an icon written into the
// stubs as wrestool reads it back.
#include "tests/unit/builder_resources_support.h"

#include <functional>

namespace {

// Byte offsets in a file of two images: the header, the entries, the images.
const size_t ENTRY1 = 6, ENTRY2 = 22, IMAGE1 = 38;

void set32(bytes *b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        (*b)[at + i] = (unsigned char)(v >> 8 * i);
}

struct icon_case {
    const char *what;
    std::function<void(bytes *)> damage;
    const char *error;  // a part of the error text; null: accepted
};

TEST(BuilderIcon, RefusesBrokenIconFilesWithTheirReason)
{
    // A 16x16 bitmap, then a 1x1 PNG image.
    const bytes bitmap = icon_bitmap(16, 0xFF0000FF);
    const size_t image2 = IMAGE1 + bitmap.size();
    const icon_case cases[] = {
        {"sound", [](bytes *) {}, nullptr},
        {"empty file", [](bytes *b) { b->clear(); }, "too short for its header"},
        {"cursor", [](bytes *b) { (*b)[2] = 2; }, "a cursor file"},
        {"other header", [](bytes *b) { (*b)[0] = 1; }, "not an icon file"},
        {"no images", [](bytes *b) { (*b)[4] = 0; }, "holds no image"},
        {"directory past the end", [](bytes *b) { (*b)[4] = 200; }, "cut short"},
        {"empty image", [](bytes *b) { set32(b, ENTRY1 + 8, 0); }, "of 2 is empty"},
        {"image in the directory", [](bytes *b) { set32(b, ENTRY2 + 12, 30); }, "inside the directory"},
        {"offset past the end", [](bytes *b) { set32(b, ENTRY2 + 12, 0xFFFFFFF0); }, "runs past the end"},
        {"size past the end", [](bytes *b) { set32(b, ENTRY2 + 8, 0xFFFFFFFF); }, "runs past the end"},
        {"file cut short", [](bytes *b) { b->resize(b->size() - 1); }, "image 2 of 2 (70 bytes"},
        {"overlapping images",
         [&](bytes *b) { set32(b, ENTRY1 + 8, (uint32_t)bitmap.size() + 4); }, "share bytes"},
        {"bitmap header size", [](bytes *b) { set32(b, IMAGE1, 20); }, "neither a PNG image nor a bitmap"},
        {"bitmap too wide",
         [](bytes *b) { set32(b, IMAGE1 + 4, 300); }, "an icon bitmap is 1 to 256 wide"},
        {"bitmap without mask height", [](bytes *b) { set32(b, IMAGE1 + 8, 17); }, "twice"},
        {"bitmap of 3 bits", [](bytes *b) { (*b)[IMAGE1 + 14] = 3; }, "1 plane of 1, 4, 8"},
        {"compressed bitmap", [](bytes *b) { (*b)[IMAGE1 + 16] = 1; }, "compressed bitmap"},
        {"bitmap pixels cut short",
         [](bytes *b) { (*b)[IMAGE1 + 4] = 20; (*b)[IMAGE1 + 8] = 40; (*b)[ENTRY1] = 20; },
         "which needs"},
        {"entry size differs", [](bytes *b) { (*b)[ENTRY1] = 32; }, "directory entry says 32x16"},
        {"PNG without IHDR", [=](bytes *b) { (*b)[image2 + 12] = 'X'; }, "without its IHDR"},
        {"PNG of no pixels", [=](bytes *b) { (*b)[image2 + 19] = 0; }, "PNG image of 0x1"},
    };
    std::vector<icon_image> images = {{16, 16, 0, 0, 1, 32, bitmap}, {1, 1, 0, 0, 1, 32, tiny_png()}};
    const bytes sound = build_icon_file(images);
    for (const icon_case &c : cases) {
        bytes file = sound;
        c.damage(&file);
        std::vector<icon_image> got;
        std::string error;
        bool ok = parse_icon_file(file.data(), file.size(), &got, &error);
        if (!c.error) {
            EXPECT_TRUE(ok) << c.what << ": " << error;
            EXPECT_EQ(build_icon_file(got), sound) << c.what;
        } else {
            EXPECT_FALSE(ok) << c.what;
            EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        }
    }
}

// Each stub's icon replaced by three images: wrestool lists them under the stub's group and
// rebuilds the very icon file, and the module reads back the same images (the Wine suite has
// Windows pick among them).
TEST(BuilderIcon, ReplacesTheStubsIconAsWindowsReadsIt)
{
    const bytes ico = icon_file({16, 32, 48});
    for (const char *arch : {"x86", "x64"}) {
        builder_config config;
        config.architecture = arch;
        config.subsystem = "gui";
        bytes stub = read_bytes(stub_path(config)), out;
        pe_image image;
        std::string error;
        ASSERT_TRUE(pe_parse(stub.data(), stub.size(), &image, &error)) << error;
        ASSERT_TRUE(apply_icon(&image, ico.data(), ico.size(), &error)) << error;
        ASSERT_TRUE(pe_write(image, &out, &error)) << error;
        std::string path = write_bytes(out_folder("icon") + "/" + arch + ".exe", out);

        std::string list = run(RESOURCES_TEST_WRESTOOL " -l '" + path + "'");
        EXPECT_NE(list.find("--type=14 --name='MAINICON' --language=1033"), std::string::npos) << list;
        for (const char *n : {"1", "2", "3"})
            EXPECT_NE(list.find(std::string("--type=3 --name=") + n + " --language=1033"),
                      std::string::npos) << list;
        EXPECT_EQ(list.find("--name=4"), std::string::npos) << list;
        // wrestool writes as many bytes again as the group has after the icon file (it does
        // so for the stub as the MinGW resource compiler made it, too).
        std::string rebuilt = run(RESOURCES_TEST_WRESTOOL " -x --type=14 '" + path + "'");
        EXPECT_TRUE(rebuilt.substr(0, ico.size()) == std::string(ico.begin(), ico.end()))
            << "wrestool's icon file differs";

        pe_image written;
        std::vector<icon_image> images;
        bool found;
        ASSERT_TRUE(pe_parse(out.data(), out.size(), &written, &error)) << error;
        ASSERT_TRUE(read_icon(written, &images, &found, &error)) << error;
        EXPECT_TRUE(found);
        EXPECT_EQ(build_icon_file(images), ico);

        // An icon file whose directory leaves planes and bits 0 (as many editors write
        // them): the group says what the images hold, since Windows chooses by those fields.
        std::vector<icon_image> unsaid = {{16, 16, 0, 0, 0, 0, icon_bitmap(16, 0xFF00FF00)},
                                          {1, 1, 0, 0, 0, 0, tiny_png()}};
        const bytes unsaid_ico = build_icon_file(unsaid);
        pe_image filled = image;
        ASSERT_TRUE(apply_icon(&filled, unsaid_ico.data(), unsaid_ico.size(), &error)) << error;
        ASSERT_TRUE(read_icon(filled, &images, &found, &error)) << error;
        ASSERT_EQ(images.size(), 2u);
        for (const icon_image &i : images) {
            EXPECT_EQ(i.planes, 1u);
            EXPECT_EQ(i.bit_count, 32u);
        }

        // Without an icon group there is nothing to replace.
        pe_remove_resources(&image, {RT_GROUP_ICON_TYPE}, nullptr, nullptr);
        EXPECT_FALSE(apply_icon(&image, ico.data(), ico.size(), &error));
        EXPECT_NE(error.find("no icon to replace"), std::string::npos) << error;
    }
}

} // namespace
