// Building the JVM options: class path directories and %NAME% expansion, on real files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "java/crash_evidence.h"
#include "java/heap_size.h"
#include "java/jvm_options.h"
#include "java/launch_plan.h"
#include "tests/unit/test_settings.h"
#include "tests/unit/fake_os.h"
#include "java/runtime_search.h"
#include "base/command_line.h"
#include "base/ini.h"
#include "base/messages.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/temp_tree.h"

namespace {

// What %JAVA_HOME% stands for in the cases below.
char runtime_home[RUNTIME_HOME_SIZE];

std::string expand(const char *text)
{
    char *result = expand_variables(text, runtime_home);
    std::string s = result;
    free(result);
    return s;
}

using option_vector = std::vector<std::string>;

// The options of list in the order the virtual machine is given them: the class path's after
// the configured and the user's.
option_vector given_options(const jvm_option_list &list)
{
    option_vector result(list.options, list.options + list.count);
    char *class_path;
    class_path_option(list, false, &class_path);
    if (class_path)
        result.insert(result.begin() + list.configured + list.from_user, class_path);
    free(class_path);
    return result;
}

// The options built; the current directory, which relative class path entries are made
// absolute against, written "<cwd>".
option_vector build(const std::string &options, const std::string &class_path)
{
    jvm_option_list list;
    EXPECT_TRUE(build_jvm_options(options.c_str(), class_path.c_str(), true, runtime_home, &list));
    option_vector result = given_options(list);
    free_jvm_options(&list);
    char cwd[4096];
    std::string directory = std::string(getcwd(cwd, sizeof cwd)) + "\\";
    for (std::string &option : result)
        for (size_t at; (at = option.find(directory)) != std::string::npos;)
            option.replace(at, directory.size(), "<cwd>\\");
    return result;
}

// The archives and folders of dir as the file system lists them, for the expected order.
std::vector<std::string> listed(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(temp_tree::unix(dir).c_str());
    while (struct dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

TEST(ExpandVariables, ReplacesReferences)
{
    setenv("TREVALO_PLAIN", "value", 1);
    setenv("TREVALO_QUOTED", "\"C:\\Program Files\\x\"", 1);
    setenv("TREVALO_HALF", "\"half", 1);
    setenv("TREVALO_SPACE", "a b", 1);
    setenv("java_home", "from-environment", 1);
    strcpy(runtime_home, "C:\\jre");
    const struct {
        const char *text;
        const char *expanded;
    } cases[] = {
        {"-Dx=%TREVALO_UNDEFINED%y", "-Dx=y"},
        {"50%", "50"},
        {"a%b", "ab"},
        {"%%", "%"},
        {"-XX:ErrorFile=hs_err_%%p.log", "-XX:ErrorFile=hs_err_%p.log"},
        // Text between two '%' that cannot be a name: the first is a lone '%', nothing lost.
        {"-XX:ErrorFile=e_%p.log -Dfile.encoding=UTF-8 -Dx=gc_%p.log",
         "-XX:ErrorFile=e_p.log -Dfile.encoding=UTF-8 -Dx=gc_p.log"},
        {"%a=b%TREVALO_PLAIN%", "a=bvalue"},
        {"", ""},
        {"%JAVA_HOME%\\lib", "C:\\jre\\lib"},
        {"%java_home%", "from-environment"},  // not the runtime's home
        {"%trevalo_plain%-%TREVALO_PLAIN%", "value-value"},  // names ignore case
        {"-Dp=%TREVALO_QUOTED%", "-Dp=C:\\Program Files\\x"},
        {"%TREVALO_HALF%", "half"},
        {"x%TREVALO_PLAIN%y%z", "xvalueyz"},
        // The launcher's own folder and path, whatever the environment says.
        {"-Xbootclasspath/a:%LAUNCHER_DIR%\\lib\\x.jar",
         "-Xbootclasspath/a:C:\\apps\\tool\\lib\\x.jar"},
        {"-Dself=%LAUNCHER_PATH%", "-Dself=C:\\apps\\tool\\app.exe"},
    };
    setenv("LAUNCHER_DIR", "from-environment", 1);
    fake_executable_path("C:\\apps\\tool\\app.exe");
    for (const auto &c : cases)
        EXPECT_EQ(expand(c.text), c.expanded) << c.text;
    fake_executable_path(nullptr);
    unsetenv("LAUNCHER_DIR");

    runtime_home[0] = '\0';
    EXPECT_EQ(expand("[%JAVA_HOME%]"), "[]") << "no runtime home: nothing";

    std::string long_value(400, 'v');
    setenv("TREVALO_LONG", ("\"" + long_value + "\"").c_str(), 1);
    EXPECT_EQ(expand("-Dl=%TREVALO_LONG%"), "-Dl=" + long_value) << "long values are kept whole";

    // Splitting comes before expansion: a value with a blank stays in its option, a name
    // with no value leaves no option.
    strcpy(runtime_home, "C:\\Program Files\\Java\\jre");
    const struct {
        const char *options;
        option_vector result;
    } split_cases[] = {
        {"-Da=%TREVALO_SPACE% -Db", {"-Da=a b", "-Db"}},
        {"-Dx=%JAVA_HOME% -Xmx1g", {"-Dx=C:\\Program Files\\Java\\jre", "-Xmx1g"}},
        {"%TREVALO_SPACE%", {"a b"}},
        {"-Da %TREVALO_UNDEFINED% -Db", {"-Da", "-Db"}},
        {"\"-Dq=%TREVALO_QUOTED%\"", {"-Dq=C:\\Program Files\\x"}},
    };
    for (const auto &c : split_cases)
        EXPECT_EQ(build(c.options, ""), c.result) << c.options;
}

std::string message_with(const char *format, const std::string &subject);

TEST(BuildJvmOptions, AddsTheClassPathOption)
{
    runtime_home[0] = '\0';
    const struct {
        const char *options;
        const char *class_path;
        option_vector result;
    } cases[] = {
        {"-Xmx64m", "", {"-Xmx64m"}},
        {"-Xmx64m", ";;;", {"-Xmx64m"}},
        // Relative entries are made absolute against the current directory.
        {"", "app.jar", {"-Djava.class.path=<cwd>\\app.jar"}},
        {"-Da", "missing.jar;;other.jar;",
         {"-Da", "-Djava.class.path=<cwd>\\missing.jar;<cwd>\\other.jar"}},
        {"", "\\\\server\\share\\a.jar;D:b.jar;/x.jar",
         {"-Djava.class.path=\\\\server\\share\\a.jar;D:b.jar;/x.jar"}},
        {"", "C:\\Program Files\\app.jar", {"-Djava.class.path=C:\\Program Files\\app.jar"}},
        {"-Da \"-Db=x y\"", "", {"-Da", "-Db=x y"}},
        // Empty pieces (blanks at either end, two in a row, blanks alone) are no options.
        {"-Xmx64m ", "app.jar", {"-Xmx64m", "-Djava.class.path=<cwd>\\app.jar"}},
        {"-Xmx64m  -Xss1m", "", {"-Xmx64m", "-Xss1m"}},
        {"   ", "app.jar", {"-Djava.class.path=<cwd>\\app.jar"}},
        {"   ", "", {}},
        {"\"\"", "", {}},
        {"-Da \"-Db \" ", "app.jar", {"-Da", "-Db ", "-Djava.class.path=<cwd>\\app.jar"}},
        // A quote the user's text leaves open does not swallow the class path option.
        {"-Dx=\"a", "app.jar", {"-Dx=\"a", "-Djava.class.path=<cwd>\\app.jar"}},
        // A quote inside the class path stays where it is.
        {"", "a\"b.jar", {"-Djava.class.path=<cwd>\\a\"b.jar"}},
        // A variable that holds a list gives its entries.
        {"", "%TREVALO_LIST%", {"-Djava.class.path=<cwd>\\x.jar;<cwd>\\y.jar"}},
    };
    setenv("TREVALO_LIST", "x.jar;;y.jar", 1);
    for (const auto &c : cases)
        EXPECT_EQ(build(c.options, c.class_path), c.result) << c.options << " | " << c.class_path;
}

TEST(BuildJvmOptions, ExpandsDirectoriesIntoTheirArchives)
{
    temp_tree tree;
    std::string lib = tree.path("lib");
    tree.file("lib\\a.jar");
    tree.file("lib\\B.ZIP");
    tree.file("lib\\notes.txt");
    tree.file("lib\\x.jar.txt");
    tree.file("lib\\.jar");
    tree.file("lib\\sub\\c.jar");
    tree.path("lib\\folder.jar");
    tree.file("lib\\folder.jar\\inner.zip");
    // Links to folders are not followed: one leads back up, one elsewhere.
    symlink(temp_tree::unix(lib).c_str(), temp_tree::unix(lib + "\\loop").c_str());
    symlink(temp_tree::unix(tree.path("other")).c_str(), temp_tree::unix(lib + "\\away").c_str());
    tree.file("other\\d.jar");
    strcpy(runtime_home, "C:\\jre");

    std::string expected_list;
    for (const std::string &name : listed(lib)) {
        if (name == "sub")
            expected_list += ";" + lib + "\\sub\\c.jar";
        else if (name == "folder.jar")
            expected_list += ";" + lib + "\\folder.jar\\inner.zip";
        else if (name == "a.jar" || name == "B.ZIP" || name == ".jar")
            expected_list += ";" + lib + "\\" + name;
    }
    EXPECT_EQ(build("-Xmx256m -Dhome=%JAVA_HOME%", "app.jar;" + lib),
              (option_vector{"-Xmx256m", "-Dhome=C:\\jre",
                             "-Djava.class.path=<cwd>\\app.jar;" + lib + expected_list}));

    // "lib\*": the folder's own ".jar" files in its place, as the java command reads it.
    std::string jars;
    for (const std::string &name : listed(lib))
        if (name == "a.jar" || name == ".jar")
            jars += (jars.empty() ? "" : ";") + lib + "\\" + name;
    EXPECT_EQ(build("", lib + "\\*"), option_vector{"-Djava.class.path=" + jars});
    EXPECT_EQ(build("", lib + "/*;x.jar"), option_vector{"-Djava.class.path=" + jars +
                                                         ";<cwd>\\x.jar"});
    EXPECT_EQ(build("", tree.name("missing") + "\\*;x.jar"),
              option_vector{"-Djava.class.path=<cwd>\\x.jar"});
    // The same after expansion: the launcher's folder, and a folder whose name holds '%'.
    fake_executable_path((tree.name("lib") + "\\app.exe").c_str());
    EXPECT_EQ(build("", "%LAUNCHER_DIR%\\*"), option_vector{"-Djava.class.path=" + jars});
    fake_executable_path(nullptr);
    tree.file("50%\\p.jar");
    EXPECT_EQ(build("", tree.name("50%%") + "\\*"),
              option_vector{"-Djava.class.path=" + tree.name("50%") + "\\p.jar"});

    // A folder whose name holds ';' (the launcher's, here the current one) is given by its
    // short form; without one it is refused, naming the entry.
    char cwd[4096];
    std::string previous = getcwd(cwd, sizeof cwd);
    ASSERT_EQ(chdir(temp_tree::unix(tree.path("a;b")).c_str()), 0);
    std::string here = std::string(getcwd(cwd, sizeof cwd)) + "\\x.jar";
    fake_short_path(here.c_str(), "C:\\AB~1\\X.JAR");
    EXPECT_EQ(build("", "x.jar"), option_vector{"-Djava.class.path=C:\\AB~1\\X.JAR"});
    fake_short_path(nullptr, nullptr);
    jvm_option_list refused;
    EXPECT_FALSE(build_jvm_options("", "x.jar", true, runtime_home, &refused));
    EXPECT_EQ(reported.back(), message_with(MSG_CLASS_PATH_SEPARATOR, here));
    ASSERT_EQ(chdir(previous.c_str()), 0);

    // An archive's path of 1024 bytes or more: refused, naming it, for a runtime before 9 or of
    // no known version (given its short form, it opens the long one); a folder, and a runtime
    // of 9 or later, take it as it is.
    std::string deep = "deep";
    while (tree.name(deep).size() < RUNTIME_ARCHIVE_PATH_BYTES + 10)
        deep += "\\twenty-characters-";
    std::string jar = tree.file(deep + "\\x.jar"), folder = tree.path(deep + "\\empty");
    fake_short_path(jar.c_str(), "C:\\DEEP~1\\X.JAR");
    EXPECT_EQ(build("", folder), option_vector{"-Djava.class.path=" + folder});
    EXPECT_FALSE(build_jvm_options("", jar.c_str(), true, runtime_home, &refused));
    EXPECT_EQ(reported.back(), message_with(MSG_CLASS_PATH_TOO_LONG, jar));
    tree.file("jdk11\\release", "JAVA_VERSION=\"11.0.2\"\n");
    strcpy(runtime_home, tree.path("jdk11").c_str());
    EXPECT_EQ(build("", jar), option_vector{"-Djava.class.path=" + jar});
    strcpy(runtime_home, "C:\\jre");
    fake_short_path(nullptr, nullptr);

    // One trailing separator of the entry is kept in the list, not in the archives' paths.
    std::string only = tree.path("only");
    tree.file("only\\x.jar");
    EXPECT_EQ(build("", only + "\\"),
              option_vector{"-Djava.class.path=" + only + "\\;" + only + "\\x.jar"});
    EXPECT_EQ(build("", only + "/"),
              option_vector{"-Djava.class.path=" + only + "/;" + only + "\\x.jar"});

    std::string empty = tree.path("empty");
    EXPECT_EQ(build("", empty), option_vector{"-Djava.class.path=" + empty});
}

TEST(BuildJvmOptions, ReferencedDirectoriesAreNotListed)
{
    temp_tree tree;
    std::string lib = tree.path("lib");
    tree.file("lib\\a.jar");
    setenv("TREVALO_LIB", lib.c_str(), 1);
    EXPECT_EQ(build("", "%TREVALO_LIB%"), option_vector{"-Djava.class.path=" + lib});
    // A value with a blank stays in the one class path option.
    setenv("TREVALO_SPACED", "C:\\Program Files\\a.jar", 1);
    EXPECT_EQ(build("", "%TREVALO_SPACED%;b.jar"),
              option_vector{"-Djava.class.path=C:\\Program Files\\a.jar;<cwd>\\b.jar"});

    // Paths the launcher makes are never expanded: an archive listed from a folder, and the
    // unpacked files (in a temporary folder of a user named "50%TREVALO_LIB%").
    std::string odd = tree.path("odd");
    tree.file("odd\\%TREVALO_LIB%.jar");
    EXPECT_EQ(build("", odd), option_vector{"-Djava.class.path=" + odd + ";" + odd +
                                            "\\%TREVALO_LIB%.jar"});
    jvm_option_list unpacked;
    ASSERT_TRUE(build_jvm_options("", "C:\\Users\\50%TREVALO_LIB%\\a.jar", false, runtime_home,
                                  &unpacked));
    EXPECT_EQ(given_options(unpacked),
              option_vector{"-Djava.class.path=C:\\Users\\50%TREVALO_LIB%\\a.jar"});
    free_jvm_options(&unpacked);
}

// format with its "%s" replaced by subject.
std::string message_with(const char *format, const std::string &subject)
{
    std::string text = format;
    return text.replace(text.find("%s"), 2, subject);
}

TEST(BuildJvmOptions, ListingFailureKeepsTheOptions)
{
    temp_tree tree;
    std::string lib = tree.path("lib");
    tree.file("lib\\a.jar");
    std::string sub = tree.path("lib\\sub");
    const struct {
        std::string failing;
        bool at_start;
        std::string message;
        std::string shared = "";  // guarded, with this folder one others may change
    } cases[] = {
        {lib, true, "Internal error RC000001 listing the folder " + lib + "\n\nReason: (reason)"},
        {sub, true, "Internal error RC000001 listing the folder " + sub + "\n\nReason: (reason)"},
        {lib, false, "Internal error RC000002 listing the folder " + lib + "\n\nReason: (reason)"},
        // A service or an elevated launcher lists no folder that other accounts may change.
        {"", true, message_with(MSG_FOLDER_NOT_PRIVATE_ELEVATED, lib), lib},
        {"", true, message_with(MSG_FOLDER_NOT_PRIVATE_ELEVATED, sub), sub},
    };
    for (const auto &c : cases) {
        fake_listing_failure(c.failing.c_str(), c.at_start);
        fake_shared_folder(c.shared.empty() ? nullptr : c.shared.c_str());
        run_guard trust = {!c.shared.empty(), false, false};
        reported.clear();
        jvm_option_list list = {1, nullptr};
        EXPECT_FALSE(
            build_jvm_options("-Dkept", lib.c_str(), true, runtime_home, &list, trust));
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(list.options, nullptr);
        EXPECT_EQ(reported, std::vector<std::string>{c.message});
    }
    fake_listing_failure(nullptr, false);
    fake_shared_folder(nullptr);
    run_guard trust = {true, false, false};
    jvm_option_list list;
    ASSERT_TRUE(build_jvm_options("", lib.c_str(), true, runtime_home, &list, trust));
    EXPECT_EQ(given_options(list).size(), 1u) << "private folders are listed";
    free_jvm_options(&list);
}

} // namespace

namespace {

TEST(RuntimeOption, PathsOutsideTheCodePageTakeTheirShortForm)
{
    // A runtime that reads Latin-1 only, and one folder with a short form.
    fake_latin1_runtime(true);
    fake_short_path("C:\\\u0416\u0443\u043a\\a.jar", "C:\\4E1D~1\\A.JAR");
    const struct {
        const char *option;
        const char *given;  // null: it cannot be given
    } cases[] = {
        {"-Xmx1g", "-Xmx1g"},
        {"-Dcaf\u00e9=1", "-Dcaf\u00e9=1"},  // within the code page: as it is
        {"-Djava.class.path=C:\\\u0416\u0443\u043a\\a.jar;b.jar;C:\\\u0416\u0443\u043a\\a.jar",
         "-Djava.class.path=C:\\4E1D~1\\A.JAR;b.jar;C:\\4E1D~1\\A.JAR"},
        {"C:\\\u0416\u0443\u043a\\a.jar", "C:\\4E1D~1\\A.JAR"},  // no "=": the whole option
        {"-Dname=\u0416\u0443\u043a", nullptr},                   // not a path
        {"-D\u0416=C:\\\u0416\u0443\u043a\\a.jar", nullptr},      // the name cannot be given
        {"-Dx=C:\\\u0416\u0443\u043a\\a.jar;C:\\\u65e5", nullptr}, // one path has no short form
    };
    for (const auto &c : cases) {
        char *given = runtime_option(c.option);
        EXPECT_EQ(given ? std::string(given) : "<null>", c.given ? c.given : "<null>") << c.option;
        free(given);
    }

    // The class path, entry by entry: one entry cannot spoil the others, which must arrive at
    // the creation (the system class loader reads them then).
    temp_tree tree;
    std::string beetle = tree.file("\u0416\u0443\u043a.jar");
    const std::string cp = "-Djava.class.path=";
    const struct {
        std::string option;
        std::string given;  // "<null>": refused
        std::string message;
    } class_paths[] = {
        {cp + "a.jar;b.jar", cp + "a.jar;b.jar", ""},
        {cp + "a.jar;C:\\\u0416\u0443\u043a\\a.jar", cp + "a.jar;C:\\4E1D~1\\A.JAR", ""},
        // Not there: passed over, wherever it stands.
        {cp + "dump.jar;extras\\\u0416\u0443\u043a.jar", cp + "dump.jar", ""},
        {cp + "extras\\\u0416\u0443\u043a.jar;dump.jar", cp + "dump.jar", ""},
        {cp + "extras\\\u0416.jar", cp, ""},
        // There, with no short form: refused, naming it.
        {cp + "a.jar;" + beetle, "<null>",
         "The Java runtime cannot be given this option, because it has characters outside the "
         "system's code page and no short form of its paths avoids them:\n" + beetle},
    };
    for (const auto &c : class_paths) {
        reported.clear();
        jvm_option_list list = {};
        std::string entries = c.option.substr(cp.size()) + ";";
        list.class_path = (char **)calloc(entries.size(), sizeof(char *));
        for (size_t at = 0, end; (end = entries.find(';', at)) != std::string::npos; at = end + 1)
            list.class_path[list.class_path_count++] = strdup(entries.substr(at, end - at).c_str());
        char *given;
        if (!class_path_option(list, true, &given))
            given = nullptr;
        free_jvm_options(&list);
        EXPECT_EQ(given ? std::string(given) : "<null>", c.given) << c.option;
        EXPECT_EQ(reported, c.message.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{c.message});
        free(given);
    }
    fake_latin1_runtime(false);
    fake_short_path(nullptr, nullptr);
}

TEST(IniValue, ReadsAsTheProfileFunctionsDo)
{
    const char *text = "; comment\r\n[Other]\nJvmOptions=wrong\n"
                       "  [ application configuration ]  \r\n"
                       "  jvmoptions  =  -Xmx1g -Dx=\u65e5\u672c  \r\n"
                       "AppOptions=\"quoted value\"\n"
                       "Empty=\n"
                       "JvmOptions=second\n"
                       "[Application Configuration]\nLater=found\nQuote='\n"
                       "[After]\nOnlyAfter=taken\n";
    const struct {
        const char *key;
        const char *value;  // null: none
    } cases[] = {
        {"JvmOptions", "-Xmx1g -Dx=\u65e5\u672c"},  // blanks dropped, case ignored, first wins
        {"AppOptions", "quoted value"},
        {"Empty", nullptr},
        {"Later", "found"},  // a section named again goes on
        {"Quote", "'"},      // one quote is no pair of quotes
        {"OnlyAfter", nullptr},  // a later section's key
        {"Missing", nullptr},
    };
    for (const auto &c : cases) {
        char *value = ini_value(text, "Application Configuration", c.key);
        EXPECT_EQ(value ? std::string(value) : "<null>", c.value ? c.value : "<null>") << c.key;
        free(value);
    }
    EXPECT_EQ(ini_value("[Application Configuration]\nAppOptions=x", "Other", "AppOptions"),
              nullptr);
}

const uint64_t MB = 1 << 20;

TEST(HeapSize, SharesOfTheMachineWithinBoundsAndTheAddressSpace)
{
    const struct {
        heap_rule rule;
        uint64_t memory_mb, free_mb, max_given, initial_given;
        heap_sizes sizes;
    } cases[] = {
        {{25, 0, 0, 0}, 16384, 0, 0, 0, {4096, 0}},
        {{25, 10, 0, 0}, 16384, 0, 0, 0, {4096, 1638}},
        {{25, 0, 1024, 2048}, 2048, 0, 0, 0, {1024, 0}},   // raised to the lower bound
        {{50, 0, 1024, 2048}, 65536, 0, 0, 0, {2048, 0}},  // lowered to the upper bound
        {{50, 0, 4096, 2048}, 2048, 0, 0, 0, {2048, 0}},   // crossed bounds: the upper wins
        // A 32-bit process: no more than its largest free block less the margin, bounds or not.
        {{100, 0, 2048, 0}, 8192, 1200, 0, 0, {1200 - HEAP_ADDRESS_MARGIN_MB, 0}},
        {{100, 0, 0, 0}, 8192, 50, 0, 0, {0, 0}},
        // An -Xmx or -Xms of the options wins; the other is fitted to it.
        {{25, 50, 0, 0}, 16384, 0, 512, 0, {0, 512}},
        {{25, 0, 0, 0}, 16384, 0, 0, 6000, {6000, 0}},
        {{25, 10, 0, 0}, 0, 0, 0, 0, {0, 0}},  // the memory unknown: nothing given
    };
    for (const auto &c : cases) {
        heap_sizes sizes = compute_heap_sizes(c.rule, {c.memory_mb * MB, c.free_mb * MB},
                                              c.max_given, c.initial_given);
        EXPECT_EQ(std::make_pair(sizes.max_mb, sizes.initial_mb),
                  std::make_pair(c.sizes.max_mb, c.sizes.initial_mb)) << c.rule.max_percent;
    }
    for (auto size : {std::make_pair("512m", 512u), {"2G", 2048u}, {"1048576", 1u},
                      {"64k", 0u}, {"1t", 1048576u}, {"12q", 0u}, {"", 0u}})
        EXPECT_EQ(heap_option_mb(size.first), size.second) << size.first;
}

// The sources in order (configured or INI, the user's file, the class path); the computed
// heap options only where none of them gives one.
TEST(HeapSize, OptionsOfEverySourceWinOverTheComputedOnes)
{
    static launcher_settings settings = blank_settings();
    settings.max_heap_percent = 50;
    settings.initial_heap_percent = 25;
    fake_machine(4096 * MB, 0);
    for (bool user : {false, true}) {
        const char *lines[] = {"-Xmx100m"};
        user_option_lines file = {user ? 1 : 0, (char **)lines};
        jvm_option_list list;
        ASSERT_TRUE(build_jvm_options("-Xmx3g", "\\\\x", false, "", &list, {}, &file));
        add_heap_options(settings, given_heap_sizes(settings, list), &list);
        option_vector expected = {"-Xmx3g", "-Djava.class.path=\\\\x", "-Xms1024m"};
        if (user)
            expected = {"-Xmx3g", "-Xmx100m", "-Djava.class.path=\\\\x", "-Xms100m"};
        EXPECT_EQ(given_options(list), expected);
        free_jvm_options(&list);
    }
    fake_machine(0, 0);
}

TEST(UserOptions, OneOptionALineOrTheLineThatIsWrong)
{
    const struct {
        std::string text;
        int wrong_line;
        option_vector options;
    } cases[] = {
        {"\xEF\xBB\xBF-Xmx1g\r\n# more memory\r\n\r\n  -Dname=a b # c \n", 0,
         {"-Xmx1g", "-Dname=a b # c"}},
        {"-Da\r-Db", 0, {"-Da", "-Db"}},
        {"", 0, {}},
        {"-Da\nmemory=512\n", 2, {}},
        {"-Da\n\n-Dcaf\xE9\n", 3, {}},
        {std::string("-Da\0b", 5), 1, {}},
    };
    for (const auto &c : cases) {
        user_option_lines options;
        const char *problem = nullptr;
        EXPECT_EQ(parse_user_options(c.text.data(), c.text.size(), &options, &problem),
                  c.wrong_line) << c.text;
        EXPECT_EQ(option_vector(options.lines, options.lines + options.count), c.options);
        free_user_options(&options);
    }
}

TEST(LaunchPlan, TheStartOfARunDecidesTheDirectoriesAndStopsOnARefusedIniFolder)
{
    static launcher_settings settings = blank_settings();
    set_text(&settings.startup_directory, "C:\\started");
    const struct {
        bool early, return_to_startup;
        const char *working_dir, *refused_ini;
        const char *early_directory, *main_directory;
    } cases[] = {
        {false, false, "", nullptr, nullptr, nullptr},
        {false, false, "work", nullptr, nullptr, "work"},
        {false, true, "work", nullptr, nullptr, "C:\\started"},
        {true, true, "work", nullptr, "work", nullptr},
        {true, true, "", nullptr, nullptr, nullptr},
        // Neither used nor run without.
        {false, false, "work", "C:\\ini", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        settings.early_working_dir = c.early;
        settings.return_to_startup_dir = c.return_to_startup;
        set_text(&settings.working_dir, c.working_dir);
        settings.refused_ini_folder = (char *)c.refused_ini;
        reported.clear();
        launch_plan plan;
        bool ok = plan_run_start(make_run_context(&settings, RUN_INTERACTIVE), {}, &plan);
        EXPECT_EQ(ok, !c.refused_ini) << c.working_dir;
        EXPECT_EQ(reported.size(), c.refused_ini ? 1u : 0u);
        if (!ok) {
            EXPECT_NE(reported[0].find(c.refused_ini), std::string::npos) << reported[0];
            continue;
        }
        EXPECT_STREQ(plan.early_directory, c.early_directory) << c.early << c.working_dir;
        EXPECT_STREQ(plan.main_directory, c.main_directory) << c.early << c.working_dir;
        EXPECT_EQ(plan.unpack.count, 0u) << "nothing embedded";
    }
    settings.refused_ini_folder = nullptr;
}

TEST(CrashEvidence, TheLastRunsEndAndTheNewestReportsKept)
{
    // An earlier run's record, crash_notice and whether reports go to boxes: the notice planned
    // and whether the user is shown it; the report option, none where the runtime cannot read
    // the folder.
    const char *crashed = "C:\\r.log\nstarting\ncreated\n";
    const struct {
        const char *record;
        bool report_exists, notice, boxes;
        const char *message;
        bool shown;
        const char *folder, *option;
    } cases[] = {
        {crashed, false, true, true, nullptr, false, "C:\\L", "-XX:ErrorFile=C:\\L\\hs_err_pid12.log"},
        {crashed, true, true, true, MSG_LAST_RUN_CRASHED, true, "C:\\L", nullptr},
        {crashed, true, false, true, MSG_LAST_RUN_CRASHED, false, "C:\\L", nullptr},
        {crashed, true, false, false, MSG_LAST_RUN_CRASHED, true, "C:\\L", nullptr},
        {"C:\\r.log\nstarting\ncreated\naborted\n", false, true, true, MSG_LAST_RUN_ABORTED, true,
         "C:\\%L", "-XX:ErrorFile=C:\\%%L\\hs_err_pid12.log"},
        {"C:\\r.log\nstarting\n", false, true, true, MSG_LAST_RUN_NOT_STARTED, true, "C:\\L", nullptr},
        {"C:\\r.log\nstarting\nfailed\n", false, true, true, nullptr, false, "C:\\\u0416", ""},
    };
    static launcher_settings settings = blank_settings();
    fake_latin1_runtime(true);
    for (const auto &c : cases) {
        settings.crash_notice = c.notice;
        earlier_run_record record = {(char *)"7.run", (char *)c.record, c.report_exists};
        crash_facts facts = {(char *)c.folder, &record, 1, c.boxes, 12};
        jvm_option_list list = {};  // the options the plan adds
        crash_evidence_plan plan;
        plan_crash_evidence(settings, facts, &list, &plan);
        ASSERT_EQ(plan.earlier_count, 1);
        EXPECT_STREQ(plan.earlier[0].message, c.message) << c.record;
        EXPECT_EQ(plan.earlier[0].shown, c.shown) << c.record;
        EXPECT_EQ(plan.earlier[0].report, std::string("C:\\r.log"));
        EXPECT_EQ(plan.record, std::string(c.folder) + "\\12.run");
        EXPECT_TRUE(!c.option || (list.count ? list.options[0] : "") == std::string(c.option))
            << c.folder;
        free_crash_evidence_plan(&plan), free_jvm_options(&list);
    }
    fake_latin1_runtime(false);

    // Seven reports written a minute apart and the record of a run that crashed: the start
    // tells it once, the two oldest reports go, and this run's record is made; in a guarded
    // run's folder that others may change, none of that: the run goes without evidence.
    set_text(&settings.main_class, "a/B");
    set_text(&settings.main_class_encoded, "a.B");
    for (bool guarded : {false, true}) {
        temp_tree tree;
        std::string root = tree.name(""), in = "Trevalo\\a.B\\crashes\\", folder = root + in;
        root.pop_back();
        for (int i = 1; i <= 7; i++) {
            std::string name = tree.file(in + "hs_err_pid" + std::to_string(8 - i) + ".log");
            struct timespec times[2] = {{1000000 + i * 60, 0}, {1000000 + i * 60, 0}};
            utimensat(AT_FDCWD, temp_tree::unix(name).c_str(), times, 0);
        }
        tree.file(in + "17.run", folder + "hs_err_pid1.log\nstarting\ncreated\n");
        setenv("LOCALAPPDATA", root.c_str(), 1);
        fake_program_data(root.c_str());
        fake_shared_folder(guarded ? tree.name("Trevalo\\a.B\\crashes").c_str() : nullptr);
        run_guard guard = {guarded, false, false};
        crash_facts facts;
        gather_crash_facts(settings, guard, &facts);
        jvm_option_list list = {};  // the options the plan adds
        crash_evidence_plan plan;
        plan_crash_evidence(settings, facts, &list, &plan);
        reported.clear();
        EXPECT_EQ(make_crash_evidence(plan, guard), !guarded);
        std::string notice = std::string(MSG_LAST_RUN_CRASHED).replace(
            std::string(MSG_LAST_RUN_CRASHED).find("%s"), 2, folder + "hs_err_pid1.log");
        EXPECT_EQ(reported, guarded ? std::vector<std::string>{} : std::vector<std::string>{notice});
        std::vector<std::string> left = listed(folder), reports;
        std::sort(left.begin(), left.end());
        for (int i = 1; i <= (guarded ? 7 : 5); i++)
            reports.push_back("hs_err_pid" + std::to_string(i) + ".log");
        reports.insert(reports.begin(), guarded ? "17.run" : std::to_string(facts.process_id) + ".run");
        EXPECT_EQ(left, reports) << guarded;
        free_crash_evidence_plan(&plan), free_jvm_options(&list), free_crash_facts(&facts);
    }
    unsetenv("LOCALAPPDATA");
    fake_program_data(""), fake_shared_folder(nullptr);
}

} // namespace
