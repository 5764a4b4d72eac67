// The runtime search against an in-memory registry and real files in a temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "tests/unit/fake_os.h"
#include "base/text.h"
#include "java/runtime_search.h"
#include "config/settings.h"
#include "tests/unit/temp_tree.h"
#include "tests/unit/test_settings.h"

namespace {

const char *const JRE = "Software\\JavaSoft\\Java Runtime Environment";
const char *const IBM_JRE = "Software\\IBM\\Java2 Runtime Environment";
const char *const JDK = "Software\\JavaSoft\\Java Development Kit";

class RuntimeSearch : public testing::Test {
protected:
    temp_tree tree;
    char runtime_home[RUNTIME_HOME_SIZE] = {};

    void SetUp() override
    {
        fake_registry_clear();
        configure("01234", "0x00010004", "");
    }

    void configure(const char *order, const char *version, const char *paths)
    {
        set_text(&mutable_settings()->search_order, order);
        set_text(&mutable_settings()->java_version_text, version);
        set_text(&mutable_settings()->runtime_paths, paths);
    }

    // Registers version of the table key with the given values (null: not set).
    void add_version(const char *table_key, const char *version, const char *home,
                     const char *library)
    {
        std::string key = std::string(table_key) + "\\" + version;
        fake_registry_add_key(key.c_str());
        if (home)
            fake_registry_set_text(key.c_str(), "JavaHome", home);
        if (library)
            fake_registry_set_text(key.c_str(), "RuntimeLib", library);
    }

