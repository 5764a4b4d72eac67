// Class-data sharing's decisions: which runtimes and options it serves, when an archive is
// made, used, checked, removed, and where it lives. The virtual machine is played by the test,
// which writes the file the options name; the real one is in jvm_test.cpp.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "config/settings.h"
#include "java/class_sharing.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/temp_tree.h"
#include "tests/unit/test_settings.h"

// A jar as sharing reads it: one central directory record (crc gives the entry's CRC-32)
// and the end record.
std::string jar_bytes(unsigned char crc)
{
    std::string record = std::string("PK\1\2", 4) + std::string(12, '\0') +
                         std::string(1, (char)crc) + std::string(25, '\0') + std::string(4, '\0');
    record[28] = 9; // the name's length
    record += "A.class\0\0";
    record.resize(46 + 9);
    std::string end = std::string("PK\5\6", 4) + std::string(18, '\0');
    end[12] = (char)record.size();
    return record + end;
}

namespace {

// The settings of every case, as the launcher holds them.
launcher_settings case_settings = blank_settings();

struct sharing_case {
    temp_tree tree;
    std::string library, jar, cache;
    launcher_settings &settings = case_settings;

    // A runtime of version (its release file) with a library in folder kind and base, the
    // file beside it that sharing needs ("classes.jsa", or "lib\rt.jar" for Java 8).
    // With java, the runtime's java program too, playing a cache's creation: it waits while
    // the file "hold" beside it exists, then writes the cache's header unless "fail" does.
    explicit sharing_case(const std::string &version = "17.0.15", const std::string &kind = "server",
                          const std::string &base = "classes.jsa", bool java = false)
    {
        if (java)
            chmod(temp_tree::unix(tree.file("jdk\\bin\\java.exe",
                "#!/bin/sh\nwhile [ -e \"${0%/*}/hold\" ]; do sleep 0.01; done\n"
                "[ -e \"${0%/*}/fail\" ] && exit 1\nfor a; do case $a in -XX:AOTCache=*)"
                " printf '\\242\\253\\013\\360' > \"${a#*=}\";; esac; done\n")).c_str(), 0755);
        tree.file("jdk\\release", "JAVA_VERSION=\"" + version + "\"\n");
        library = tree.file("jdk\\lib\\" + kind + "\\libjvm.so", "library");
        // "classes.jsa": both base archives; "classes.jsa only": the one.
        if (!base.empty())
            tree.file(base == "lib\\rt.jar" ? "jdk\\lib\\rt.jar" : "jdk\\lib\\" + kind + "\\classes.jsa",
                      jar_bytes(1));
        if (base == "classes.jsa")
            tree.file("jdk\\lib\\" + kind + "\\classes_nocoops.jsa", jar_bytes(2));
        jar = tree.file("app\\app.jar", jar_bytes(7));
        std::string local = tree.path("local");
        setenv("LOCALAPPDATA", temp_tree::unix(local).c_str(), 1);
        cache = temp_tree::unix(local) + "\\Trevalo\\class-sharing";
        set_text(&settings.class_sharing, "auto");
        set_text(&settings.main_class_encoded, "app.Main");
    }
    ~sharing_case()
    {
        unsetenv("LOCALAPPDATA");
        unsetenv("JAVA_TOOL_OPTIONS");
        unsetenv("JDK_JAVA_OPTIONS");
        fake_shared_folder(nullptr);
    }

