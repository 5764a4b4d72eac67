// The version information and execution level modules: versions read from a configuration,
// the resource read back by the module and by wrestool, and the manifest's level rewritten in
// place.
#include "tests/unit/builder_resources_support.h"

namespace {

TEST(BuilderVersionInfo, ReadsVersionNumbers)
{
    const struct {
        const char *text;
        bool ok;
        uint16_t version[4];
    } cases[] = {
        {"1.2.3.4", true, {1, 2, 3, 4}},       {"2", true, {2, 0, 0, 0}},
        {"65535.0.7", true, {65535, 0, 7, 0}}, {"010.1", true, {10, 1, 0, 0}},
        {"", false, {}},         {"1..2", false, {}},   {"1.2.3.4.5", false, {}},
        {"65536", false, {}},    {"1.x", false, {}},    {"-1", false, {}},
        {"+1", false, {}},       {"1.2.", false, {}},   {"123456", false, {}},
    };
    for (const auto &c : cases) {
        uint16_t v[4];
        std::string error;
        EXPECT_EQ(parse_version_number(c.text, v, &error), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(std::vector<uint16_t>(v, v + 4), std::vector<uint16_t>(c.version, c.version + 4));
        else
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
}

TEST(BuilderVersionInfo, EncodedResourceDecodesAsWritten)
{
    const std::vector<version_info> cases = {
        {{1, 2, 3, 4}, {5, 6, 7, 8}, {}},
        {{0, 0, 0, 0}, {65535, 65535, 65535, 65535}, {{"ProductName", "x"}}},
        {{1, 0, 0, 0}, {1, 0, 0, 0},
         {{"CompanyName", "caf\xC3\xA9 \xD0\x96\xD1\x83\xD0\xBA \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
          {"FileDescription", "ab"}, {"LegalCopyright", "\xF0\x9F\x98\x80 2026"},
          {"OriginalFilename", ""}, {"ProductVersion", "abc"}}},
    };
    for (const version_info &info : cases) {
        bytes data;
        std::string error;
        ASSERT_TRUE(encode_version_info(info, &data, &error)) << error;
        EXPECT_EQ(data[0] | data[1] << 8, (int)data.size());
        version_info back;
        ASSERT_TRUE(decode_version_info(data.data(), data.size(), &back, &error)) << error;
        EXPECT_EQ(version_text(back.file_version), version_text(info.file_version));
        EXPECT_EQ(version_text(back.product_version), version_text(info.product_version));
        EXPECT_EQ(back.strings, info.strings);
        // Every cut of the resource is refused or reads less, never past its end.
        for (size_t cut = 0; cut < data.size(); cut += 3)
            decode_version_info(data.data(), cut, &back, &error);
    }
    // One resource byte for byte, as written out by hand from the format: the fixed versions
    // (FEEF04BD), one string whose value length (2) counts its NUL, and the translation table.
    const char expected_hex[] =
        "000134000000560053005F00560045005200530049004F004E005F0049004E0046004F0000000000BD04EFFE00000100"
        "020001000400030006000500080007003F00000000000000040004000100000000000000000000000000000060000000"
        "010053007400720069006E006700460069006C00650049006E0066006F0000003C000000010030003400300039003000"
        "3400420030000000240002000100500072006F0064007500630074004E0061006D006500000000007800000044000000"
        "0100560061007200460069006C00650049006E0066006F00000000002400040000005400720061006E0073006C006100"
        "740069006F006E00000000000904B004";
    version_info small = {{1, 2, 3, 4}, {5, 6, 7, 8}, {{"ProductName", "x"}}};
    bytes small_data;
    std::string small_error, hex;
    ASSERT_TRUE(encode_version_info(small, &small_data, &small_error)) << small_error;
    for (unsigned char b : small_data) {
        char two[3];
        snprintf(two, sizeof two, "%02X", b);
        hex += two;
    }
    EXPECT_EQ(hex, expected_hex);

    version_info too_long = {{1}, {1}, {{"ProductName", std::string(40000, 'x')}}};
    bytes data;
    std::string error;
    EXPECT_FALSE(encode_version_info(too_long, &data, &error));
    EXPECT_NE(error.find("at most 65535"), std::string::npos) << error;
}

// The keys of a configuration written into the x64 stub: wrestool finds one version resource
// in US English holding the module's bytes (the Wine suite reads it with Windows' version
// functions). Without keys, a stub carrying one loses it.
TEST(BuilderVersionInfo, WrittenAsTheKeysSay)
{
    builder_config config;
    std::string error;
    ASSERT_TRUE(parse_config("\xEF\xBB\xBFmain_class = a.Main\nfile_version = 1.2.3.4\n"
                             "product_version = 5.6\nproduct_name = caf\xC3\xA9 \xD0\x96\xD1\x83"
                             "\xD0\xBA \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\ncompany_name = ACME\n"
                             "copyright = (c) 2026 ACME\noriginal_file_name = app.exe\n",
                             &config, &error)) << error;
    bytes stub = read_bytes(stub_path(config)), out;
    pe_image image;
    ASSERT_TRUE(pe_parse(stub.data(), stub.size(), &image, &error)) << error;
    ASSERT_TRUE(apply_version_info(&image, config, &error)) << error;
    ASSERT_TRUE(pe_write(image, &out, &error)) << error;
    std::string folder = out_folder("version");
    std::string path = write_bytes(folder + "/app.exe", out);

    std::string list = run(RESOURCES_TEST_WRESTOOL " -l --type=16 '" + path + "'");
    EXPECT_EQ(list.substr(0, list.find(" [")), "--type=16 --name=1 --language=1033") << list;
    bytes data;
    version_info expected = {{1, 2, 3, 4}, {5, 6, 0, 0},
        {{"CompanyName", "ACME"}, {"FileVersion", "1.2.3.4"}, {"LegalCopyright", "(c) 2026 ACME"},
         {"OriginalFilename", "app.exe"}, {"ProductName", config.product_name},
         {"ProductVersion", "5.6.0.0"}}};
    ASSERT_TRUE(encode_version_info(expected, &data, &error)) << error;
    EXPECT_TRUE(run(RESOURCES_TEST_WRESTOOL " -x --raw --type=16 '" + path + "'") ==
                std::string(data.begin(), data.end())) << "wrestool's version resource differs";

    builder_config none;
    ASSERT_TRUE(parse_config("main_class = a.Main\n", &none, &error));
    ASSERT_TRUE(apply_version_info(&image, none, &error)) << error;
    ASSERT_TRUE(pe_write(image, &out, &error)) << error;
    path = write_bytes(folder + "/none.exe", out);
    EXPECT_EQ(run(RESOURCES_TEST_WRESTOOL " -l --type=16 '" + path + "'"), "");
}

TEST(BuilderExecutionLevel, RewritesOnlyTheLevel)
{
    builder_config config;
    config.architecture = "x86", config.subsystem = "console";
    bytes stub = read_bytes(stub_path(config));
    pe_image original;
    std::string error;
    ASSERT_TRUE(pe_parse(stub.data(), stub.size(), &original, &error)) << error;
    std::string manifest;
    for (const pe_resource &r : original.resources)
        if (r.type.number == RT_MANIFEST_TYPE)
            manifest.assign(r.data.begin(), r.data.end());
    const std::string element = "<requestedExecutionLevel level=\"asInvoker\"";
    ASSERT_NE(manifest.find(element), std::string::npos);
    size_t at = manifest.find(element);

    const struct {
        const char *level;
        std::string manifest;  // the stub's; "" for the stub's own
        const char *error;     // null: accepted
    } cases[] = {
        {"", "", nullptr},
        {"requireAdministrator", "", nullptr},
        {"highestAvailable", "", nullptr},
        {"root", "", "execution level 'root' is not"},
        {"asInvoker", std::string(manifest).replace(at, element.size(), "<other"), "holds none"},
        {"asInvoker", manifest + element + "/>", "holds several"},
        {"asInvoker", std::string(manifest).replace(at, element.size(), "<requestedExecutionLevel uilevel=\"x\""),
         "without a level attribute"},
        // An attribute whose name only ends in "level" is another attribute.
        {"asInvoker", std::string(manifest).replace(at, element.size(), "<requestedExecutionLevel\n  maxlevel='x'"),
         "without a level attribute"},
    };
    for (const auto &c : cases) {
        pe_image image = original;
        if (!c.manifest.empty())
            pe_set_resource(&image, {RT_MANIFEST_TYPE}, {1}, 0x0409,
                            bytes(c.manifest.begin(), c.manifest.end()));
        bool ok = apply_execution_level(&image, c.level, &error);
        ASSERT_EQ(ok, c.error == nullptr) << c.level << ": " << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        bytes out;
        ASSERT_TRUE(pe_write(image, &out, &error)) << error;
        std::string path = write_bytes(out_folder("level") + "/app.exe", out);
        std::string expected = manifest;
        if (*c.level)
            expected.replace(at + element.size() - 10, 9, c.level);
        EXPECT_EQ(run(RESOURCES_TEST_WRESTOOL " -x --raw --type=24 '" + path + "'"), expected);
        std::string level;
        EXPECT_TRUE(read_execution_level(image, &level, &error));
        EXPECT_EQ(level, *c.level ? c.level : "asInvoker");
    }
}

} // namespace
