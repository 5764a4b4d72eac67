// The launcher builder's configuration file: what it accepts, what it refuses and why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/setting_codec.h"
#include "config/setting_list.h"
#include "builder/config.h"

namespace {

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
                             "priority =\n"
                             "embed = lib\n"
                             "splash = images\\splash.bmp\n"
                             "embed = app.jar\n",
                             &values, &error)) << error;
    ASSERT_EQ(values.settings.size(),
              (size_t)((SETTING_LAST - SETTING_FIRST) / SETTING_STEP + 1));
    for (size_t i = 0; i < values.settings.size(); i++)
        EXPECT_EQ(values.settings[i].id, SETTING_FIRST + i * SETTING_STEP) << "IDs in order";
    EXPECT_EQ(values.embedded, (std::vector<std::string>{"lib", "app.jar"}));
    EXPECT_EQ(values.splash, "images\\splash.bmp");

    EXPECT_STREQ(decode_setting_text(value_of(values, SETTING_main_class).c_str()), "a.b.Main");
    EXPECT_EQ(value_of(values, SETTING_class_path), "lib\\x.jar;y.jar");
    EXPECT_EQ(value_of(values, SETTING_jvm_options), "-Xmx64m -Dp=\"a b\"");
    EXPECT_EQ(value_of(values, SETTING_priority), "") << "an empty value replaces the default";
    EXPECT_EQ(value_of(values, SETTING_search_order), "01234");
    EXPECT_EQ(value_of(values, SETTING_msg_no_runtime),
              "Unable to locate suitable Java Runtime Environment on this machine.");
    EXPECT_EQ(value_of(values, SETTING_app_args), "");
}

TEST(BuilderConfig, RefusesBadInputWithTheLine)
{
    const struct { const char *text; const char *error; } cases[] = {
        {"main_class = M\nmian_class = N\n", "line 2: unknown setting 'mian_class'"},
        {"main_class = M\n1025 = x\n", "line 2: unknown setting '1025'"},
        {"main_class = M\njust words\n", "line 2: expected 'key = value'"},
        {"main_class = M\n1168 = N\n", "line 2: 'main_class' is already set on line 1"},
        {"class_path = x.jar\n", "no main class"},
        {"main_class =\n", "no main class"},
        {"main_class = M\nmsg_class = class %s in %s\n", "line 2: message 'msg_class'"},
        {"main_class = M\nmsg_class = %d classes\n", "line 2: message 'msg_class'"},
        {"main_class = M\nmsg_class = 50%\n", "line 2: message 'msg_class'"},
        {"main_class = M\n = x\n", "line 2: unknown setting ''"},
        {"main_class = M\nembed =\n", "line 2: 'embed' needs a file or folder"},
        {"main_class = M\nsplash = a.bmp\nsplash = b.bmp\n",
         "line 3: 'splash' is already set on line 2"},
        {"main_class = M\nservice_account = .\\Administrator\n",
         "line 2: 'service_account' is '.\\Administrator': it may be empty (LocalSystem), "
         "LocalService, NetworkService or virtual"},
        {"main_class = M\n\n1824 = localservice\n", "line 3: 'service_account' is 'localservice'"},
        {"main_class = M\nservice_account = NT AUTHORITY\\LocalService\n",
         "line 2: 'service_account'"},
    };
    for (const auto &c : cases) {
        builder_config values;
        std::string error;
        EXPECT_FALSE(parse_config(c.text, &values, &error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
    }
}

TEST(BuilderConfig, TakesTheServiceAccountsThatNeedNoPassword)
{
    for (const char *account : {"", "LocalService", "NetworkService", "virtual"}) {
        builder_config values;
        std::string error;
        ASSERT_TRUE(parse_config(std::string("main_class = M\nservice_account = ") + account,
                                 &values, &error)) << account << ": " << error;
        EXPECT_EQ(value_of(values, SETTING_service_account), account);
    }
}

TEST(BuilderConfig, LimitsTheMainClassAndSettingLength)
{
    builder_config values;
    std::string error;
    std::string longest(MAX_ENCODED_BYTES, 'c');
    EXPECT_TRUE(parse_config("main_class = " + longest, &values, &error)) << error;
    EXPECT_FALSE(parse_config("main_class = " + longest + "c", &values, &error));
    EXPECT_NE(error.find("main class is longer than 255"), std::string::npos) << error;

    std::string huge(70000, 'x');
    EXPECT_FALSE(parse_config("main_class = M\njvm_options = " + huge, &values, &error));
    EXPECT_NE(error.find("'jvm_options' is longer than 65535"), std::string::npos) << error;
}

TEST(BuilderConfig, MessageFormats)
{
    const struct { const char *format; bool safe; } cases[] = {
        {"", true}, {"plain", true}, {"at %s", true}, {"100%% sure: %s", true},
        {"%s and %s", false}, {"%d", false}, {"%", false}, {"%S", false}, {"%-5s", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(is_safe_message_format(c.format), c.safe) << c.format;
}

TEST(BuilderConfig, NamesEverySetting)
{
    for (unsigned id = SETTING_FIRST; id <= SETTING_LAST; id += SETTING_STEP)
        EXPECT_NE(setting_name(id), nullptr) << id;
    EXPECT_EQ(setting_name(1025), nullptr);
}

} // namespace
