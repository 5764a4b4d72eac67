// Loading the settings, through a probe that runs the launcher's own loader on the resources
// the builder wrote.
#include <gtest/gtest.h>

#include "config/setting_list.h"
#include "tests/wine/harness.h"

namespace {

const char *const MAIN = "main_class = a.b.Main\n";

TEST(Settings, ConvertsEachKind)
{
    // stored: the text is written into the launcher as it is, not through the builder, which
    // refuses it or stores another form; launchers built before it checked may hold it.
    const struct {
        const char *config;
        const char *name;
        const char *value;
        unsigned stored_id = 0;
        const char *stored = nullptr;
    } cases[] = {
        {"", "main_class", "a/b/Main"},  // every dot becomes a slash
        {"", "splash_until_window", "1"},
        {"splash_until_window = 1\n", "splash_until_window", "1"},
        {"", "splash_until_window", "1", SETTING_splash_until_window, "x"},
        {"", "splash_until_window", "1", SETTING_splash_until_window, "no"},
        {"", "splash_until_window", "1", SETTING_splash_until_window, ""},  // empty is on
        {"splash_until_window = 0\n", "splash_until_window", "0"},
        {"splash_until_window = no\n", "splash_until_window", "0"},
        {"", "splash_until_window", "0", SETTING_splash_until_window, "00"},
        {"multiple_instances = 0\n", "multiple_instances", "0"},
        // Launchers built before it hold no expand_wildcards: empty is off.
        {"", "expand_wildcards", "0", SETTING_expand_wildcards, ""},
        {"expand_wildcards = 1\n", "expand_wildcards", "1"},
        {"stop_with_exit = 1\n", "stop_with_exit", "1"},
        {"", "splash_seconds", "0", SETTING_splash_seconds, "abc"},
        {"splash_seconds = 12\n", "splash_seconds", "12"},
        {"", "java_version", "0x00010004", SETTING_java_version, "10004"},
        {"java_version = 0x00010004\n", "java_version", "0x00010004"},
        {"java_version =\n", "java_version", "0x00000000"},
        {"java_version = 1.6\n", "java_version", "0x00010006"},
        {"java_version = 17\n", "java_version", "0x00110000"},
        {"", "java_version_text", "1.6", SETTING_java_version, "1.6"},
        {"jvm_options = -Dpath=\"%TEMP%\\x y\"\n", "jvm_options", "-Dpath=\"%TEMP%\\x y\""},
        {"", "search_order", "8071234569"},
        {"search_order = 01234\n", "search_order", "01234"},
        {"", "max_java_version", "0"},
        {"max_java_version = 21\n", "max_java_version", "21"},
        {"", "msg_no_runtime",
         "Unable to locate suitable Java Runtime Environment on this machine."},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("kinds");
        std::map<unsigned, std::string> stored;
        if (c.stored)
            stored[c.stored_id] = c.stored;
        auto values = probe_settings(dir, std::string(MAIN) + c.config, stored);
        EXPECT_EQ(values[c.name], c.value) << "config: " << c.config << (c.stored ? c.stored : "");
    }
}

TEST(Settings, AppliesThePriorityTable)
{
    const struct {
        const char *value;
        const char *priority_class;
    } cases[] = {
        {"", "0x100"},     // empty reads as 0: realtime
        {"0", "0x100"}, {"1", "0x80"}, {"2", "0x8000"}, {"3", "0x20"}, {"4", "0x4000"},
        {"5", "0x40"},
        {"6", "0x20"}, {"9", "0x20"}, {"-1", "0x20"},  // outside the table: left alone
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("priority");
        // As stored: the builder takes only 0 to 5.
        auto values = probe_settings(dir, MAIN, {{SETTING_priority, c.value}});
        EXPECT_EQ(values["priority_class"], c.priority_class) << "priority = " << c.value;
    }
}

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
