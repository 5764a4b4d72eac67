// The runtime search against an in-memory registry and real files in a temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/test_settings.h"
#include "base/messages.h"
#include "base/text.h"
#include "java/jvm_options.h"
#include "java/launch_plan.h"
#include "java/runtime_search.h"
#include "tests/unit/temp_tree.h"
#include "base/setting_codec.h"

namespace {

const char *const JRE = "Software\\JavaSoft\\Java Runtime Environment";
const char *const IBM_JRE = "Software\\IBM\\Java2 Runtime Environment";
const char *const JDK = "Software\\JavaSoft\\Java Development Kit";
const unsigned ARM64 = 0xAA64;

// The start of a PE image for machine: "MZ", at 0x3C the offset of "PE\0\0", then the type.
std::string pe_image(unsigned machine, unsigned offset = 0x80)
{
    std::string image(offset + 6, '\0');
    image[0] = 'M', image[1] = 'Z', image[0x3C] = (char)offset, image[0x3D] = (char)(offset >> 8);
    image.replace(offset, 4, std::string("PE\0\0", 4));
    image[offset + 4] = (char)(machine & 0xFF), image[offset + 5] = (char)(machine >> 8);
    return image;
}

class RuntimeSearch : public testing::Test {
protected:
    temp_tree tree;
    char runtime_home[RUNTIME_HOME_SIZE] = {};
    char note[SEARCH_NOTE_SIZE] = {};
    unsigned machine = MACHINE_X64;
    std::string path_variable;  // PATH while the search runs; empty: as it is

    void SetUp() override
    {
        fake_registry_clear();
        fake_executable_path(nullptr);
        fake_shared_folder(nullptr);
        set_java_home(nullptr);
        configure("01234", "0x00010004", "");
    }

    // Sets JAVA_HOME (null: unsets it); the name is found without regard to case, as
    // Windows does, and other tests set "java_home".
    static void set_java_home(const char *value)
    {
        unsetenv("java_home");
        unsetenv("JAVA_HOME");
        if (value)
            setenv("JAVA_HOME", value, 1);
    }

    // A runtime home in the tree: a release file giving version (null: none) and a library
    // of machine at the relative path library (null: none).
    std::string runtime(const std::string &name, const char *version,
                        const char *library = "bin\\server\\jvm.dll", unsigned type = MACHINE_X64)
    {
        if (version)
            tree.file(name + "\\release", std::string("IMPLEMENTOR=\"X\"\nJAVA_VERSION=\"") +
                                               version + "\"\n");
        if (library)
            tree.file(name + "\\" + library, pe_image(type));
        return tree.path(name);
    }

    // What the search is asked for: the settings of the same names.
    std::string search_order, runtime_paths;
    runtime_request request = {};

    void configure(const char *order, const char *version, const char *paths)
    {
        search_order = order;
        runtime_paths = paths;
        request.search_order = search_order.c_str();
        request.runtime_paths = runtime_paths.c_str();
        request.required_version = setting_hex(version);
        request.max_java_version = 0;
        request.guarded = false;
    }