    std::string find(size_t capacity = 260)
    {
        std::string result(capacity, 'x');
        return find_runtime_library(&result[0], capacity, runtime_home) ? std::string(result.c_str()) : "";
    }
};

TEST_F(RuntimeSearch, CurrentVersionOfTheFirstRowComesFirst)
{
    std::string current = tree.file("jre15\\bin\\client\\jvm.dll");
    std::string other = tree.file("jre14\\bin\\client\\jvm.dll");
    fake_registry_set_text(JRE, "CurrentVersion", "1.5");
    add_version(JRE, "1.4", tree.path("jre14").c_str(), other.c_str());  // listed first
    add_version(JRE, "1.5", tree.path("jre15").c_str(), current.c_str());
    EXPECT_EQ(find(), current);
    EXPECT_STREQ(runtime_home, tree.path("jre15").c_str());
}

TEST_F(RuntimeSearch, VersionTestIsPerDigit)
{
    const struct {
        const char *minimum;
        const char *version;
        bool passes;
    } cases[] = {
        {"0x00010004", "1.4", true}, {"0x00010004", "1.4.2_05", true},
        {"0x00010004", "1.5.0", true}, {"0x00010004", "1.3.1", false},
        {"0x00010004", "2.0", false}, {"0x00010004", "1.10", false},
        {"0x00010004", "1", false}, {"0x00010004", "1.", false},  // no minor digit: refused
        {"10004", "1.4", true}, {"0x00010006", "1.5", false}, {"0x00020000", "1.9", false},
        {"0x00010014", "1.4", true},  // only the lowest four bits of the minor count
        {"", "0.0", true}, {"none", "0.0", true},  // no number: no minimum
    };
    for (const auto &c : cases) {
        SetUp();
        configure("1", c.minimum, "");
        std::string library = tree.file(std::string("v") + c.version + "\\jvm.dll");
        add_version(JRE, c.version, nullptr, library.c_str());
        EXPECT_EQ(find(), c.passes ? library : "") << c.minimum << " / " << c.version;
    }
}

TEST_F(RuntimeSearch, AnotherVersionPassesWhenTheCurrentOneIsTooOld)
{
    std::string old_library = tree.file("jre13\\jvm.dll");
    std::string library = tree.file("jre14\\jvm.dll");
    fake_registry_set_text(JRE, "CurrentVersion", "1.3.1");
    add_version(JRE, "1.3.1", nullptr, old_library.c_str());
    add_version(JRE, "1.4.2", nullptr, library.c_str());
    EXPECT_EQ(find(), library);

    SetUp();
    add_version(JRE, "1.3.1", nullptr, old_library.c_str());
    EXPECT_EQ(find(), "") << "only a runtime below the minimum";
}

TEST_F(RuntimeSearch, MissingRegisteredLibraryDisqualifiesTheVersion)
{
    std::string home = tree.path("jre");
    tree.file("jre\\jre\\bin\\client\\jvm.dll");
    tree.file("jre\\custom.dll");
    configure("01234", "0x00010004", "custom.dll");
    add_version(JRE, "1.4", home.c_str(), (home + "\\gone\\jvm.dll").c_str());
    EXPECT_EQ(find(), "");
    EXPECT_STREQ(runtime_home, home.c_str()) << "the version passed the test";
}

TEST_F(RuntimeSearch, RuntimeWithoutLibraryNeedsAKitPath)
{
    std::string home = tree.path("jre");
    std::string client = tree.file("jre\\jre\\bin\\client\\jvm.dll");
    add_version(JRE, "1.4", home.c_str(), nullptr);
    configure("1", "0x00010004", "");
    EXPECT_EQ(find(), "") << "no kit method has run yet";
    configure("21", "0x00010004", "");
    EXPECT_EQ(find(), client) << "method 2 chose the client path; the runtime row uses it";
}

TEST_F(RuntimeSearch, KitsAreTriedClientServerClassic)
{
    std::string home = tree.path("kit");
    add_version(JDK, "1.4", home.c_str(), nullptr);
    const struct {
        const char *order;
        const char *present;  // the one library of the kit
        const char *paths;    // setting 1040
        bool found;
    } cases[] = {
        {"01234", "jre\\bin\\client\\jvm.dll", "", true},
        {"01234", "jre\\bin\\server\\jvm.dll", "", true},
        {"01234", "jre\\bin\\classic\\jvm.dll", "", true},
        {"3", "jre\\bin\\server\\jvm.dll", "", true},
        {"2", "jre\\bin\\server\\jvm.dll", "", false},
        {"3", "custom\\jvm.dll", "custom\\jvm.dll", true},  // home + setting 1040 first
        {"", "jre\\bin\\client\\jvm.dll", "", false},       // empty order: no search
    };
    for (const auto &c : cases) {
        temp_tree kit_tree;
        std::string kit = kit_tree.path("kit");
        fake_registry_clear();
        add_version(JDK, "1.4", kit.c_str(), nullptr);
        configure(c.order, "0x00010004", c.paths);
        std::string library = kit_tree.file(std::string("kit\\") + c.present);
        EXPECT_EQ(find(), c.found ? library : "") << c.order << " " << c.present;
    }
}

TEST_F(RuntimeSearch, OrderDigitsRunTheirMethods)
{
    std::string configured = tree.file("configured\\jvm.dll");
    std::string home = tree.path("kit");
    std::string classic = tree.file("kit\\jre\\bin\\classic\\jvm.dll");
    add_version(JDK, "1.4", home.c_str(), nullptr);
    const struct {
        const char *order;
        std::string expected;
    } cases[] = {
        {"40", classic}, {"04", configured}, {"x0", configured}, {"x4", classic},
        {"9", ""}, {"44", classic},
    };
    for (const auto &c : cases) {
        configure(c.order, "0x00010004", configured.c_str());
        EXPECT_EQ(find(), c.expected) << c.order;
    }
}

TEST_F(RuntimeSearch, ConfiguredPaths)
{
    std::string a = tree.name("a\\jvm.dll"), b = tree.file("b\\jvm.dll");
    tree.path("a");
    configure("0", "0x00010004", (a + ";;" + b).c_str());
    EXPECT_EQ(find(), b) << "the empty entry is skipped";
    EXPECT_EQ(runtime_home[0], '\0') << "configured paths leave runtime_home alone";

    // Neither entry exists: the registry methods then see the first entry only.
    std::string home = tree.path("jre");
    std::string relative = tree.file("jre\\rel\\jvm.dll");
    add_version(JRE, "1.4", home.c_str(), nullptr);
    configure("01", "0x00010004", "rel\\jvm.dll;other\\jvm.dll");
    EXPECT_EQ(find(), relative);
}

TEST_F(RuntimeSearch, RefusesWhatDoesNotFitInsteadOfCuttingIt)
{
    // A JavaHome so long that the kit candidate would not fit 260 bytes.
    std::string deep = "kit";
    while (deep.size() < 230)
        deep += "\\dddddddddddddddddddd";
    std::string home = tree.path(deep);
    std::string library = tree.file(deep + "\\jre\\bin\\client\\jvm.dll");
    ASSERT_GT(library.size(), 259u);
    ASSERT_LT(home.size(), 260u) << "the home itself fits runtime_home";
    add_version(JDK, "1.4", home.c_str(), nullptr);
    configure("2", "0x00010004", "");
    EXPECT_EQ(find(), "");

    // A sub-key name that would not fit the key path buffer.
    std::string name = "1.4" + std::string(250, 'x');
    std::string ok_library = tree.file("ok\\jvm.dll");
    add_version(JRE, name.c_str(), nullptr, ok_library.c_str());
    configure("1", "0x00010004", "");
    EXPECT_EQ(find(), "");

    // A configured entry longer than the caller's capacity.
    configure("0", "0x00010004", ok_library.c_str());
    EXPECT_EQ(find(ok_library.size()), "") << "one byte short of its terminator";
    EXPECT_EQ(find(ok_library.size() + 1), ok_library);
}

TEST(NextToken, SplitsInPlace)
{
    const struct {
        const char *text;
        std::vector<std::string> tokens;
    } cases[] = {
        {"a;b", {"a", "b"}}, {";;a;;b;", {"a", "b"}}, {"", {}}, {";;;", {}}, {"a;", {"a"}},
        {"\"a;b\"", {"\"a", "b\""}}, {"single", {"single"}},
    };
    for (const auto &c : cases) {
        char *text = strdup(c.text);
        char *cursor = nullptr;
        std::vector<std::string> tokens;
        while (char *token = next_token(text, ";", &cursor))
            tokens.push_back(token);
        EXPECT_EQ(tokens, c.tokens) << c.text;
        EXPECT_EQ(cursor, nullptr);
        free(text);
    }
    char *cursor = nullptr;
    EXPECT_EQ(next_token(nullptr, ";", &cursor), nullptr);
}

} // namespace
