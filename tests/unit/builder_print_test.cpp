// Reading a launcher back into its configuration: configuration, launcher, printed
// configuration and its files, launcher again, byte for byte; and launchers whose values no
// configuration line can carry are refused.
#include "tests/unit/builder_resources_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "builder/print.h"

namespace {

// Writes the printed configuration and its files into folder, the embedded files with their
// last-write times; returns the configuration's path.
std::string write_printed(const std::string &folder, const std::string &text,
                          const std::vector<printed_file> &files)
{
    for (const printed_file &f : files) {
        std::string path = write_bytes(folder + "/" + f.name, bytes(f.content.begin(), f.content.end()));
        uint64_t time = (uint64_t)f.time_high << 32 | f.time_low;
        if (time) {
            timespec times[2];
            times[0].tv_sec = times[1].tv_sec = (time_t)(time / 10000000 - 11644473600ULL);
            times[0].tv_nsec = times[1].tv_nsec = (long)(time % 10000000 * 100);
            EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
        }
    }
    return write_bytes(folder + "/printed.cfg", bytes(text.begin(), text.end()));
}

std::string print(const bytes &launcher, std::vector<printed_file> *files)
{
    pe_image image;
    std::string error, text;
    EXPECT_TRUE(pe_parse(launcher.data(), launcher.size(), &image, &error)) << error;
    EXPECT_TRUE(print_launcher(image, &text, files, &error)) << error;
    return text;
}

// The sample configuration, and one with every key, the files of an embedded folder (one of
// them named as the printed icon would be, in other capitals: Windows' names ignore case), a
// 32-bit console stub and non-ASCII values.
TEST(BuilderPrint, PrintedConfigurationBuildsTheSameLauncher)
{
    const std::string nonascii = "caf\xC3\xA9 \xD0\x96\xD1\x83\xD0\xBA \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    std::string full = out_folder("print-full");
    system(("mkdir -p '" + full + "/lib' && touch -d '2021-02-03 04:05:06.7890123 UTC' '" +
            full + "/lib'").c_str());
    write_bytes(full + "/lib/app.jar", bytes(5000, 'j'));
    write_bytes(full + "/lib/Icon.ico", bytes(3, 'i'));
    system(("touch -d '2021-02-03 04:05:06.7890123 UTC' '" + full + "/lib/app.jar'").c_str());
    write_bytes(full + "/app.ico", icon_file({16, 32}));
    system(("cp '" RESOURCES_TEST_WIN32 "/images/splash.bmp' '" + full + "/'").c_str());
    std::string text = "\xEF\xBB\xBF# every key\narchitecture = x86\nsubsystem = console\n"
        "main_class = com.example." + nonascii.substr(0, 5) + "Main\n"
        "jvm_options = -Xmx1g -Dname=" + nonascii + "\n"
        "app_args = #not a comment = really\n"
        "msg_no_runtime = No runtime \xE2\x80\x94 install one\n"
        "early_working_dir = 1\nembed = lib\nsplash = splash.bmp\nicon = app.ico\n"
        "file_version = 1.2.3\nproduct_version = 4\nproduct_name = " + nonascii + "\n"
        "company_name = ACME\nfile_description = The app\ncopyright = \xC2\xA9 2026 ACME\n"
        "original_file_name = app.exe\nexecution_level = requireAdministrator\n";
    write_bytes(full + "/full.cfg", bytes(text.begin(), text.end()));
    // A jar run by its manifest, shown as an empty main class and the class path it starts.
    std::string jar = out_folder("print-jar");
    const std::string jar_text = "main_jar = app.jar\nclass_path = lib\\*\n";
    write_bytes(jar + "/jar.cfg", bytes(jar_text.begin(), jar_text.end()));
    std::string sample = out_folder("print-sample");
    system(("cp '" RESOURCES_TEST_SOURCE "/resources/sample-app.cfg' '" RESOURCES_TEST_WIN32
            "/images/splash.bmp' '" + sample + "/'").c_str());

    const struct {
        std::string config;
        std::vector<std::string> printed;  // lines the printed configuration holds
    } cases[] = {
        {sample + "/sample-app.cfg",
         {"architecture = x64", "subsystem = gui", "main_class = trevalo.sample.SampleApp",
          "class_path = trevalo-sample.jar", "stdout_file = ", "splash = splash.bmp",
          "search_order = 8071234569\n# search methods: 8 bundled, 0 runtime_paths, 7 java_home, "
          "1 registered_runtimes, 2 kit_client, 3 kit_server, 4 kit_classic, 5 java_keys, "
          "6 vendor_keys, 9 path",
          "icon = icon.ico", "execution_level = asInvoker", "return_to_startup_dir = 0",
          "expand_wildcards = 0", "command_line_rule = classic"}},
        {full + "/full.cfg",
         {"architecture = x86", "subsystem = console", "main_class = com.example.caf\xC3\xA9Main",
          "app_args = #not a comment = really", "embed = app.jar", "embed = Icon.ico",
          "# app.jar: 5000 bytes, 2021-02-03 04:05:06 UTC", "icon = icon-2.ico",
          "file_version = 1.2.3.0", "product_version = 4.0.0.0", "product_name = " + nonascii,
          "copyright = \xC2\xA9 2026 ACME", "execution_level = requireAdministrator",
          // What a console stub holds unless the configuration says otherwise.
          "return_to_startup_dir = 1", "expand_wildcards = 1", "multiple_instances = 1",
          "command_line_rule = windows"}},
        {jar + "/jar.cfg", {"main_class = ", "class_path = app.jar;lib\\*"}},
    };
    for (const auto &c : cases) {
        std::string error;
        bytes first = build_launcher_on_host(c.config, &error);
        ASSERT_FALSE(first.empty()) << error;
        std::vector<printed_file> files;
        std::string printed = print(first, &files);
        for (const std::string &line : c.printed)
            EXPECT_NE(printed.find("\n" + line + "\n"), std::string::npos) << line;

        std::string again = out_folder("print-again");
        bytes second = build_launcher_on_host(write_printed(again, printed, files), &error);
        ASSERT_FALSE(second.empty()) << error;
        EXPECT_TRUE(first == second) << c.config << ": the rebuilt launcher differs";
        std::vector<printed_file> files2;
        EXPECT_EQ(print(second, &files2), printed);
    }
}

// Values the builder never writes but a launcher may hold: those no configuration line can
// carry are refused, naming them; those a launcher built before the builder checked values may
// hold are printed, with a note at the top saying what building the text again does.
TEST(BuilderPrint, RefusesOrNotesWhatTheBuilderWouldNotWrite)
{
    std::string error, config = "main_class = a.M\n";
    std::string folder = out_folder("print-refused");
    write_bytes(folder + "/a.cfg", bytes(config.begin(), config.end()));
    bytes launcher = build_launcher_on_host(folder + "/a.cfg", &error);
    ASSERT_FALSE(launcher.empty()) << error;
    pe_image image;
    ASSERT_TRUE(pe_parse(launcher.data(), launcher.size(), &image, &error)) << error;

    const struct {
        uint16_t block;
        std::u16string text;
        const char *error;  // null: printed
        const char *line = nullptr;  // printed: a line of the text
        const char *note = nullptr;  // printed: the note above the settings
    } cases[] = {
        {1072 / 16 + 1, u" a.jar", "setting class_path holds what a configuration line cannot"},
        {1184 / 16 + 1, u"-x\n-y", "cannot be written as a configuration file"},
        {1056 / 16 + 1, u"-Xmx1g\t", "setting jvm_options holds"},
        {1168 / 16 + 1, u"", "no main class"},
        {1472 / 16 + 1, u"%d runs", "cannot be written as a configuration file"},
        {1024 / 16 + 1, std::u16string(1, (char16_t)0xD800), "is not UTF-16 text"},
        {1344 / 16 + 1, u"no", nullptr, "\nmultiple_instances = no\n",
         "\n# multiple_instances: this launcher holds 'no'; built again, it holds '0'\n"},
        {1024 / 16 + 1, u"1.8", nullptr, "\njava_version = 1.8\n",
         "\n# java_version: this launcher holds '1.8'; built again, it holds '0x00010008'\n"},
        {1088 / 16 + 1, u"x1", nullptr, "\nsearch_order = x1\n# search methods: 1 registered_runtimes\n",
         "\n# Building this configuration again is refused until this is changed: line "},
        {1440 / 16 + 1, u"9", nullptr, "\npriority = 9\n", "'priority' is '9': give a whole number"},
        // A launcher built before the command-line rule existed has none: the classic rule.
        {1968 / 16 + 1, u"", nullptr, "\ncommand_line_rule = \n"},
        {2016 / 16 + 1, u"", nullptr, "\nexpand_wildcards = \n"},
    };
    for (const auto &c : cases) {
        pe_image changed = image;
        bytes block;
        ASSERT_TRUE(pe_encode_string_block({c.text}, &block, &error));
        pe_set_resource(&changed, {6}, {c.block}, 0x0409, block);
        std::string text;
        std::vector<printed_file> files;
        bool printed = print_launcher(changed, &text, &files, &error);
        EXPECT_EQ(printed, c.error == nullptr) << (c.error ? c.error : c.line) << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        EXPECT_NE(text.find(c.line), std::string::npos) << text;
        if (c.note)
            EXPECT_LT(text.find(c.note), text.find("\narchitecture = ")) << c.note << "\n" << text;
        else
            EXPECT_TRUE(text.find("this launcher holds") == std::string::npos &&
                        text.find("again is refused") == std::string::npos) << text;
    }
}

} // namespace