    // The options sharing adds to user_options and a class path of jars; the virtual machine's
    // run is played by writing the file they name for writing and ending it, when write is
    // set.
    std::vector<std::string> start(const std::string &user_options = "-Xmx64m",
                                   const std::string &class_path = "", bool write = true,
                                   bool service = false)
    {
        // "none": no class path at all.
        jvm_option_list list = {};
        split_command_line(user_options.c_str(), &list.count, &list.options, false);
        std::string entries = class_path.empty() ? jar : class_path;
        list.class_path = (char **)calloc(entries.size() + 1, sizeof(char *));
        for (size_t at = 0; class_path != "none" && at <= entries.size();) {
            size_t end = std::min(entries.find(';', at), entries.size());
            list.class_path[list.class_path_count++] = strdup(entries.substr(at, end - at).c_str());
            at = end + 1;
        }
        int given = list.count;
        class_sharing_action action;
        plan_class_sharing(settings, library.c_str(), guard_for(service), &list, &action);
        carry_out_class_sharing(action);
        free_class_sharing_action(&action);
        std::vector<std::string> added(list.options, list.options + list.count - given);
        free_jvm_options(&list);
        for (const std::string &option : added)
            for (const char *writing : {"-XX:ArchiveClassesAtExit=", "-XX:SharedArchiveFile=",
                                        "-XX:DumpLoadedClassList=", "-XX:AOTConfiguration="})
                if (write && option.find(writing) == 0 && option.find(".new-") != std::string::npos)
                    tree_write(option.substr(strlen(writing)), "archive of this run");
        if (write)
            finish_class_sharing();
        return added;
    }

    static void tree_write(const std::string &path, const std::string &content)
    {
        FILE *f = fopen(temp_tree::unix(path).c_str(), "wb");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
    }

