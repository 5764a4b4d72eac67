// The launcher builder's configuration file: what it accepts, what it refuses and why, and
// each setting as a launcher built from it loads it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>

#include <string>
#include <vector>

#include "base/setting_codec.h"
#include "config/search_methods.h"
#include "config/setting_list.h"
#include "config/settings.h"
#include "builder/config.h"
#include "builder/setting_check.h"
#include "os/guard.h"
#include "tests/unit/fake_os.h"

namespace {

using namespace std::string_literals;

std::string decoded(const std::string &text)
{
    char out[DECODE_BUFFER_SIZE];
    return decode_setting_text(text.c_str(), out);
}

const std::string BOM = "\xEF\xBB\xBF";

std::string times(size_t count, const std::string &piece)
{
    std::string text;
    for (size_t i = 0; i < count; i++)
        text += piece;
    return text;
}

std::string value_of(const builder_config &config, unsigned id)
{
    for (const setting_value &v : config.settings)
        if (v.id == id)
            return v.text;
    ADD_FAILURE() << "no setting " << id;
    return "";
}

TEST(BuilderConfig, ReadsNamesNumbersCommentsAndDefaults)
{
    builder_config values;
    std::string error;
    ASSERT_TRUE(parse_config("# sample\n"
                             "\n"
                             "  main_class = a.b.Main  \r\n"
                             "class_path=lib\\x.jar;y.jar\n"
                             "1056 = -Xmx64m -Dp=\"a b\"\n"
                             "splash_text =\n"
                             "embed = lib\n"
                             "splash = images\\splash.bmp\n"
                             "embed = app.jar\n",
                             &values, &error)) << error;
#define TREVALO_SETTING_ID_OF(name, id, kind, default_text) id,
    const unsigned listed[] = {TREVALO_SETTINGS(TREVALO_SETTING_ID_OF)};
#undef TREVALO_SETTING_ID_OF
    ASSERT_EQ(values.settings.size(), sizeof listed / sizeof *listed);
    for (size_t i = 0; i < values.settings.size(); i++) {
        EXPECT_EQ(values.settings[i].id, listed[i]);
        EXPECT_TRUE(i == 0 || listed[i - 1] < listed[i]) << "IDs in order";
        EXPECT_EQ(listed[i] % SETTING_STEP, 0u) << "each the first of its string block";
    }
    EXPECT_EQ(values.embedded, (std::vector<std::string>{"lib", "app.jar"}));
    EXPECT_EQ(values.splash, "images\\splash.bmp");

    EXPECT_EQ(decoded(value_of(values, SETTING_main_class)), "a.b.Main");
    EXPECT_EQ(value_of(values, SETTING_class_path), "lib\\x.jar;y.jar");
    EXPECT_EQ(value_of(values, SETTING_jvm_options), "-Xmx64m -Dp=\"a b\"");
    EXPECT_EQ(value_of(values, SETTING_splash_text), "") << "an empty value replaces the default";
    EXPECT_EQ(value_of(values, SETTING_search_order), "8071234569");
    EXPECT_EQ(value_of(values, SETTING_max_java_version), "");
    EXPECT_EQ(value_of(values, SETTING_msg_no_runtime),
              "Unable to locate suitable Java Runtime Environment on this machine.");
    EXPECT_EQ(value_of(values, SETTING_app_args), "");
}

TEST(BuilderConfig, AcceptsWhatALauncherCanUse)
{
    const struct { std::string text; unsigned id; std::string value; } cases[] = {
        // The byte-order mark goes whole: the key right after it is found.
        {BOM + "class_path = a.jar\nmain_class = M\n", SETTING_class_path, "a.jar"},
        // A lone CR ends a line as LF and CRLF do.
        {"main_class = M\rclass_path = a.jar\r", SETTING_class_path, "a.jar"},
        {"main_class = M\r\nclass_path = a\rapp_args = x\n", SETTING_app_args, "x"},
        // UTF-8 with or without the mark.
        {BOM + "main_class = org.\xC3\xA9t\xC3\xA9.Main_2$In\n", SETTING_main_class,
         "org.\xC3\xA9t\xC3\xA9.Main_2$In"},
        {"# caf\xC3\xA9\nmain_class = M\nsplash_text = \xE2\x82\xAC \xF0\x9F\x98\x80\n",
         SETTING_splash_text, "\xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"main_class = M\nmsg_attach = 100%% sure\n", SETTING_msg_attach, "100%% sure"},
        // Lengths are UTF-16 units: one for 2 bytes of UTF-8, two for 4.
        {BOM + "main_class = M\napp_args = " + times(40000, "\xC3\xA9"), SETTING_app_args,
         times(40000, "\xC3\xA9")},
        {"main_class = M\napp_args = " + times(32767, "\xF0\x9D\x84\x9E"), SETTING_app_args,
         times(32767, "\xF0\x9D\x84\x9E")},
        {"main_class = M\napp_args = " + times(65535, "\xE6\x97\xA5"), SETTING_app_args,
         times(65535, "\xE6\x97\xA5")},
        // The main class: 90 bytes with embedded files to unpack, 255 without.
        {"embed = a.jar\nmain_class = " + times(90, "c"), SETTING_main_class, times(90, "c")},
        {"main_class = " + times(255, "c"), SETTING_main_class, times(255, "c")},
        // Values of each kind at the ends of what the launcher honours; flags and versions
        // written as people write them are stored as the launcher reads them.
        {"main_class = M\nmultiple_instances = no\n", SETTING_multiple_instances, "0"},
        {"main_class = M\nmultiple_instances = True\n", SETTING_multiple_instances, "1"},
        {"main_class = M\ndelayed_start = OFF\n", SETTING_delayed_start, "0"},
        {"main_class = M\nmanual_start = 1\n", SETTING_manual_start, "1"},
        {"main_class = M\npriority = 0\n", SETTING_priority, "0"},
        {"main_class = M\npriority = 5\n", SETTING_priority, "5"},
        {"main_class = M\nsplash_seconds = 2147483\n", SETTING_splash_seconds, "2147483"},
        {"main_class = M\nsplash_seconds =\n", SETTING_splash_seconds, ""},
        {"main_class = M\nrestart_seconds = 4294967\n", SETTING_restart_seconds, "4294967"},
        {"main_class = M\nmax_java_version = 017\n", SETTING_max_java_version, "017"},
        {"main_class = M\njava_version = 0x00010008\n", SETTING_java_version, "0x00010008"},
        {"main_class = M\njava_version = 0X1000a\n", SETTING_java_version, "0X1000a"},
        {"main_class = M\njava_version = 1.8\n", SETTING_java_version, "0x00010008"},
        {"main_class = M\njava_version = 8\n", SETTING_java_version, "0x00010008"},
        {"main_class = M\njava_version = 9\n", SETTING_java_version, "0x00090000"},
        {"main_class = M\njava_version = 17\n", SETTING_java_version, "0x00110000"},
        {"main_class = M\njava_version =\n", SETTING_java_version, ""},
        {"main_class = M\nsearch_order = 0\n", SETTING_search_order, "0"},
        {"main_class = M\nservice_name = " + times(256, "\xC3\xA9"), SETTING_service_name,
         times(256, "\xC3\xA9")},
        {"main_class = M\ncommand_line_rule = windows\n", SETTING_command_line_rule, "windows"},
        {"main_class = M\n", SETTING_command_line_rule, "classic"},
        {"main_class = M\ncommand_line_rule =\n", SETTING_command_line_rule, ""},
        {"main_class = M\nexpand_wildcards =\n", SETTING_expand_wildcards, ""},
        {"main_class = M\nexpand_wildcards = Yes\n", SETTING_expand_wildcards, "1"},
        // No main class: the class path starts with a jar, whose manifest names it.
        {"main_jar = app.jar\n", SETTING_main_class, ""},
        {"main_jar = app.jar\n", SETTING_class_path, "app.jar"},
        {"class_path = lib\\x.jar\nmain_jar = %LAUNCHER_DIR%\\app.jar\n", SETTING_class_path,
         "%LAUNCHER_DIR%\\app.jar;lib\\x.jar"},
        {"main_class =\nclass_path = app.JAR;lib\\*\n", SETTING_main_class, ""},
        {"main_class =\nembed = app.jar\nembed = lib\n", SETTING_main_class, ""},
        {"main_class = M\ninstance_handover = front\n", SETTING_instance_handover, "front"},
        {"main_class = M\ninstance_handover = a.b$C.\u00e9_1\n", SETTING_instance_handover,
         "a.b$C.\u00e9_1"},
        {"main_class = M\nmax_heap_percent = 100\n", SETTING_max_heap_percent, "100"},
        // The service accounts that need no password.
        {"main_class = M\nservice_account = ", SETTING_service_account, ""},
        {"main_class = M\nservice_account = LocalService", SETTING_service_account, "LocalService"},
        {"main_class = M\nservice_account = NetworkService", SETTING_service_account,
         "NetworkService"},
        {"main_class = M\nservice_account = virtual", SETTING_service_account, "virtual"},
        {"main_class = M\napp_user_model_id = " + times(63, "a.") + "bb", SETTING_app_user_model_id,
         times(63, "a.") + "bb"},
    };
    for (const auto &c : cases) {
        builder_config values;
        std::string error;
        ASSERT_TRUE(parse_config(c.text, &values, &error)) << c.text.substr(0, 80) << "\n" << error;
        std::string value = value_of(values, c.id);
        if (c.id == SETTING_main_class)
            value = decoded(value);
        EXPECT_EQ(value, c.value) << c.text.substr(0, 80);
    }
}

TEST(BuilderConfig, StoresSettingsAsTheirUtf16Units)
{
    const struct { std::string utf8; std::u16string utf16; } cases[] = {
        {"", u""},
        {"plain ASCII", u"plain ASCII"},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", u"\u00e9t\u00e9 \u20ac"},
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
        {"\xF4\x8F\xBF\xBF\xEF\xBF\xBF", u"\U0010FFFF\uFFFF"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(utf16_of(c.utf8) == c.utf16) << c.utf8;
}

TEST(BuilderConfig, RefusesBadInputWithTheLine)
{
    const struct { std::string text; std::string error; } cases[] = {
        {"main_class = M\nmian_class = N\n", "line 2: unknown setting 'mian_class' (did you mean 'main_class'?)"},
        {"main_class = M\n1025 = x\n", "line 2: unknown setting '1025'"},
        {"main_class = M\njust words\n", "line 2: expected 'key = value'"},
        {"main_class = M\n1168 = N\n", "line 2: 'main_class' is already set on line 1"},
        {"class_path = x\n", "no main class"},
        {"main_class =\n", "no main class"},
        {"main_class =\nclass_path = lib\\*;app.jar\n", "no main class"},
        {"main_class =\nembed = lib\nclass_path = app.jar\n", "no main class"},
        {"main_class = M\nmain_jar = a.jar\n", "line 2: 'main_jar' runs the Main-Class of the "
                                              "jar's manifest; leave out 'main_class' (line 1)"},
        {"main_jar = a.jar\nembed = b.jar\n", "line 1: 'main_jar' starts the class path, but"},
        {"main_jar =\n", "line 1: 'main_jar' needs a file"},
        {"main_jar = a.jar\nmain_jar = b.jar\n", "line 2: 'main_jar' is already set on line 1"},
        {"main_class = M\nexpand_wildcards = 2\n", "line 2: 'expand_wildcards' is '2': a flag"},
        {"main_class = M\nmsg_class = class %s in %s\n", "line 2: message 'msg_class'"},
        {"main_class = M\nmsg_class = %d classes\n", "line 2: message 'msg_class'"},
        {"main_class = M\nmsg_class = 50%\n", "line 2: message 'msg_class'"},
        {"main_class = M\n = x\n", "line 2: unknown setting ''"},
        {"main_class = M\nembed =\n", "line 2: 'embed' needs a file or folder"},
        {"main_class = M\nsplash = a.bmp\nsplash = b.bmp\n",
         "line 3: 'splash' is already set on line 2"},
        // The launcher shows these messages with nothing to put in a conversion.
        {"main_class = M\nmsg_no_runtime = No Java runtime found [%s]\n",
         "line 2: message 'msg_no_runtime' is shown as it is"},
        {"main_class = M\nmsg_already_running = %s\n", "line 2: message 'msg_already_running' is"},
        {"main_class = M\nmsg_attach = %d\n", "line 2: message 'msg_attach' is shown"},
        {BOM + "main_class = M\nsplash_text = caf\xE9 au lait\n", "line 2: is not valid UTF-8"},
        {BOM + "main_class = M\n\napp_args = \xC0\xAF\n", "line 3: is not valid UTF-8"},
        {BOM + "main_class = M\napp_args = \xED\xA0\x80\n", "line 2: is not valid UTF-8"},
        {BOM + "main_class = M\napp_args = \xF4\x90\x80\x80\n", "line 2: is not valid UTF-8"},
        {BOM + "main_class = M\napp_args = \xE2\x82", "line 2: is not valid UTF-8"},
        {"main_class = M\napp_args = a\0b\n"s, "line 2: holds a NUL byte, which would cut the value short (save the file as UTF-8, not UTF-16)"},
        {"main_class = M\rmian_class = N\r", "line 2: unknown setting 'mian_class' (did you mean 'main_class'?)"},
        {"main_class = M\r\n\r\njust words\r\n", "line 3: expected 'key = value'"},
        {"main_class = a b\n", "line 1: main class 'a b' is not a Java class name"},
        {"main_class = a/b\n", "line 1: main class 'a/b' is not"},
        {"main_class = a..b\n", "line 1: main class 'a..b' is not"},
        {"main_class = .a\n", "line 1: main class '.a' is not"},
        {"main_class = a.\n", "line 1: main class 'a.' is not"},
        {"main_class = " + times(256, "c"), "line 1: main class is longer than 255"},
        {"main_class = " + times(91, "c") + "\nembed = a.jar\n",
         "line 1: main class is longer than 90 bytes, too long for embedded files"},
        {"main_class = M\njvm_options = " + times(70000, "x"),
         "line 2: 'jvm_options' is longer than 65535"},
        {BOM + "main_class = M\napp_args = " + times(32768, "\xF0\x9D\x84\x9E"),
         "line 2: 'app_args' is longer than 65535"},
        {"main_class = M\napp_args = " + times(65536, "\xE6\x97\xA5"),
         "line 2: 'app_args' is longer than 65535"},
        // Text in a code page is refused, the mark or not, comments too.
        {"main_class = M\nsplash_text = caf\xE9 au lait\n", "line 2: is not valid UTF-8"},
        {"main_class = M\n# r\xE9sum\xE9\n", "line 2: is not valid UTF-8"},
        {"main_class = M\nservice_account = .\\Administrator\n",
         "line 2: 'service_account' is '.\\Administrator': it may be empty (LocalSystem), "
         "LocalService, NetworkService or virtual"},
        {"main_class = M\n\n1824 = localservice\n", "line 3: 'service_account' is 'localservice'"},
        {"main_class = M\nservice_account = NT AUTHORITY\\LocalService\n",
         "line 2: 'service_account'"},
        {"main_class = M\nfile_version = 1.x\n", "line 2: 'file_version': version '1.x' is not"},
        {"main_class = M\nproduct_version = 1.2.3.4.5\n", "line 2: 'product_version': version "
                                                         "'1.2.3.4.5' has more than four"},
        {"main_class = M\nexecution_level = admin\n", "line 2: 'execution_level' is asInvoker, "
                                                     "highestAvailable or requireAdministrator, not 'admin'"},
        {"main_class = M\nicon =\n", "line 2: 'icon' needs a file"},
        {"main_class = M\nicon = a.ico\n\nicon = b.ico\n", "line 4: 'icon' is already set on line 2"},
        {"main_class = M\ncopyright = \xA9 2026\n", "line 2: is not valid UTF-8"},
        {"main_class = M\nsearch_order = x1\n",
         "line 2: 'search_order' is 'x1': 'x' names no search method; give digits of the "
         "search methods (0 runtime_paths, 1 registered_runtimes, 2 kit_client"},
        {"main_class = M\nsearch_order = 0a\n", "line 2: 'search_order' is '0a': 'a' names no"},
        {"main_class = M\n\nsearch_order = 8 0\n", "line 3: 'search_order' is '8 0': ' ' names"},
        {"main_class = M\nmultiple_instances = maybe\n",
         "line 2: 'multiple_instances' is 'maybe': a flag is 1 (on) or 0 (off); true, yes and "
         "on, false, no and off are read too"},
        {"main_class = M\nmultiple_instances =\n", "line 2: 'multiple_instances' is ''"},
        {"main_class = M\n1344 = 2\n", "line 2: 'multiple_instances' is '2'"},
        {"main_class = M\npriority = 9\n",
         "line 2: 'priority' is '9': give a whole number from 0 to 5 (0 realtime, 1 high, 2 "
         "above normal, 3 normal, 4 below normal, 5 idle)"},
        {"main_class = M\npriority = 6\n", "line 2: 'priority' is '6'"},
        {"main_class = M\npriority = -1\n", "line 2: 'priority' is '-1'"},
        {"main_class = M\npriority =\n", "line 2: 'priority' is '': give a whole number"},
        {"main_class = M\nsplash_seconds = abc\n",
         "line 2: 'splash_seconds' is 'abc': give a whole number from 0 to 2147483 (seconds; 0: "
         "no fixed time), or leave it empty"},
        {"main_class = M\nsplash_seconds = 2147484\n", "line 2: 'splash_seconds' is '2147484'"},
        {"main_class = M\nsplash_seconds = 99999999999999999999999\n", "'splash_seconds' is"},
        {"main_class = M\nrestart_seconds = -5\n", "line 2: 'restart_seconds' is '-5'"},
        {"main_class = M\nrestart_seconds = 4294968\n", "line 2: 'restart_seconds' is"},
        {"main_class = M\nrestart_seconds = 1.5\n", "line 2: 'restart_seconds' is '1.5'"},
        {"main_class = M\nmax_java_version = 65536\n", "line 2: 'max_java_version' is"},
        {"main_class = M\noutput_keep = 2147483647\n", "line 2: 'output_keep' is"},
        {"main_class = M\nmax_java_version = 17 \u00a0\n", "line 2: 'max_java_version' is"},
        {"main_class = M\njava_version = 1.8.0\n",
         "line 2: 'java_version' is '1.8.0': give a version as 1.8, 8 or 17, or in hexadecimal "
         "as 0x00010008 (1.8) or 0x00110000 (17), or leave it empty"},
        {"main_class = M\njava_version = 00010008\n", "line 2: 'java_version' is '00010008'"},
        {"main_class = M\njava_version = 0x100000000\n", "line 2: 'java_version' is"},
        {"main_class = M\njava_version = 0x\n", "line 2: 'java_version' is '0x'"},
        {"main_class = M\njava_version = 1000\n", "line 2: 'java_version' is '1000'"},
        {"main_class = M\nservice_name = a\\b\n",
         "line 2: 'service_name' is 'a\\b': a service name may not hold '/', '\\' or control "
         "characters"},
        {"main_class = M\nservice_name = a/b\n", "line 2: 'service_name' is 'a/b'"},
        {"main_class = M\nservice_name = " + times(257, "s"),
         "line 2: 'service_name' is 257 characters long; a service name has at most 256"},
        {"main_class = M\ncommand_line_rule = msvc\n",
         "line 2: 'command_line_rule' is 'msvc': give windows"},
        {"main_class = Main\xC2\xA0\n", "line 1: main class 'Main\xC2\xA0' is not a Java class"},
        {"main_class = a.\xE2\x80\x8BMain\n", "line 1: main class 'a.\xE2\x80\x8BMain' is not"},
        {"main_class = a\xEF\xBB\xBF\n", "line 1: main class"},
        {"main_class = a\xE3\x80\x80" "b\n", "line 1: main class"},
        // Echoed text is cut: a key or value of any length shows its first 60 characters.
        {"main_class = M\n" + times(100000, "k") + " = 1\n",
         "line 2: unknown setting '" + times(60, "k") + "...'"},
        {"main_class = M\n" + times(30, "\xE6\x97\xA5") + times(100, "x") + "\n",
         "line 2: expected 'key = value', found '" + times(30, "\xE6\x97\xA5") + times(30, "x") +
             "...'"},
        {"main_class = M\nfile_version = " + times(1000, "9"), "version '" + times(60, "9") + "...'"},
        {"main_class = M\nclass_sharing = on\n", "line 2: 'class_sharing' is auto or off, not 'on'"},
        {"main_class = M\ninstance_handover = open\n",
         "line 2: 'instance_handover' is 'open': give front (a second start brings the running "
         "instance's window to the front), a static method as package.Class.method"},
        {"main_class = M\ninstance_handover = a..b\n", "line 2: 'instance_handover' is 'a..b'"},
        {"main_class = M\ninstance_handover = a.1b\n", "line 2: 'instance_handover' is 'a.1b'"},
        {"main_class = M\ninstance_handover = a.b.\n", "line 2: 'instance_handover' is"},
        {"main_class = M\ninstance_handover = Front\n", "line 2: 'instance_handover' is"},
        {"main_class = M\ninitial_heap_percent = 0\n", "give a whole number from 1 to 100"},
        {"main_class = M\napp_user_model_id = Example.My App\n", "no blanks"},
        {"main_class = M\napp_user_model_id = Example\n", "give dot-separated parts"},
        {"main_class = M\napp_user_model_id = " + times(64, "a.") + "b",
         "129 characters long; an application user model id has at most 128"},
        {"main_class = M\nsearch_order =\n",
         "line 2: 'search_order' is empty, so the launcher would look for no runtime: give "
         "digits of the search methods (0 runtime_paths"},
    };
    for (const auto &c : cases) {
        builder_config values;
        std::string error;
        EXPECT_FALSE(parse_config(c.text, &values, &error)) << c.text.substr(0, 80);
        EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
    }
}

TEST(BuilderConfig, MessageFormats)
{
    const struct { const char *format; bool safe, safe_plain; } cases[] = {
        {"", true, true}, {"plain", true, true}, {"at %s", true, false},
        {"100%% sure: %s", true, false}, {"100%% sure", true, true}, {"%s and %s", false, false},
        {"%d", false, false}, {"%", false, false}, {"%S", false, false}, {"%-5s", false, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_safe_message_format(c.format, false), c.safe) << c.format;
        EXPECT_EQ(is_safe_message_format(c.format, true), c.safe_plain) << c.format;
    }
}

TEST(BuilderConfig, NamesEverySetting)
{
#define TREVALO_SETTING_NAME_OF(name, id, kind, default_text) EXPECT_STREQ(setting_name(id), #name);
    TREVALO_SETTINGS(TREVALO_SETTING_NAME_OF)
#undef TREVALO_SETTING_NAME_OF
    EXPECT_EQ(setting_name(1025), nullptr);
}

// The README's table of search methods has one row per method of the list, in its order, each
// with the method's digit and name; --print names them the same way.
TEST(BuilderConfig, ReadmeTableListsTheSearchMethods)
{
    std::ifstream file(TREVALO_SOURCE_DIR "/README.md");
    std::stringstream readme;
    readme << file.rdbuf();
    std::string text = readme.str();
    size_t at = text.find("| digit | name | where |");
    ASSERT_NE(at, std::string::npos) << "no search-method table in the README";
    std::string rows, listed, order;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos && text[at] == '|';
         at = end + 1) {
        // "| 0 | `runtime_paths` | ...": the digit and the name.
        std::string row = text.substr(at, end - at);
        size_t third = row.find(" | ", 4);
        if (row.size() > 4 && row[2] >= '0' && row[2] <= '9' && third != std::string::npos)
            rows += row.substr(2, third - 2) + "\n";
    }
#define TREVALO_SEARCH_METHOD_ROW(digit, name, function, description)                           \
    listed += std::string(1, digit) + " | `" #name "`\n";                                       \
    order += digit;
    TREVALO_SEARCH_METHODS(TREVALO_SEARCH_METHOD_ROW)
#undef TREVALO_SEARCH_METHOD_ROW
    EXPECT_EQ(rows, listed);
    EXPECT_EQ(search_method_names(order.substr(0, 2) + "x"), "0 runtime_paths, 1 registered_runtimes");
}

// The README's table of what a guarded run uses is the guard's list, row for row.
TEST(BuilderConfig, ReadmeTableListsTheGuardedInputs)
{
    std::ifstream file(TREVALO_SOURCE_DIR "/README.md");
    std::stringstream readme;
    readme << file.rdbuf();
    std::string text = readme.str(), listed;
    size_t at = text.find("| input | kind | in a service and an elevated launcher |");
    ASSERT_NE(at, std::string::npos) << "no table of a guarded run's inputs in the README";
    size_t end = text.find("\n\n", at);
    const char *kinds[] = {"variable", "variable", "registry", "file", "folder", "setting"};
#define TREVALO_GUARDED_ROW(input, kind, how)                                                  \
    listed += std::string("| `") + input + "` | " + kinds[INPUT_##kind] + " | " + how + " |\n";
    TREVALO_GUARDED_INPUTS(TREVALO_GUARDED_ROW)
#undef TREVALO_GUARDED_ROW
    std::string rows = text.substr(at, end - at + 1);
    EXPECT_EQ(rows.substr(rows.find("| --- | --- | --- |\n") + 20), listed);
}

// A loaded setting in its kind's form: texts as they are (and freed), flags as 0 or 1, numbers
// in decimal, hexadecimal ones as 0x%08X.
std::string loaded_text(char *text)
{
    std::string value = text;
    free(text);
    return value;
}
std::string loaded_text(bool flag) { return flag ? "1" : "0"; }
std::string loaded_text(int number) { return std::to_string(number); }
std::string loaded_text(unsigned number)
{
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08X", number);
    return hex;
}

// The settings a launcher built from config loads (stored: texts written in place of the
// built ones, as launchers built before the builder checked them may hold), name -> value.
std::map<std::string, std::string> loaded(const std::string &config,
                                          const std::map<unsigned, std::string> &stored)
{
    builder_config built;
    std::string error;
    EXPECT_TRUE(parse_config(config, &built, &error)) << error;
    string_table.clear();
    for (const setting_value &v : built.settings)
        string_table[v.id] = v.text;
    for (const auto &s : stored)
        string_table[s.first] = s.second;
    launcher_settings settings = {};
    EXPECT_TRUE(load_settings(&settings));
    std::map<std::string, std::string> values;
#define TREVALO_SETTING_LOADED(name, id, kind, default_text) values[#name] = loaded_text(settings.name);
    TREVALO_SETTINGS(TREVALO_SETTING_LOADED)
#undef TREVALO_SETTING_LOADED
    values["java_version_text"] = loaded_text(settings.java_version_text);
    free(settings.main_class_encoded);
    string_table.clear();
    return values;
}

TEST(BuilderConfig, LauncherLoadsEachKindAsBuilt)
{
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
        {"", "priority", "0", SETTING_priority, ""},
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
        std::map<unsigned, std::string> stored;
        if (c.stored)
            stored[c.stored_id] = c.stored;
        EXPECT_EQ(loaded("main_class = a.b.Main\n"s + c.config, stored)[c.name], c.value)
            << "config: " << c.config << (c.stored ? c.stored : "");
    }
}

} // namespace