    // Makes the search a guarded one (elevated, or a service), or not, with the folder shared
    // ("<name>" for a runtime's home; null: none) one that others may change.
    void guard(bool guarded, const std::string &shared)
    {
        request.guarded = guarded;
        fake_shared_folder(shared.empty() ? nullptr : shared.c_str());
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

    // The library found ("" for none); %JAVA_HOME% must expand to the home it reports. When
    // none is found, note says what the launcher's report says.
    std::string find()
    {
        std::string saved = getenv("PATH") ? getenv("PATH") : "";
        if (!path_variable.empty())
            setenv("PATH", path_variable.c_str(), 1);
        runtime_search_outcome outcome;
        bool found = find_runtime_library(request, machine, &outcome);
        setenv("PATH", saved.c_str(), 1);
        strcpy(runtime_home, outcome.home);
        note[0] = '\0';
        if (!found)
            describe_passed_over(outcome.passed, request, machine, note);
        return outcome.library;
    }

    // What "-Dh=%JAVA_HOME%" in the JVM options becomes after the search.
    std::string java_home_option()
    {
        char *expanded = expand_variables("-Dh=%JAVA_HOME%", runtime_home);
        std::string text = expanded;
        free(expanded);
        return text;
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
    add_version(JRE, ("1.4-" + std::string(300, 'x')).c_str(), nullptr, old_library.c_str());
    add_version(JRE, "1.4.2", nullptr, library.c_str());
    EXPECT_EQ(find(), library) << "after a name too long for the launcher";
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
    std::string configured = tree.file("configured\\jvm.dll", pe_image(MACHINE_X64));
    std::string home = tree.path("kit");
    std::string classic = tree.file("kit\\jre\\bin\\classic\\jvm.dll");
    add_version(JDK, "1.4", home.c_str(), nullptr);
    const struct {
        const char *order;
        std::string expected;
    } cases[] = {
        {"40", classic}, {"04", configured}, {"x0", configured}, {"x4", classic},
        {"x", ""}, {"44", classic},
    };
    for (const auto &c : cases) {
        configure(c.order, "0x00010004", configured.c_str());
        EXPECT_EQ(find(), c.expected) << c.order;
    }
}

TEST_F(RuntimeSearch, ConfiguredPaths)
{
    std::string a = tree.name("a\\jvm.dll"), b = tree.file("b\\jvm.dll", pe_image(MACHINE_X64));
    tree.path("a");
    configure("0", "0x00010004", (a + ";;" + b).c_str());
    EXPECT_EQ(find(), b) << "the empty entry is skipped";
    EXPECT_EQ(runtime_home[0], '\0') << "a library outside <home>\\bin\\<vm> has no home";
    std::string home = runtime("j", nullptr);
    configure("0", "0x00010004", (a + ";" + home + "\\bin\\server\\jvm.dll").c_str());
    EXPECT_EQ(find(), home + "\\bin\\server\\jvm.dll");
    EXPECT_EQ(runtime_home, home);

    // Neither entry exists: the registry methods then see the first entry only.
    home = tree.path("jre");
    std::string relative = tree.file("jre\\rel\\jvm.dll");
    add_version(JRE, "1.4", home.c_str(), nullptr);
    configure("01", "0x00010004", "rel\\jvm.dll;other\\jvm.dll");
    EXPECT_EQ(find(), relative);

    // A relative entry is relative to the launcher's folder, and found by its full path.
    std::string bundled = tree.file("app\\jre\\bin\\client\\jvm.dll", pe_image(MACHINE_X64));
    fake_executable_path(tree.name("app\\launcher.exe").c_str());
    configure("0", "0x00010004", "jre\\bin\\client\\jvm.dll");
    EXPECT_EQ(find(), bundled);
    fake_executable_path(nullptr);
}

TEST_F(RuntimeSearch, RefusesWhatDoesNotFitInsteadOfCuttingIt)
{
    // A JavaHome so long that the kit candidate would not fit the path buffer.
    std::string deep = "kit";
    while (tree.path(deep).size() < RUNTIME_HOME_SIZE - 30)
        deep += "\\dddddddddddddddddddd";
    deep += std::string(RUNTIME_HOME_SIZE - 10 - tree.path(deep).size(), 'e');
    std::string home = tree.path(deep);
    std::string library = tree.file(deep + "\\jre\\bin\\client\\jvm.dll");
    ASSERT_GE(library.size(), (size_t)RUNTIME_PATH_SIZE);
    ASSERT_LT(home.size(), (size_t)RUNTIME_HOME_SIZE) << "the home itself fits runtime_home";
    add_version(JDK, "1.4", home.c_str(), nullptr);
    configure("2", "0x00010004", "");
    EXPECT_EQ(find(), "");

    // A sub-key name that would not fit the key path buffer.
    std::string name = "1.4" + std::string(250, 'x');
    std::string ok_library = tree.file("ok\\jvm.dll", pe_image(MACHINE_X64));
    add_version(JRE, name.c_str(), nullptr, ok_library.c_str());
    configure("1", "0x00010004", "");
    EXPECT_EQ(find(), "");

    // A configured entry one byte longer than the library path holds with its terminator.
    std::string fits = tree.file(deep + "\\abcd.dll", pe_image(MACHINE_X64));
    std::string longer = tree.file(deep + "\\abcde.dll", pe_image(MACHINE_X64));
    ASSERT_EQ(longer.size(), (size_t)RUNTIME_PATH_SIZE);
    configure("0", "0x00010004", (longer + ";" + fits).c_str());
    EXPECT_EQ(find(), fits);
}

std::vector<unsigned> parts(const java_version &v)
{
    return std::vector<unsigned>(v.part, v.part + 4);
}

TEST(JavaVersions, ComeFromReleaseFilesOrKeyNamesAndCompareByFeature)
{
    const struct {
        std::string text;
        java_version version;  // all zero: none
    } names[] = {
        {"1.8.0_392", {{8, 0, 392}}}, {"11.0.2", {{11, 0, 2}}}, {"17", {{17}}},
        {"21.0.1+12", {{21, 0, 1}}}, {"17.0.15.6", {{17, 0, 15, 6}}}, {"zulu-17", {{17}}},
        {"jdk-21.0.6-ea", {{21, 0, 6}}}, {"1.8", {{8}}}, {"8.0.392.8", {{8, 0, 392, 8}}},
        {"garbage", {}}, {"", {}}, {"x.y", {}}, {"0.9", {}}, {".17", {}}, {"\x01\xff\x80", {}},
        {"99999999999999999999.1", {{999999999, 1}}},
    };
    for (const auto &c : names) {
        java_version v;
        EXPECT_EQ(parse_java_version(c.text.data(), c.text.size(), &v), c.version.part[0] != 0);
        EXPECT_EQ(parts(v), parts(c.version)) << c.text;
    }
    EXPECT_LT(compare_java_versions({{8, 0, 392}}, {{17}}), 0);
    EXPECT_LT(compare_java_versions({{17, 0, 15}}, {{17, 0, 15, 6}}), 0);
    EXPECT_GT(compare_java_versions({{21}}, {{17, 0, 99}}), 0);

    temp_tree tree;
    std::string big(1 << 20, 'm');
    const struct {
        std::string content;  // "": no release file
        unsigned feature;
    } files[] = {
        {"IMPLEMENTOR=\"X\"\r\nJAVA_VERSION=\"21.0.6\"\r\nMODULES=\"java.base\"\r\n", 21},
        {"JAVA_VERSION=1.8.0_241\n", 8}, {"JAVA_VERSION_DATE=\"2025-01-21\"\n", 0},
        {"\xEF\xBB\xBFJAVA_VERSION=\"17.0.2\"\r\n", 17},  // written with the UTF-8 mark
        {"XJAVA_VERSION=\"17\"\nJAVA_VERSION=\"11.0.16.1\"", 11}, {"JAVA_VERSION=\"\"\n", 0},
        {std::string("\0\0JAVA_VERSION=\"17\"\n", 19), 0}, {"", 0},
        {std::string("\n\xff\0\nJAVA_VERSION=\"17\"", 21), 17},
        {"MODULES=\"" + big + "\"\nJAVA_VERSION=\"17\"\n", 0},  // past the first 4 KB
        {"JAVA_VERSION=\"17\"\n" + big, 17},
    };
    int n = 0;
    for (const auto &c : files) {
        std::string name = "r" + std::to_string(n++), home = tree.path(name);
        if (!c.content.empty())
            tree.file(name + "\\release", c.content);
        java_version v;
        EXPECT_EQ(read_release_version(home.c_str(), &v), c.feature != 0) << n;
        EXPECT_EQ(v.part[0], c.feature) << n;
    }
}

TEST(LibraryMachine, ComesFromThePeHeaderOfAReadableImage)
{
    temp_tree tree;
    std::string x86 = pe_image(MACHINE_X86), far = x86, bad = x86;
    far[0x3F] = 0x7F;  // "PE" past any file
    bad[0x81] = 'X';
    const struct {
        std::string content;
        unsigned machine;
    } cases[] = {
        {x86, MACHINE_X86}, {pe_image(MACHINE_X64), MACHINE_X64}, {pe_image(ARM64), ARM64},
        {pe_image(MACHINE_X64, 0x1FA), MACHINE_X64}, {pe_image(MACHINE_X64, 0x1FB), MACHINE_X64},
        {pe_image(MACHINE_X64, 0x2000), MACHINE_X64},
        {pe_image(MACHINE_X64, 0x2000).substr(0, 0x2005), 0},
        {x86.substr(0, 0x85), 0}, {x86.substr(0, 0x40), 0}, {"MZ", 0}, {"", 0}, {far, 0},
        {bad, 0}, {"ZM" + x86.substr(2), 0}, {std::string(5000, '\xff'), 0},
    };
    int n = 0;
    for (const auto &c : cases) {
        std::string path = tree.file("f" + std::to_string(n++) + ".dll", c.content);
        EXPECT_EQ(library_machine(path.c_str()), c.machine) << n;
    }
    EXPECT_EQ(library_machine(tree.path("folder.dll").c_str()), 0u);
    EXPECT_EQ(library_machine(tree.name("missing.dll").c_str()), 0u);
}

// Replaces each "<name>" in text by homes[name].
std::string with_homes(std::string text, std::map<std::string, std::string> &homes)
{
    for (size_t open; (open = text.find('<')) != std::string::npos;) {
        size_t close = text.find('>', open);
        text.replace(open, close - open + 1, homes[text.substr(open + 1, close - open - 1)]);
    }
    return text;
}

const char *const MACHINE_ENVIRONMENT =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// A registry value of a row: under root, key holds value, a text ("<name>" for a runtime's
// home) or, with number, a number.
struct registered {
    registry_root root;
    std::string key;
    const char *value, *text;
    bool number = false;
};

TEST_F(RuntimeSearch, RegistryMethodsTakeTheNewestThatPasses)
{
    std::map<std::string, std::string> homes = {
        {"v7", runtime("v7", "1.7.0_80")}, {"v11", runtime("v11", "11.0.2")},
        {"v17", runtime("v17", "17.0.15")}, {"v21", runtime("v21", "21.0.1")},
        {"keyed", runtime("keyed", nullptr)}, {"bare", runtime("bare", "25", nullptr)},
        {"kit8", runtime("kit8", "1.8.0_392", "jre\\bin\\server\\jvm.dll")},
        {"client", runtime("client", "17", "bin\\client\\jvm.dll")},
    };
    const registry_root M = REGISTRY_MACHINE, U = REGISTRY_USER;
    const std::string J = "SOFTWARE\\JavaSoft\\JDK\\", T = "SOFTWARE\\Eclipse Adoptium\\JDK\\",
                      Z = "SOFTWARE\\Azul Systems\\Zulu", L = "SOFTWARE\\BellSoft\\Liberica\\";
    const char *home = "JavaHome", *path = "Path", *install = "InstallationPath";
    std::string too_long = "C:\\" + std::string(300, 'p');
    const struct {
        const char *order;
        int maximum;
        std::vector<registered> values;
        const char *chosen;  // the runtime chosen, or null
        bool guarded = false;  // elevated, or a service
    } cases[] = {
        // A stale CurrentVersion changes nothing; a key's name gives the version of a runtime
        // without a release file; the JRE and JDK keys together.
        {"5", 0, {{M, J + "17", home, "<v17>"}, {M, J + "21.0.1", home, "<keyed>"},
                  {M, "SOFTWARE\\JavaSoft\\JDK", "CurrentVersion", "17"}}, "keyed"},
        {"5", 0, {{M, "SOFTWARE\\JavaSoft\\JRE\\11", home, "<v11>"}, {M, J + "17", home, "<v17>"}},
         "v17"},
        {"5", 17, {{M, J + "17", home, "<v17>"}, {M, J + "21", home, "<v21>"}}, "v17"},
        // Passed over: no value, a number, a path too long, a home without a library, 1.7.
        {"5", 0, {{M, J + "25", "Other", "<v21>"}, {M, J + "24", home, "", true},
                  {M, J + "23", home, too_long.c_str()}, {M, J + "22", home, "<bare>"},
                  {M, J + "1.7", home, "<v7>"}, {M, J + "11", home, "<v11>"}}, "v11"},
        {"5", 0, {{U, J + "17", home, "<v17>"}}, nullptr},  // machine-wide only
        // A name too long for the launcher is passed over, and the list goes on after it.
        {"5", 0, {{M, J + "10" + std::string(300, 'x'), home, "<v11>"},
                  {M, J + "17", home, "<v17>"}}, "v17"},
        {"5", 0, {{M, J + "8", home, "<kit8>"}, {M, J + "17", home, "<client>"}}, "client"},
        // Each vendor's layout, machine-wide and per user; the newest of them all.
        {"6", 0, {{M, T + "17.0.15.6\\hotspot\\MSI", path, "<v17>\\"}}, "v17"},
        {"6", 0, {{U, "SOFTWARE\\AdoptOpenJDK\\JRE\\11.0.2\\openj9\\MSI", path, "<v11>"}}, "v11"},
        {"6", 0, {{M, "SOFTWARE\\AdoptOpenJDK\\JDK\\8.0.192.12\\MSI", path, "<kit8>"}}, "kit8"},
        {"6", 0, {{M, "SOFTWARE\\Eclipse Foundation\\JDK\\21\\hotspot\\EXE", path, "<v21>"}},
         "v21"},
        {"6", 0, {{M, "SOFTWARE\\Semeru\\JRE\\17.0.2\\openj9\\EXE", path, "<v17>"}}, "v17"},
        {"6", 0, {{U, "SOFTWARE\\Microsoft\\JDK\\21.0.1\\hotspot\\MSI", path, "<v21>"}}, "v21"},
        {"6", 0, {{M, Z + "\\zulu-17", install, "<v17>"}}, "v17"},
        {"6", 0, {{M, Z + " 32-bit\\zulu-8", install, "<kit8>"}}, "kit8"},
        {"6", 0, {{U, L + "jdk-11", install, "<v11>"}}, "v11"},
        {"6", 0, {{M, Z + "\\zulu-17", install, "<v17>"}, {M, L + "jdk-11", install, "<v11>"},
                  {U, T + "21\\hotspot\\MSI", path, "<v21>"},
                  {M, T + "25\\hotspot\\MSI", path, "", true}},
         "v21"},
        {"6", 0, {{M, T + "21\\hotspot\\Other", path, "<v21>"}, {M, J + "21", home, "<v21>"}},
         nullptr},
        {"56", 0, {{M, T + "21\\hotspot\\MSI", path, "<v21>"}, {M, J + "11", home, "<v11>"}},
         "v11"},
        // The user's key of the same version (its name with a build number, the machine's from
        // the release file) does not outrank the machine's; a newer one does, unless guarded,
        // which reads the machine's keys only.
        {"6", 0, {{M, T + "17.0.15.6\\hotspot\\MSI", path, "<v17>"},
                  {U, T + "17.0.15.9\\hotspot\\MSI", path, "<keyed>"}}, "v17"},
        {"6", 0, {{M, T + "17.0.15.6\\hotspot\\MSI", path, "<v17>"},
                  {U, T + "17.0.16.9\\hotspot\\MSI", path, "<keyed>"}}, "keyed"},
        {"6", 0, {{M, T + "17.0.15.6\\hotspot\\MSI", path, "<v17>"},
                  {U, T + "21\\hotspot\\MSI", path, "<v21>"}}, "v17", true},
        {"6", 0, {{U, L + "jdk-11", install, "<v11>"}}, nullptr, true},
        {"5", 0, {{M, J + "17", home, "<v17>"}}, "v17", true},
    };
    for (const auto &c : cases) {
        fake_registry_clear();
        configure(c.order, "0x00010008", "");
        request.max_java_version = c.maximum;
        guard(c.guarded, "");
        for (const registered &r : c.values) {
            if (r.number)
                fake_registry_set_number(r.key.c_str(), r.value, 7, r.root);
            else
                fake_registry_set_text(r.key.c_str(), r.value, with_homes(r.text, homes).c_str(),
                                       r.root);
        }
        std::string chosen = c.chosen ? homes[c.chosen] : "", library = find();
        EXPECT_EQ(runtime_home, chosen) << c.order << " " << c.values[0].key;
        EXPECT_EQ(java_home_option(), "-Dh=" + chosen);
        EXPECT_EQ(library.substr(0, chosen.size()), chosen) << library;
        EXPECT_EQ(library.empty(), !c.chosen) << library;
    }
}

TEST_F(RuntimeSearch, FolderMethodsTakeTheFirstThatPasses)
{
    std::map<std::string, std::string> homes = {
        {"v11", runtime("v11", "11.0.2")}, {"v17", runtime("v17", "17.0.15")},
        {"v21", runtime("v21", "21.0.1")}, {"bare", runtime("bare", "21", nullptr)},
        {"kit8", runtime("kit8", "1.8.0_392", "jre\\bin\\client\\jvm.dll")},
        {"unknown", runtime("unknown", nullptr)},
        // Launchers with runtimes beside them.
        {"b1", runtime("b1\\runtime", "17")}, {"b1jre", runtime("b1\\jre", "21")},
        {"b2", runtime("b2\\jdk", "1.8.0_392", "jre\\bin\\client\\jvm.dll")},
        {"b3", runtime("b3\\runtime", "17", nullptr)}, {"b3jre", runtime("b3\\jre", "11")},
        // A folder whose name holds '%', as a machine value naming another variable reads.
        {"pct", runtime("%JDK%", "21")},
    };
    // A folder of links to java.exe lies outside any runtime's bin folder.
    for (const char *folder :
         {"v17\\bin", "v21\\bin", "bare\\bin", "v11\\javapath", "v17\\BIN", "%JDK%\\bin"})
        tree.file(std::string(folder) + "\\java.exe");
    const char *J = "0x00010008";
    const struct {
        const char *order, *java_home, *path, *launcher, *minimum;
        int maximum;
        const char *chosen;  // a runtime's home, or "" for none
        bool guarded = false;  // elevated, or a service: the machine's variables only
        const char *shared = "";  // a folder that others may change
        const char *machine_java_home = nullptr, *machine_path = nullptr;
    } cases[] = {
        {"7", "<v17>", "", "b4", J, 0, "<v17>"},
        {"7", "\"<v17>\\\\\"", "", "b4", J, 0, "<v17>"},
        {"7", "<bare>", "", "b4", J, 0, ""},
        {"7", "<kit8>", "", "b4", J, 0, "<kit8>"},
        {"7", "<v17>\\missing", "", "b4", J, 0, ""},
        {"7", nullptr, "", "b4", J, 0, ""},
        // Bounds: the minimum of setting 1024, the maximum feature version.
        {"7", "<unknown>", "", "b4", J, 0, ""},
        {"7", "<unknown>", "", "b4", "", 0, "<unknown>"},
        {"7", "<v21>", "", "b4", J, 17, ""},
        {"7", "<v17>", "", "b4", J, 17, "<v17>"},
        {"7", "<v17>", "", "b4", "0x00150000", 0, ""},
        {"7", "<v21>", "", "b4", "0x00150000", 0, "<v21>"},
        {"7", "<kit8>", "", "b4", "0x00010009", 0, ""},
        // Beside the launcher: runtime, jre, jdk, the first that passes.
        {"8", nullptr, "", "b1", J, 0, "<b1>"},
        {"8", nullptr, "", "b2", J, 0, "<b2>"},
        {"8", nullptr, "", "b3", J, 0, "<b3jre>"},
        {"8", nullptr, "", "b1", J, 11, ""},
        // PATH: the first runtime's bin folder with java.exe, not the newest.
        {"9", nullptr, "<bare>\\bin;<v17>\\bin;<v21>\\bin", "b4", J, 0, "<v17>"},
        {"9", nullptr, "<v11>\\javapath;<v11>\\bin;\"<v21>\\bin\\\\\"", "b4", J, 0, "<v21>"},
        {"9", nullptr, "<v21>\\bin", "b4", J, 17, ""},
        {"9", nullptr, "<v17>\\BIN", "b4", J, 0, "<v17>"},  // names compared as Windows does
        {"987", "<v17>", "<v21>\\bin", "b4", J, 0, "<v21>"},
        {"8071234569", "<v17>", "<v21>\\bin", "b1", J, 0, "<b1>"},
        // Guarded: the user's JAVA_HOME and PATH are not read, the machine's values are, but
        // not one that names another variable.
        {"79", "<v17>", "<v21>\\bin", "b4", J, 0, "", true},
        {"7", "<v17>", "", "b4", J, 0, "<v21>", true, "", "<v21>"},
        {"7", nullptr, "", "b4", J, 0, "", true, "", "<pct>"},
        {"9", nullptr, "<v21>\\bin", "b4", J, 0, "<v17>", true, "", nullptr,
         "<v11>\\javapath;<v17>\\bin"},
        {"9", nullptr, "", "b4", J, 0, "<v17>", true, "", nullptr, "<pct>\\bin;<v17>\\bin"},
        // Guarded: a runtime whose home, or a folder below it, others may change is refused.
        {"8", nullptr, "", "b1", J, 0, "<b1>", true},
        {"8", nullptr, "", "b1", J, 0, "<b1jre>", true, "<b1>"},
        {"8", nullptr, "", "b1", J, 0, "<b1jre>", true, "<b1>\\bin\\server"},
        {"8", nullptr, "", "b1", J, 0, "<b1>", false, "<b1>"},
        {"7", nullptr, "", "b4", J, 0, "", true, "<v21>\\bin", "<v21>"},
    };
    for (const auto &c : cases) {
        configure(c.order, c.minimum, "");
        request.max_java_version = c.maximum;
        set_java_home(c.java_home ? with_homes(c.java_home, homes).c_str() : nullptr);
        path_variable = with_homes(c.path, homes);
        fake_executable_path(tree.name(std::string(c.launcher) + "\\launcher.exe").c_str());
        fake_registry_clear();
        if (c.machine_java_home)
            fake_registry_set_text(MACHINE_ENVIRONMENT, "JAVA_HOME",
                                   with_homes(c.machine_java_home, homes).c_str());
        if (c.machine_path)
            fake_registry_set_text(MACHINE_ENVIRONMENT, "Path",
                                   with_homes(c.machine_path, homes).c_str());
        guard(c.guarded, with_homes(c.shared, homes));
        std::string chosen = with_homes(c.chosen, homes), library = find();
        EXPECT_EQ(runtime_home, chosen) << c.order << " " << (c.java_home ? c.java_home : c.path);
        EXPECT_EQ(java_home_option(), "-Dh=" + chosen);
        EXPECT_EQ(library.substr(0, chosen.size()), chosen) << library;
        EXPECT_EQ(library.empty(), chosen.empty()) << library;
    }
}

TEST_F(RuntimeSearch, OtherProcessorsArePassedOverAndNamed)
{
    // The lines an x86 and an x64 library get, with "%s" for the library's path.
    const char *IS_32_BIT =
        "A 32-bit Java runtime was found at %s; this launcher needs a 64-bit one.";
    const char *IS_64_BIT =
        "A 64-bit Java runtime was found at %s; this launcher needs a 32-bit one.";
    const char *NOT_ARM64 = "An x64 Java runtime was found at %s; this ARM64 launcher needs an "
                            "ARM64 one.";
    const char *S = "bin\\server\\jvm.dll";
    std::map<std::string, std::string> homes = {
        {"x64", runtime("x64", "17")}, {"x86", runtime("x86", "21", S, MACHINE_X86)},
        {"arm", runtime("arm", "21", S, ARM64)}, {"two", runtime("two", "17", S, MACHINE_X86)},
        {"b86", runtime("b\\jre", "11", "bin\\client\\jvm.dll", MACHINE_X86)},
        {"plain", tree.file("plain.dll")}, {"a32", runtime("a32", "21", S, 0x1C4)},
    };
    tree.file("two\\bin\\client\\jvm.dll", pe_image(MACHINE_X64));
    const std::string J = "SOFTWARE\\JavaSoft\\JDK\\", R = std::string(JRE) + "\\1.8";
    const registry_root M = REGISTRY_MACHINE;
    const struct {
        unsigned machine;
        const char *order, *java_home, *paths;
        std::vector<registered> values;
        const char *library, *home;  // what is found ("" for none) and its home
        const char *message, *skipped;  // the note's format and the library it names
        const char *shared = nullptr;  // guarded, with this folder one that others may change
    } cases[] = {
        {MACHINE_X64, "7", "<x86>", "", {}, "", "", IS_32_BIT, "<x86>\\"},
        {MACHINE_X86, "7", "<x64>", "", {}, "", "", IS_64_BIT, "<x64>\\"},
        {MACHINE_X64, "7", "<arm>", "", {}, "", "", MSG_RUNTIME_NEEDS_ARM64_LAUNCHER, "<arm>\\"},
        {ARM64, "7", "<x64>", "", {}, "", "", NOT_ARM64, "<x64>\\"},
        {ARM64, "7", "<arm>", "", {}, "<arm>\\", "<arm>", nullptr, nullptr},
        {MACHINE_X64, "7", "<a32>", "", {}, "", "", MSG_RUNTIME_OTHER_PROCESSOR, "<a32>\\"},
        {MACHINE_X86, "7", "<x86>", "", {}, "<x86>\\", "<x86>", nullptr, nullptr},
        // A home holds libraries of one processor: its client library is not tried.
        {MACHINE_X64, "7", "<two>", "", {}, "", "", IS_32_BIT, "<two>\\"},
        {MACHINE_X64, "78", "<x86>", "", {}, "", "", IS_32_BIT, "<x86>\\"},
        {MACHINE_X64, "75", "<x86>", "", {{M, J + "17", "JavaHome", "<x64>"}}, "<x64>\\", "<x64>",
         nullptr, nullptr},
        // The newest is of another processor: the newest of the launcher's is taken.
        {MACHINE_X64, "5", nullptr, "", {{M, J + "21", "JavaHome", "<x86>"},
                                         {M, J + "17", "JavaHome", "<x64>"}},
         "<x64>\\", "<x64>", nullptr, nullptr},
        {MACHINE_X64, "6", nullptr, "",
         {{REGISTRY_USER, "SOFTWARE\\Microsoft\\JDK\\21\\hotspot\\MSI", "Path", "<arm>"}}, "", "",
         MSG_RUNTIME_NEEDS_ARM64_LAUNCHER, "<arm>\\"},
        {MACHINE_X64, "0", nullptr, "<x86>\\bin\\server\\jvm.dll;<x64>\\bin\\server\\jvm.dll", {},
         "<x64>\\", "<x64>", nullptr, nullptr},
        {MACHINE_X64, "0", nullptr, "<x86>\\bin\\server\\jvm.dll", {}, "", "",
         IS_32_BIT, "<x86>\\"},
        // Methods 1 to 4 take a file that is no PE image, as they always did, but not a
        // library of another processor.
        {MACHINE_X64, "1", nullptr, "", {{M, R, "RuntimeLib", "<x86>\\bin\\server\\jvm.dll"},
                                         {M, R, "JavaHome", "<x86>"}},
         "", "", IS_32_BIT, "<x86>\\"},
        {MACHINE_X64, "1", nullptr, "",
         {{M, R, "RuntimeLib", "<plain>"}, {M, R, "JavaHome", "<x64>"}}, "<plain>", "<x64>",
         nullptr, nullptr},
        {MACHINE_X64, "8", nullptr, "", {}, "", "", IS_32_BIT, "<b86>\\"},
        // A guarded search names the folder it refused, before a library of another processor.
        {MACHINE_X64, "05", nullptr, "<x64>\\bin\\server\\jvm.dll",
         {{M, J + "21", "JavaHome", "<x86>"}}, "", "", MSG_FOLDER_NOT_PRIVATE_ELEVATED, "<x64>\\bin",
         "<x64>\\bin"},
        {MACHINE_X64, "05", nullptr, "<x64>\\bin\\server\\jvm.dll", {}, "<x64>\\", "<x64>",
         nullptr, nullptr, "<x86>"},
    };
    for (const auto &c : cases) {
        fake_registry_clear();
        machine = c.machine;
        configure(c.order, "0x00010008", with_homes(c.paths, homes).c_str());
        set_java_home(c.java_home ? with_homes(c.java_home, homes).c_str() : nullptr);
        fake_executable_path(tree.name("b\\launcher.exe").c_str());
        guard(c.shared != nullptr, c.shared ? with_homes(c.shared, homes) : "");
        for (const registered &r : c.values)
            fake_registry_set_text(r.key.c_str(), r.value, with_homes(r.text, homes).c_str(),
                                   r.root);
        // "<home>\" stands for the library of that runtime's home.
        auto library_of = [&](const char *text) {
            std::string t = with_homes(text, homes);
            if (!t.empty() && t.back() == '\\')
                t += t.find("b\\jre") != std::string::npos ? "bin\\client\\jvm.dll" : S;
            return t;
        };
        std::string library = find(), message = c.message ? c.message : "";
        if (c.message)
            message.replace(message.find("%s"), 2, library_of(c.skipped));
        EXPECT_EQ(library, library_of(c.library)) << c.order << " " << c.machine;
        EXPECT_EQ(library.empty() ? "" : runtime_home, with_homes(c.home, homes)) << c.order;
        // The line naming the library; the versions needed follow it.
        EXPECT_EQ(std::string(note).substr(0, std::string(note).find('\n')), message) << c.order;
    }
}

TEST_F(RuntimeSearch, PassedOverRuntimesAreNamedWithTheirReasons)
{
    std::map<std::string, std::string> homes = {
        {"v8", runtime("v8", "1.8.0_392")}, {"v21", runtime("v21", "21.0.1")},
        {"unknown", runtime("unknown", nullptr)}, {"bare", runtime("bare", "17", nullptr)},
        {"x86", runtime("x86", "17", "bin\\server\\jvm.dll", MACHINE_X86)},
        {"bjre", runtime("b\\jre", "1.7.0_80")}, {"bjdk", runtime("b\\jdk", nullptr)},
        {"nowhere", tree.name("nowhere")},
    };
    const struct {
        const char *order, *java_home, *path, *minimum;
        int maximum;
        std::vector<std::string> lines;  // the note's lines
    } cases[] = {
        // Too old and too new, with the bounds; unknown versions; the most useful first,
        // whatever the order found.
        {"7", "<v8>", "", "0x00110000", 0,
         {"Java 8 at <v8>: a version this application does not take",
          "This application needs Java 17 or later."}},
        {"97", "<unknown>", "<x86>\\bin;<v8>\\bin", "0x00110000", 0,
         {"Java 8 at <v8>: a version this application does not take",
          "<unknown>: version unknown (no release file with JAVA_VERSION)",
          "A 32-bit Java runtime was found at <x86>\\bin\\server\\jvm.dll; this launcher "
          "needs a 64-bit one.",
          "This application needs Java 17 or later."}},
        {"798", "<v21>", "<bare>\\bin", "0x00010008", 17,
         {"Java 21 at <v21>: a version this application does not take",
          "Java 7 at <bjre>: a version this application does not take",
          "<bjdk>: version unknown (no release file with JAVA_VERSION)",
          "<bare>: no jvm.dll in its bin\\server or bin\\client folder",
          "This application needs Java 8 to 17."}},
        {"79", "<x86>", "<x86>\\bin", "0x00010008", 0,
         {"A 32-bit Java runtime was found at <x86>\\bin\\server\\jvm.dll; this launcher "
          "needs a 64-bit one.",
          "This application needs Java 8 or later."}},
        // No minimum and no maximum: nothing to say about versions.
        {"7", "<bare>", "", "", 0, {"<bare>: no jvm.dll in its bin\\server or bin\\client folder"}},
        {"7", nullptr, "", "", 0, {}},
        {"7", "<nowhere>", "", "", 0, {"<nowhere> (JAVA_HOME): no such folder"}},
    };
    for (const auto &c : cases) {
        configure(c.order, c.minimum, "");
        request.max_java_version = c.maximum;
        set_java_home(c.java_home ? with_homes(c.java_home, homes).c_str() : nullptr);
        path_variable = with_homes(c.path, homes);
        for (const char *folder : {"v8", "x86", "bare"})
            tree.file(std::string(folder) + "\\bin\\java.exe");
        fake_executable_path(tree.name("b\\launcher.exe").c_str());
        EXPECT_EQ(find(), "") << c.order;
        std::string expected;
        for (const std::string &line : c.lines)
            expected += (expected.empty() ? "" : "\n") + with_homes(line.c_str(), homes);
        EXPECT_EQ(note, expected) << c.order << " " << (c.java_home ? c.java_home : "");
    }
}

// The plan takes the search's outcome as it is given: a runtime found, with what was passed
// over; or none, reported with what was passed over and the versions needed.
TEST(LaunchPlan, TakesTheSearchOutcome)
{
    static launcher_settings settings = blank_settings();
    set_text(&settings.msg_no_runtime, "No runtime.");
    settings.java_version = 0x00110000;
    const passed_runtime old = {PASSED_VERSION, 8, "C:\\jdk8"},
                         x86 = {PASSED_OTHER_PROCESSOR, MACHINE_X86, "C:\\x86\\jvm.dll"};
    const struct {
        const char *library;  // found; "" for none
        std::vector<std::string> reported;
    } cases[] = {
        {"C:\\jdk21\\bin\\server\\jvm.dll", {}},
        {"", {"No runtime.\n\nJava 8 at C:\\jdk8: a version this application does not take\n"
              "A 32-bit Java runtime was found at C:\\x86\\jvm.dll; this launcher needs a 64-bit "
              "one.\nThis application needs Java 17 or later."}},
    };
    for (const auto &c : cases) {
        launch_facts facts = {};
        facts.runtime.found = c.library[0];
        strcpy(facts.runtime.library, c.library);
        facts.runtime.passed.runtimes[0] = old, facts.runtime.passed.runtimes[1] = x86;
        facts.runtime.passed.count = 2;
        reported.clear();
        launch_plan plan = {};
        EXPECT_EQ(plan_launch(make_run_context(&settings, RUN_CONSOLE), facts, "", false, 0,
                              nullptr, &plan), c.library[0] != 0);
        EXPECT_EQ(reported, c.reported);
        EXPECT_STREQ(plan.library_path, c.library);
        EXPECT_EQ(plan.passed.count, 2);
        EXPECT_STREQ(plan.passed.runtimes[1].path, x86.path) << c.library;
        for (int i = 0; i < plan.given_count; i++)
            free(plan.given[i]);
        free(plan.given);
        free_launch_plan(&plan);
    }
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