    // The names in the cache folder, sorted, with the key replaced by "K".
    std::vector<std::string> cached() const
    {
        std::vector<std::string> names;
        std::string command = "ls '" + temp_tree::unix(cache) + "' 2>/dev/null";
        FILE *ls = popen(command.c_str(), "r");
        char line[512];
        while (fgets(line, sizeof line, ls)) {
            std::string name = line;
            name.pop_back();
            if (name.compare(16, 5, ".new-") == 0)
                name.replace(21, 16, "P"); // the process's number
            names.push_back(name.size() > 16 ? "K" + name.substr(16) : name);
        }
        pclose(ls);
        return names;
    }
};

// The kind of each added option ("-XX:SharedArchiveFile=<path>" as "-XX:SharedArchiveFile=").
std::vector<std::string> shapes(const std::vector<std::string> &options)
{
    std::vector<std::string> result;
    for (const std::string &option : options) {
        size_t equals = option.find('=');
        result.push_back(equals == std::string::npos || option.find("-Xlog") == 0
                             ? option : option.substr(0, equals + 1));
    }
    return result;
}

const std::vector<std::string> CREATE_17 = {"-XX:ArchiveClassesAtExit=", "-Xlog:cds*=off"};
const std::vector<std::string> FIRST_USE_17 = {"-XX:SharedArchiveFile=", "-Xshare:auto",
                                               "-XX:+VerifySharedSpaces", "-Xlog:cds*=off"};
const std::vector<std::string> USE_17 = {"-XX:SharedArchiveFile=", "-Xshare:auto",
                                         "-Xlog:cds*=off"};
const std::vector<std::string> NONE = {};

const std::vector<std::string> LOGS = {"-Xlog:cds*=off", "-Xlog:aot*=off"};
const std::vector<std::string> RECORD = {"-XX:AOTMode=", "-XX:AOTConfiguration=", LOGS[0], LOGS[1]};
const std::vector<std::string> CACHE = {"-XX:AOTCache=", LOGS[0], LOGS[1]};
const std::vector<std::string> TODAY = {"-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=",
                                        LOGS[0], LOGS[1]};

TEST(ClassSharing, ServesHotSpotRuntimesThatCanMakeAnArchive)
{
    const struct {
        std::string version, kind, base;
        std::vector<std::string> creating;
        bool java = false; // the runtime's java program is there
    } cases[] = {
        {"17.0.15", "server", "classes.jsa", CREATE_17},
        {"15.0.2", "client", "classes.jsa", CREATE_17},
        {"13.0.2", "server", "classes.jsa", NONE},       // no archive without compressed pointers
        {"17.0.15", "server", "classes.jsa only", NONE}, // a failed mapping would end the start
        {"21.0.6", "client", "classes.jsa only",
         {"-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=", "-Xlog:cds*=off"}},
        {"21.0.6", "server", "classes.jsa",
         {"-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=", "-Xlog:cds*=off"}},
        {"25.0.3", "server", "classes.jsa",
         {"-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=", "-Xlog:cds*=off",
          "-Xlog:aot*=off"}},
        // The ahead-of-time cache: made by the runtime's java program, with no base archive.
        {"25.0.3", "server", "classes.jsa", RECORD, true},
        {"25.0.3", "server", "", RECORD, true},
        {"24.0.2", "server", "classes.jsa", TODAY, true}, // not tried on 24
        {"1.8.0_181", "client", "lib\\rt.jar", {"-XX:DumpLoadedClassList="}},
        {"1.8.0_31", "client", "lib\\rt.jar", NONE},  // before 8u40
        {"11.0.16", "server", "classes.jsa", NONE},   // no archive made at exit
        {"17.0.15", "server", "", NONE},              // no base archive
        {"17.0.15", "default", "classes.jsa", NONE},  // not a HotSpot layout
        {"", "server", "classes.jsa", NONE},          // no version
    };
    // Decided from what the runtime's folders hold, on a first start.
    for (const auto &c : cases) {
        class_sharing_facts facts = {};
        sharing_runtime &runtime = facts.runtime;
        runtime.hotspot = c.kind != "default";
        runtime.client = c.kind == "client";
        parse_java_version(c.version.data(), c.version.size(), &runtime.version);
        runtime.rt_jar = c.base == "lib\\rt.jar";
        runtime.base_archive = c.base.find("classes.jsa") == 0;
        runtime.nocoops_archive = c.base == "classes.jsa";
        runtime.java_program = c.java;
        char fingerprint[] = "fingerprint", folder[] = "C:\\cache", creation[] = "create";
        facts.fingerprint = fingerprint;
        facts.folder = folder;
        facts.creation = creation;
        facts.now = 1;
        class_sharing_action action;
        decide_class_sharing(facts, &action);
        EXPECT_EQ(shapes({action.options, action.options + action.option_count}), c.creating)
            << c.version << " " << c.kind << " " << c.base;
        free_class_sharing_action(&action);
    }
    // Read from the folders: a base archive missing, a library in no HotSpot folder.
    for (const char *kind : {"server", "default"}) {
        sharing_case s("17.0.15", kind, kind[0] == 's' ? "classes.jsa only" : "classes.jsa");
        EXPECT_EQ(s.start("-Xmx64m", "", false), NONE) << kind;
    }
    sharing_case off;
    set_text(&off.settings.class_sharing, "off");
    EXPECT_EQ(off.start(), NONE);
    EXPECT_EQ(off.cached(), std::vector<std::string>{}) << "nothing made when off";
}

TEST(ClassSharing, LeavesOptionsAndClassPathsItCannotFollow)
{
    const struct {
        std::string options, class_path, environment;
        bool shared;
    } cases[] = {
        {"-Xshare:off", "", "", false},
        {"-XX:SharedArchiveFile=mine.jsa", "", "", false},
        {"-javaagent:agent.jar", "", "", false},
        {"-Xbootclasspath/a:x.jar", "", "", false},
        {"-XX:AOTCache=app.aot", "", "", false},
        {"-XX:-UseCompressedClassPointers", "", "", false}, // no base archive to map
        {"-Xmx64m", "", "-javaagent:agent.jar", false},
        {"-Xmx64m", "folder", "", false},     // a folder on the class path
        {"-Xmx64m", "not-a-jar", "", false},  // a file that is no zip archive
        {"-Xmx64m", "missing.jar", "", true}, // missing now: part of the fingerprint
        {"-Xmx64m", "none", "", false},       // the current folder
        {"-Xmx64m -Xlog:class+load=info", "", "-Dx=1", true},
    };
    for (const auto &c : cases) {
        sharing_case s;
        std::string class_path = s.jar;
        if (c.class_path == "folder")
            class_path += ";" + s.tree.path("classes");
        else if (c.class_path == "not-a-jar")
            class_path += ";" + s.tree.file("notes.jar", "not a zip archive");
        else if (c.class_path == "none")
            class_path = "none";
        else if (!c.class_path.empty())
            class_path += ";" + s.tree.name(c.class_path);
        if (!c.environment.empty())
            setenv("JAVA_TOOL_OPTIONS", c.environment.c_str(), 1);
        EXPECT_EQ(!s.start(c.options, class_path).empty(), c.shared) << c.options << c.class_path;
    }
}

TEST(ClassSharing, MakesAnArchiveOnceAndRenewsItAfterEachChange)
{
    sharing_case s;
    EXPECT_EQ(shapes(s.start()), CREATE_17);
    EXPECT_EQ(s.cached(), (std::vector<std::string>{"K.fingerprint", "K.jsa"}));
    std::vector<std::string> first = s.start();
    EXPECT_EQ(shapes(first), FIRST_USE_17);
    EXPECT_EQ(first[0].find("-XX:SharedArchiveFile=" + s.cache + "\\"), 0u) << first[0];
    EXPECT_EQ(shapes(s.start()), USE_17) << "checked once only";

    // Each change of the fingerprint that a real runtime cannot show in a test: the archive
    // goes and a new one is made on that run.
    const struct {
        const char *change;
        void (*apply)(sharing_case &);
    } changes[] = {
        {"class changed in place, size and time kept", [](sharing_case &c) {
             std::string path = temp_tree::unix(c.jar);
             struct stat old;
             stat(path.c_str(), &old);
             sharing_case::tree_write(c.jar, jar_bytes(8));
             struct timespec times[2] = {old.st_atim, old.st_mtim};
             utimensat(AT_FDCWD, path.c_str(), times, 0);
         }},
        {"base archive replaced", [](sharing_case &c) {
             c.tree.file("jdk\\lib\\server\\classes.jsa", "another base");
         }},
        {"variable set", [](sharing_case &) { setenv("JAVA_TOOL_OPTIONS", "-Xss2m", 1); }},
    };
    for (const auto &c : changes) {
        c.apply(s);
        EXPECT_EQ(shapes(s.start("-Xmx64m", "", false)), CREATE_17) << c.change;
        EXPECT_EQ(s.cached(), std::vector<std::string>{}) << c.change << ": the old one is gone";
        s.start();
        EXPECT_EQ(shapes(s.start()), FIRST_USE_17) << c.change;
    }
}

TEST(ClassSharing, NeverTakesAnArchiveThatIsIncompleteOrOthersCouldWrite)
{
    // The virtual machine ended before writing the archive, or wrote nothing.
    for (const char *content : {(const char *)"", (const char *)nullptr}) {
        sharing_case s;
        std::vector<std::string> made = s.start("-Xmx64m", "", false);
        if (content)
            sharing_case::tree_write(made[0].substr(made[0].find('=') + 1), content);
        finish_class_sharing();
        EXPECT_EQ(s.cached(), std::vector<std::string>{});
        EXPECT_EQ(shapes(s.start()), CREATE_17);
    }

    // Cut after it was complete: its size no longer matches the fingerprint.
    sharing_case cut;
    cut.start();
    std::string archive = temp_tree::unix(cut.cache) + "/" + "*.jsa";
    ASSERT_EQ(system(("truncate -s 5 " + archive).c_str()), 0);
    EXPECT_EQ(shapes(cut.start("-Xmx64m", "", false)), CREATE_17);

    // A folder others may change, or a file in the folder's place.
    sharing_case shared;
    shared.tree.path("local\\Trevalo\\class-sharing");
    fake_shared_folder(shared.cache.c_str());
    EXPECT_EQ(shared.start(), NONE);
    sharing_case blocked;
    blocked.tree.file("local\\Trevalo\\class-sharing", "a file");
    EXPECT_EQ(blocked.start(), NONE);

    // A folder the runtime cannot name in its code page: a file not made yet has no short form.
    sharing_case foreign;
    std::string named = temp_tree::unix(foreign.tree.path("\u65e5\u672c"));
    setenv("LOCALAPPDATA", named.c_str(), 1);
    fake_latin1_runtime(true);
    EXPECT_EQ(foreign.start(), NONE);
    fake_latin1_runtime(false);

    // A service keeps its archives under its own program-data folder, and so does an elevated
    // run: the user's own folder is open to the user's unelevated programs.
    for (bool service : {true, false}) {
        sharing_case guarded;
        std::string data = guarded.tree.path("data");
        fake_program_data(data.c_str());
        fake_elevated(!service);
        EXPECT_EQ(shapes(guarded.start("-Xmx64m", "", true, service)), CREATE_17) << service;
        fake_elevated(false);
        guarded.cache = data + "\\Trevalo\\app.Main\\class-sharing";
        EXPECT_EQ(guarded.cached(), (std::vector<std::string>{"K.fingerprint", "K.jsa"}));
    }
    fake_program_data("");
}

TEST(ClassSharing, TheAheadOfTimeCacheIsRecordedThenMadeInTheBackground)
{
    sharing_case s("25.0.3", "server", "classes.jsa", true);
    fake_process(0, nullptr);
    const std::vector<std::string> RECORDED = {"K.aot-log", "K.new-P.aotconf", "K.new-P.lock",
                                               "K.new-P.request"};
    const std::vector<std::string> CACHED = {"K.aot", "K.aot-fingerprint", "K.aot-used"};
    const struct {
        const char *what, *flag, *options;
        std::vector<std::string> added, files;
    } steps[] = {
        {"first start", "", "-Xmx64m -Xlog:gc:file=gc.log", RECORD,
         {"K.aot-log", "K.new-P.aot", "K.new-P.aotconf", "K.new-P.lock", "K.new-P.request"}},
        {"the next takes the cache", "", "-Xmx64m -Xlog:gc:file=gc.log", CACHE, CACHED},
        {"options changed", "hold", "-Xmx32m", RECORD, RECORDED},
        {"while it is made", "hold", "-Xmx32m", {}, RECORDED},
        {"once it is made", "", "-Xmx32m", CACHE, CACHED},
        {"jar changed, creation fails", "fail", "-Xmx32m -Dx=1", RECORD, RECORDED},
        {"today's archive for a day", "fail", "-Xmx32m -Dx=1", TODAY,
         {"K.aot-log", "K.fingerprint", "K.jsa"}},
        {"and used", "", "-Xmx32m -Dx=1", {"-XX:SharedArchiveFile=", "-Xshare:auto",
         "-XX:+VerifySharedSpaces", LOGS[0], LOGS[1]}, {"K.aot-log", "K.fingerprint", "K.jsa", "K.used"}},
    };
    std::string jdk = temp_tree::unix(s.tree.path("jdk\\bin"));
    for (const auto &step : steps) {
        unlink((jdk + "/hold").c_str());
        unlink((jdk + "/fail").c_str());
        if (step.flag[0])
            sharing_case::tree_write(jdk + "/" + step.flag, "");
        bool held = strcmp(step.flag, "hold") == 0;
        if (!held)
            wait_for_background_processes(s.cache.c_str());
        std::vector<std::string> added = s.start(step.options);
        if (!held)
            wait_for_background_processes(s.cache.c_str());
        EXPECT_EQ(shapes(added), step.added) << step.what;
        EXPECT_EQ(s.cached(), step.files) << step.what;
        // The creation gets the run's options, but for those that write files.
        std::string made = added.size() > 1 ? added[1].substr(added[1].find('=') + 1) : "";
        if (&step == steps) {
            EXPECT_EQ(processes_run.at(0), "\"" + s.tree.name("jdk\\bin\\java.exe") + "\" "
                      "-XX:AOTMode=create \"-XX:AOTConfiguration=" + made + "\" \"-XX:AOTCache=" +
                      made.substr(0, made.size() - 4) + "\" -Xlog:aot*=off -Xlog:cds*=off "
                      "\"-Xmx64m\" \"-Djava.class.path=" + s.jar + "\"");
        }
    }
    std::string log = temp_tree::unix(s.cache) + "/" + "*.aot-log";
    EXPECT_EQ(system(("grep -q 'was not made: its creation ended without it' " + log).c_str()), 0);

    // Where the creating program could not be given the run's options as they are, or would
    // read more (JDK_JAVA_OPTIONS): today's archive.
    const struct {
        const char *options, *variable;
    } others[] = {{"-Dquoted=\"a\"", ""}, {"-Dfolder=C:\\", ""}, {"-Xmx64m", "-Dmore=1"}};
    for (const auto &o : others) {
        sharing_case other("25.0.3", "server", "classes.jsa", true);
        setenv("JDK_JAVA_OPTIONS", o.variable, 1);
        EXPECT_EQ(shapes(other.start(o.options, "", false)), TODAY) << o.options;
    }
}

TEST(ClassSharing, Java8DumpsTheArchiveInAnotherProcess)
{
    // The dump that works is run under Wine with the real runtime. One that fails leaves
    // nothing; one that works is used from the next start on, until rt.jar or the jar is
    // replaced.
    sharing_case s("1.8.0_181", "client", "lib\\rt.jar");
    const struct { const char *replaced; int status; } dumps[] = {
        {"", 1}, {"", 0}, {"jdk\\lib\\rt.jar", 0}, {"app\\app.jar", 0}};
    for (const auto &d : dumps) {
        if (d.replaced[0])
            sharing_case::tree_write(s.tree.name(d.replaced), jar_bytes(9));
        std::vector<std::string> made = s.start("-Xmx64m", "", false);
        ASSERT_EQ(shapes(made), std::vector<std::string>{"-XX:DumpLoadedClassList="}) << d.replaced;
        std::string list = made[0].substr(made[0].find('=') + 1);
        sharing_case::tree_write(list, "java/lang/Object\n");
        fake_process(d.status, (list + ".jsa").c_str());
        finish_class_sharing();
        EXPECT_EQ(processes_run, std::vector<std::string>{
                                     "\"" + s.tree.name("jdk\\bin\\java.exe") +
                                     "\" -client -Xshare:dump -XX:+UnlockDiagnosticVMOptions "
                                     "\"-XX:SharedClassListFile=" + list +
                                     "\" \"-XX:SharedArchiveFile=" + list + ".jsa\""});
        if (d.status)
            EXPECT_EQ(s.cached(), std::vector<std::string>{});
        else
            EXPECT_EQ(shapes(s.start()),
                      (std::vector<std::string>{"-XX:+UnlockDiagnosticVMOptions",
                                                "-XX:SharedArchiveFile=", "-Xshare:auto",
                                                "-XX:+VerifySharedSpaces"})) << d.replaced;
    }
    fake_process(0, nullptr);
}

TEST(ClassSharing, RemovesArchivesNotUsedForAWhileAndKeepsUnderTheCap)
{
    sharing_case s;
    s.tree.path("local\\Trevalo\\class-sharing");
    std::string dir = temp_tree::unix(s.cache) + "/";
    // Unused for 90 days; used yesterday but 700 MB; used an hour ago, 700 MB; a name that is
    // not an archive's.
    const struct {
        const char *name, *size, *age;
    } files[] = {
        {"00000000000000a1.jsa", "1000", "90 days ago"},
        {"00000000000000a1.fingerprint", "100", "90 days ago"},
        {"00000000000000b2.jsa", "700M", "1 day ago"},
        {"00000000000000c3.jsa", "700M", "1 hour ago"},
        {"readme.txt", "10", "90 days ago"},
    };
    for (const auto &f : files)
        ASSERT_EQ(system(("truncate -s " + std::string(f.size) + " " + dir + f.name +
                          " && touch -d '" + f.age + "' " + dir + f.name).c_str()), 0);
    s.start();
    std::string names;
    FILE *ls = popen(("ls " + dir).c_str(), "r");
    char line[256];
    while (fgets(line, sizeof line, ls))
        names += line;
    pclose(ls);
    EXPECT_EQ(names.find("00000000000000a1"), std::string::npos) << names;
    EXPECT_EQ(names.find("00000000000000b2"), std::string::npos) << names;
    EXPECT_NE(names.find("00000000000000c3.jsa"), std::string::npos) << names;
    EXPECT_NE(names.find("readme.txt"), std::string::npos) << names;
}

} // namespace
