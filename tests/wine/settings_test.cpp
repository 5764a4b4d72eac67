// Loading the settings, through a probe that runs the launcher's own loader on the resources
// the builder wrote: long texts whole, and the INI file (each kind's reading is shown on the
// host, the priority's effect by the Launcher suite).
#include <gtest/gtest.h>

#include "tests/wine/harness.h"

namespace {

const char *const MAIN = "main_class = a.b.Main\n";

TEST(Settings, ReadsLongTextsWhole)
{
    // 1023 characters fill the first buffer exactly; 5000 need five.
    for (size_t length : {1022u, 1023u, 1024u, 5000u}) {
        std::string options;
        while (options.size() < length)
            options += "-Dk" + std::to_string(options.size()) + "=v ";
        options.resize(length);
        if (options.back() == ' ')
            options.back() = 'x';
        std::string dir = make_temp_dir("long");
        auto values = probe_settings(dir, std::string(MAIN) + "jvm_options = " + options + "\n");
        EXPECT_EQ(values["jvm_options"], options) << length << " characters";
    }
}

TEST(Settings, IniFileOverridesOptionsAndArguments)
{
    const char *const base = "jvm_options = -Dfrom=table\napp_args = table args\n";
    // A cut value would be another option: "-Xmx1024m" cut after 1,023 characters.
    std::string long_options;
    for (int i = 0; i < 400; i++)
        long_options += "-Dk" + std::to_string(i) + "=v ";
    long_options += "-Xmx1024m";
    std::string long_ini = "[Application Configuration]\nJvmOptions=" + long_options + "\n";
    // ASCII text in UTF-16 of either byte order, with its mark.
    auto utf16 = [](bool big_endian, const std::string &text) {
        std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : text)
            bytes += big_endian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
        return bytes;
    };
    std::string big_endian = utf16(true, "[Application Configuration]\r\nAppOptions=be\r\n");
    std::string nul_line = std::string("JvmOptions=-Da=1", 16) + '\0' + "\r\nAppOptions=after\r\n";
    std::string with_nul = utf16(false, "[Application Configuration]\r\n" + nul_line);
    const std::string world = "5\u20ac \u0416\u0443\u043a \U0001F600  \"two words\"";
    const struct {
        const char *what;
        const char *ini_setting;   // "" : no INI setting
        std::string ini_content;   // "-": no file written
        const char *jvm_options;
        const char *app_args;
    } cases[] = {
        {"a value of any length, whole", "app.ini", long_ini, long_options.c_str(),
         "table args"},
        {"both keys", "app.ini",
         "[Application Configuration]\nJvmOptions=-Xmx1g\nAppOptions=ini args\n",
         "-Xmx1g", "ini args"},
        {"empty value overrides nothing", "app.ini",
         "[Application Configuration]\nJvmOptions=\nAppOptions=-x \"a b\"\n",
         "-Dfrom=table", "-x \"a b\""},
        {"missing file", "missing.ini", "-", "-Dfrom=table", "table args"},
        {"other section", "app.ini", "[Other]\nJvmOptions=-Xmx1g\n", "-Dfrom=table",
         "table args"},
        {"no INI setting", "", "[Application Configuration]\nJvmOptions=-Xmx1g\n",
         "-Dfrom=table", "table args"},
        {"INI in a sub-folder", "conf\\app.ini",
         "[Application Configuration]\nAppOptions=sub\n", "-Dfrom=table", "sub"},
        {"UTF-16, big-endian", "app.ini", big_endian, "-Dfrom=table", "be"},
        // UTF-8 with or without its mark, else the ANSI code page (1252 here: 0x80 is "\u20ac").
        {"UTF-8", "app.ini", "[Application Configuration]\nAppOptions=" + world + "\n",
         "-Dfrom=table", world.c_str()},
        {"UTF-8 with its mark", "app.ini", "\xEF\xBB\xBF[Application Configuration]\r\nAppOptions=" +
         world, "-Dfrom=table", world.c_str()},
        {"ANSI", "app.ini", "[Application Configuration]\nAppOptions=5\x80 caf\xe9\n",
         "-Dfrom=table", "5\u20ac caf\u00e9"},
        {"a NUL in UTF-16 ends nothing", "app.ini", with_nul, "-Da=1\xEF\xBF\xBD", "after"},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("ini");
        CreateDirectoryA((dir + "\\conf").c_str(), nullptr);
        if (c.ini_content != "-")
            write_file(dir + "\\" + (c.ini_setting[0] ? c.ini_setting : "app.ini"),
                       c.ini_content);
        std::string config = std::string(MAIN) + base + "ini_file = " + c.ini_setting + "\n";
        auto values = probe_settings(dir, config);
        EXPECT_EQ(values["jvm_options"], c.jvm_options) << c.what;
        EXPECT_EQ(values["app_args"], c.app_args) << c.what;
    }
}

TEST(Settings, AbsoluteIniPathIsUsedAsItIs)
{
    std::string dir = make_temp_dir("ini-abs"), elsewhere = make_temp_dir("ini-elsewhere");
    std::string ini = elsewhere + "\\abs.ini";
    write_file(ini, "[Application Configuration]\nJvmOptions=-Xmx1g\n");
    auto values = probe_settings(dir, std::string(MAIN) + "jvm_options = -Dt\nini_file = " +
                                          ini + "\n");
    EXPECT_EQ(values["jvm_options"], "-Xmx1g");
}

TEST(Settings, AGuardedRunReadsTheIniFileOnlyFromAPrivateFolder)
{
    // Under Wine every folder is its user's: an elevated run does not trust that account (its
    // unelevated programs share it), a service trusts its own.
    std::string dir = make_temp_dir("ini-guarded");
    write_file(dir + "\\app.ini", "[Application Configuration]\nAppOptions=planted\n");
    std::string probe = make_launcher(dir, std::string(MAIN) + "app_args = table\n"
                                           "ini_file = app.ini\n",
                                      "probe.exe", build_dir() + "\\settings_probe.exe");
    const struct {
        bool elevated, service;
        std::string app_args, refused;
    } cases[] = {
        {false, false, "planted", ""},
        {true, false, "table", dir},
        {false, true, "planted", ""},
    };
    std::string block = environment_with({"TREVALO_PROBE_SERVICE=1"});
    for (const auto &c : cases) {
        std::string output;
        EXPECT_EQ(run_capture(quote(probe), dir, &output, c.service ? block.data() : nullptr,
                              !c.elevated), 0u) << output;
        auto values = parse_values(output);
        EXPECT_EQ(values["app_args"], c.app_args) << c.elevated << c.service;
        EXPECT_EQ(values["refused_ini_folder"], c.refused) << c.elevated << c.service;
    }
}

TEST(Settings, IniFileIsReadFromTheLaunchersFolder)
{
    // Started from another folder, the launcher still finds the INI file beside itself.
    std::string dir = make_temp_dir("ini-cwd");
    std::string elsewhere = make_temp_dir("elsewhere");
    write_file(dir + "\\app.ini", "[Application Configuration]\nAppOptions=found\n");
    std::string probe = make_launcher(dir, std::string(MAIN) + "ini_file = app.ini\n",
                                      "probe.exe", build_dir() + "\\settings_probe.exe");
    std::string output;
    EXPECT_EQ(run_capture(quote(probe), elsewhere, &output), 0u);
    EXPECT_NE(output.find("app_args=found"), std::string::npos) << output;
}

} // namespace
