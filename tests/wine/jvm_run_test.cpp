// The real stub creating the test runtime's virtual machine and running its scripted main
// classes: options, failures, arguments, directories, System.exit and non-daemon threads, read
// from the runtime's log, the message boxes and the exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/setting_list.h"
#include "base/messages.h"
#include "java/heap_size.h"
#include "tests/wine/harness.h"

#include <tlhelp32.h>

namespace {

const DWORD FAILED = 0xFFFFFFFF;

std::string runtime(const char *home = "test-runtime")
{
    return build_dir() + "\\" + home + "\\bin\\client\\jvm.dll";
}

// A launcher of the test runtime for main_class, in a folder of its own.
struct launch {
    std::string dir, app, log;
    run_result result;
    std::vector<std::string> lines;
    std::string error_output;  // what the launcher wrote to its standard error

    explicit launch(const std::string &config, const std::string &library = runtime(),
                    bool console = false)
    {
        dir = make_temp_dir("jvm");
        log = dir + "\\runtime.log";
        app = make_launcher(dir, "search_order = 0\nruntime_paths = " + library + "\n" + config,
                            "app.exe", console ? stub_path(target_arch(), true) : "");
    }

    // Runs the launcher with args from directory (empty: its own folder).
    launch &run(const std::string &args = "", const std::string &directory = "")
    {
        // The launcher's own folder stands for the user's application data: the crash
        // folder and the user's options file of each launcher are its own.
        std::string env = environment_with({"TREVALO_TEST_LOG=" + log, "LOCALAPPDATA=" + dir,
                                            "APPDATA=" + dir});
        std::string error_path = dir + "\\stderr.txt";
        result = run_answering(quote(app) + (args.empty() ? "" : " " + args),
                               directory.empty() ? dir : directory, HANG_MS, error_path,
                               env.data());
        lines = read_lines(log);
        for (std::string &line : lines)  // this run's crash report, whatever its process id
            if (size_t at = line.find("hs_err_pid") + 1)
                line.replace(at + 9, line.find(".log", at) - at - 9, "N");
        error_output = read_file(error_path);
        return *this;
    }

    bool logged(const std::string &line) const
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // The lines starting with prefix, in order.
    std::vector<std::string> lines_with(const std::string &prefix) const
    {
        std::vector<std::string> found;
        for (const std::string &line : lines)
            if (line.compare(0, prefix.size(), prefix) == 0)
                found.push_back(line);
        return found;
    }

    // What this launcher's crash report option says, for main_class.
    std::string error_file(const std::string &main_class) const
    {
        return "option -XX:ErrorFile=" + dir + "\\Trevalo\\" + main_class +
               "\\crashes\\hs_err_pidN.log";
    }

    std::string boxes() const
    {
        std::string all;
        for (const message_box &box : result.boxes)
            all += "[" + box.text + "]";
        return all;
    }
};

// The system's text for code, up to its first line break.
std::string system_line(DWORD code)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    text[strcspn(text, "\r\n")] = '\0';
    return text;
}

const std::string THROWS_TEXT = "Error invoking method: main(java/lang/String[])\n\n"
                                "java.lang.IllegalStateException: boom\nCaused by: "
                                "java.lang.NumberFormatException: For input string: \"x\"";

TEST(JvmRun, PassesTheHooksFirstThenTheOptions)
{
    launch a("main_class = trevalo.test.Args\njvm_options = -Xmx256m\nclass_path = a.jar\n");
    a.run();
    EXPECT_EQ(a.result.exit_code, 0u) << a.boxes();
    std::vector<std::string> expected = {"hook vfprintf", "hook abort", "hook exit",
                                         "option -Dsun.java.command=trevalo.test.Args",
                                         "option -Xmx256m",
                                         "option -Djava.class.path=" + a.dir + "\\a.jar",
                                         a.error_file("trevalo.test.Args")};
    // Hooks and options as the runtime received them, in one sequence: their order counts.
    std::vector<std::string> options;
    for (const std::string &line : a.lines)
        if (line.compare(0, 5, "hook ") == 0 || line.compare(0, 7, "option ") == 0)
            options.push_back(line);
    EXPECT_EQ(options, expected);
    EXPECT_TRUE(a.logged("create version=0x00010002 options=7 ignore_unrecognized=0"));

    // The main class and main's arguments name the application to monitoring tools.
    launch bare("main_class = trevalo.test.Args\n");
    bare.run("one \"two words\"");
    EXPECT_TRUE(bare.logged("create version=0x00010002 options=5 ignore_unrecognized=0"));
    EXPECT_EQ(bare.lines_with("option "),
              (std::vector<std::string>{"option -Dsun.java.command=trevalo.test.Args one two words",
                                        bare.error_file("trevalo.test.Args")}));

    // Two blanks in a row and a trailing one leave empty pieces, which are no options: the
    // runtime receives none of them.
    launch spaced("main_class = trevalo.test.Args\nclass_path = a.jar\n");
    ASSERT_TRUE(replace_setting(spaced.app, SETTING_jvm_options, " -Xmx256m  -Xmx128m "));
    spaced.run();
    EXPECT_EQ(spaced.lines_with("option "),
              (std::vector<std::string>{"option -Dsun.java.command=trevalo.test.Args",
                                        "option -Xmx256m", "option -Xmx128m",
                                        "option -Djava.class.path=" + spaced.dir + "\\a.jar",
                                        spaced.error_file("trevalo.test.Args")}));
    EXPECT_EQ(spaced.result.exit_code, 0u);

    // A variable's value with a blank stays in its option; a class path entry the code page
    // cannot write, and which is not there, is passed over: the others arrive at the creation,
    // not in a property set once the class loader has read the class path.
    ASSERT_TRUE(SetEnvironmentVariableA("TREVALO_SPACED", "C:\\Program Files\\x"));
    launch varied("main_class = trevalo.test.Args\njvm_options = -Dp=%TREVALO_SPACED% -Xmx64m\n"
                  "class_path = a.jar;extras\\\u0416\u0443\u043a.jar\n");
    varied.run();
    SetEnvironmentVariableA("TREVALO_SPACED", nullptr);
    EXPECT_EQ(varied.result.exit_code, 0u) << varied.boxes();
    EXPECT_TRUE(varied.logged("option -Dp=C:\\Program Files\\x"));
    EXPECT_TRUE(varied.logged("option -Xmx64m"));
    std::vector<std::string> class_path = varied.lines_with("class_path ");
    ASSERT_EQ(class_path.size(), 1u);
    EXPECT_EQ(class_path[0].substr(class_path[0].size() - 5), "a.jar") << class_path[0];
    EXPECT_EQ(class_path[0].find(";"), std::string::npos) << class_path[0];
    EXPECT_TRUE(varied.lines_with("set_property java.class.path").empty());
}

TEST(JvmRun, ReportsEachWayTheRuntimeCanFail)
{
    std::string dir = make_temp_dir("bad-runtime");
    // The header of a library of the launcher's architecture, and nothing more: the search
    // takes it, loading fails.
    write_file(dir + "\\jvm.dll", pe_header(target_arch()));
    write_file(dir + "\\text.dll", "not a library");
    const struct {
        std::string config;
        std::string library;
        std::string message;
    } cases[] = {
        {"", dir + "\\missing.dll",
         "Unable to locate suitable Java Runtime Environment on this machine."},
        {"", dir + "\\text.dll",
         "Unable to locate suitable Java Runtime Environment on this machine."},
        {"", dir + "\\jvm.dll",
         "Unable to load JVM: " + dir + "\\jvm.dll\n\nReason: " + system_line(ERROR_BAD_EXE_FORMAT) + "\r\n"},
        {"", runtime("test-runtime-nodefault"),
         "Unable to locate JNI interfaces in " + runtime("test-runtime-nodefault")},
        {"jvm_options = -Xfoo\n", runtime(),
         "Unable to create JVM instance using " + runtime() +
             "\n\nUnrecognized option: -Xfoo\n"},
        // Accepted, then the creation aborts: a runtime that could not start all the same.
        {"jvm_options = -Xmx1\n", runtime(),
         "Unable to create JVM instance using " + runtime() +
             "\n\nError occurred during initialization of VM\nToo small maximum heap\n"},
        // The runtime cannot load its own native library and ends the process from inside
        // the creation, calling no hook: its last words are shown all the same.
        {"jvm_options = -Dtrevalo.test.load=missing.dll\n", runtime(),
         "Unable to create JVM instance using " + runtime() +
             "\n\nError occurred during initialization of VM\nUnable to load native library: " +
             system_line(ERROR_MOD_NOT_FOUND) + "\n"},
    };
    for (const auto &c : cases) {
        launch a("main_class = trevalo.test.Args\n" + c.config, c.library);
        a.run();
        EXPECT_EQ(a.result.exit_code, FAILED) << c.message;
        ASSERT_EQ(a.result.boxes.size(), 1u) << c.message << a.boxes();
        EXPECT_EQ(a.result.boxes[0].text, c.message);
        EXPECT_EQ(a.result.boxes[0].caption, "Error");
        EXPECT_TRUE(a.lines_with("main ").empty()) << "main never ran";
    }
}

TEST(JvmRun, LoadsARuntimeThatNeedsItsOwnBinFolder)
{
    // The runtime's jvm.dll imports a DLL that lies in the runtime's bin folder. A copy of
    // the same name beside the launcher (which refuses to load) is never taken instead.
    for (bool planted : {false, true}) {
        launch a("main_class = trevalo.test.Args\n", runtime("test-runtime-dep"));
        if (planted)
            ASSERT_TRUE(CopyFileA((build_dir() + "\\planted\\trevalo_rtdep.dll").c_str(),
                                  (a.dir + "\\trevalo_rtdep.dll").c_str(), FALSE));
        a.run();
        EXPECT_EQ(a.result.exit_code, 0u) << a.boxes();
        EXPECT_TRUE(a.result.boxes.empty()) << a.boxes();
        EXPECT_FALSE(a.lines_with("main trevalo/test/Args").empty()) << planted;
    }
    // A relative runtime_paths entry: from the launcher's folder, loaded by its full path.
    // Every character of the command line reaches main as it is, whatever the code page
    // (Wine's here is Western): outside it, outside the Basic Multilingual Plane, and an
    // unpaired surrogate, which a Windows name may hold.
    launch relative("main_class = trevalo.test.Args\n", "jre\\jvm.dll");
    CreateDirectoryA((relative.dir + "\\jre").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(runtime().c_str(), (relative.dir + "\\jre\\jvm.dll").c_str(), FALSE));
    relative.run("5\u20ac \u0416\u0443\u043a \U0001F600 \xed\xa0\x80x \"a b\"", make_temp_dir("elsewhere"));
    EXPECT_EQ(relative.lines_with("arg["),
              (std::vector<std::string>{"arg[0]=5\u20ac", "arg[1]=\u0416\u0443\u043a",
                                        "arg[2]=\U0001F600", "arg[3]=\\uD800x", "arg[4]=a b"}))
        << relative.boxes();
}

TEST(JvmRun, RunsFromAFolderOutsideTheCodePage)
{
    // The launcher, its INI file, its temporary folder and the user's local folder in a folder
    // whose name the Western code page cannot write; the runtime reads its options in that code
    // page, and the crash report's option, which it could not read, is left out.
    launch a("main_class = trevalo.test.Args\n");
    write_file(a.dir + "\\lib.jar", "PK");
    make_launcher(a.dir, "search_order = 0\nruntime_paths = " + runtime() +
                             "\nmain_class = trevalo.test.Args\nini_file = app.ini\n"
                             "embed = lib.jar\n");
    std::string folder = a.dir + "\\\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435 "
                                 "\u65e5\u672c";
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wide(folder + "\\tmp").c_str(), nullptr));
    std::string app = folder + "\\app.exe";
    ASSERT_TRUE(MoveFileW(wide(a.app).c_str(), wide(app).c_str()));
    write_file(folder + "\\app.ini",
               "[Application Configuration]\nJvmOptions=-Dfrom.ini=\u0416\u0443\u043a\n"
               "AppOptions=\u65e5\u672c\u8a9e\n");
    std::string env = environment_with({"TREVALO_TEST_LOG=" + a.log, "TMP=" + folder + "\\tmp",
                                        "TEMP=" + folder + "\\tmp", "LOCALAPPDATA=" + folder});
    // As the user's unelevated programs run: an elevated one unpacks elsewhere.
    run_result r = run_answering(quote(app), folder, HANG_MS, "", env.data(), true);
    a.lines = read_lines(a.log);
    std::string boxes;
    for (const message_box &box : r.boxes)
        boxes += "[" + box.text + "]";
    EXPECT_EQ(r.exit_code, 0u) << boxes;
    EXPECT_TRUE(r.boxes.empty()) << boxes;
    EXPECT_TRUE(a.logged("property user.dir=" + folder));
    EXPECT_EQ(a.lines_with("arg["), std::vector<std::string>{"arg[0]=\u65e5\u672c\u8a9e"});
    // A property the code page cannot write is set once the machine runs, never mangled.
    EXPECT_TRUE(a.lines_with("option -Dfrom.ini").empty());
    EXPECT_TRUE(a.lines_with("option -XX:ErrorFile").empty());
    EXPECT_TRUE(a.logged("set_property from.ini=\u0416\u0443\u043a"));
    ASSERT_EQ(a.lines_with("class_path ").size(), 1u);
    std::string class_path = a.lines_with("class_path ")[0].substr(11);
    // The unpacked file, under the temporary folder, by its short name.
    wchar_t long_path[1024];
    ASSERT_NE(GetLongPathNameW(wide(class_path).c_str(), long_path, 1024), 0u) << class_path;
    EXPECT_EQ(utf8(long_path).substr(0, folder.size() + 5), folder + "\\tmp\\");
    EXPECT_EQ(utf8(long_path).substr(utf8(long_path).size() - 8), "\\lib.jar");
}

TEST(JvmRun, UserDirFollowsTheWorkingDirectorySettings)
{
    std::string start = make_temp_dir("start");
    // Which directory the settings choose is a host row of the launch plan; these are what
    // Windows makes of each kind, a relative one entered early or late included.
    const struct {
        const char *config;
        const char *expected;  // "launcher", "work" (launcher\work) or "start"
    } cases[] = {
        {"", "launcher"},
        {"working_dir = work\n", "work"},
        {"working_dir = work\nearly_working_dir = 1\n", "work"},
        {"return_to_startup_dir = 1\n", "start"},
    };
    for (const auto &c : cases) {
        launch a(std::string("main_class = trevalo.test.Args\n") + c.config);
        CreateDirectoryA((a.dir + "\\work").c_str(), nullptr);
        a.run("", start);
        std::string expected = std::string(c.expected) == "start" ? start
                             : std::string(c.expected) == "work" ? a.dir + "\\work"
                                                                  : a.dir;
        EXPECT_TRUE(a.logged("property user.dir=" + expected))
            << c.config << "\n" << (a.lines_with("property user.dir").empty()
                                        ? "no user.dir"
                                        : a.lines_with("property user.dir")[0]);
    }
}

TEST(JvmRun, ExitStatusesOfTheApplication)
{
    launch exits("main_class = trevalo.test.Exit\n");
    exits.run("5");
    EXPECT_EQ(exits.result.exit_code, 5u);
    EXPECT_TRUE(exits.result.boxes.empty()) << exits.boxes();

    // What the virtual machine prints goes to standard error as it comes; a clean exit
    // shows none of it.
    launch verbose("main_class = trevalo.test.Exit\njvm_options = -verbose:gc\n");
    verbose.run("0");
    EXPECT_EQ(verbose.result.exit_code, 0u);
    EXPECT_TRUE(verbose.result.boxes.empty()) << verbose.boxes();
    EXPECT_EQ(verbose.error_output, "[0.004s][info][gc] Using Serial\n");

    // main throws; a non-daemon thread then calls System.exit(5): the failure is reported,
    // and what the virtual machine printed is shown before the process ends with 5.
    launch thread_exit("main_class = trevalo.test.ThreadExit\n");
    thread_exit.run();
    EXPECT_EQ(thread_exit.result.exit_code, 5u);
    ASSERT_EQ(thread_exit.result.boxes.size(), 2u) << thread_exit.boxes();
    EXPECT_EQ(thread_exit.result.boxes[0].text,
              "Error invoking method: main(java/lang/String[])\n\n"
              "java.lang.IllegalStateException: boom");
    EXPECT_EQ(thread_exit.result.boxes[1].text.find("Exception in thread \"main\""), 0u)
        << thread_exit.result.boxes[1].text;

    launch throws("main_class = trevalo.test.Throws\n");
    throws.run();
    EXPECT_EQ(throws.result.exit_code, FAILED);
    ASSERT_FALSE(throws.result.boxes.empty());
    // The exception and its cause follow the message.
    EXPECT_EQ(throws.result.boxes[0].text, THROWS_TEXT);

    // A missing class names the class path that was searched, and its entries not there.
    launch missing("main_class = trevalo.test.Missing\nclass_path = lib\\a.jar\n");
    missing.run();
    EXPECT_EQ(missing.result.exit_code, FAILED);
    ASSERT_EQ(missing.result.boxes.size(), 1u) << missing.boxes();
    EXPECT_EQ(missing.result.boxes[0].text,
              "Error locating class: trevalo.test.Missing\n\njava.lang.NoClassDefFoundError: "
              "trevalo/test/Missing\nCaused by: java.lang.ClassNotFoundException: "
              "trevalo.test.Missing\nClass path searched: " + missing.dir + "\\lib\\a.jar\n"
              "Missing: " + missing.dir + "\\lib\\a.jar");

    // An abort: what the virtual machine printed is shown, then the process ends through
    // abort() (status 3 with this C runtime).
    launch aborts("main_class = trevalo.test.Abort\n");
    aborts.run();
    EXPECT_EQ(aborts.result.exit_code, 3u);
    ASSERT_EQ(aborts.result.boxes.size(), 1u) << aborts.boxes();
    EXPECT_TRUE(aborts.logged("abort_hook"));
    // The next start tells an abort, which writes no crash report, from a crash.
    aborts.run();
    ASSERT_EQ(aborts.result.boxes.size(), 2u) << aborts.boxes();
    EXPECT_EQ(aborts.result.boxes[0].text, MSG_LAST_RUN_ABORTED);

    launch no_main("main_class = trevalo.test.NoMain\n");
    no_main.run();
    ASSERT_EQ(no_main.result.boxes.size(), 1u) << no_main.boxes();
    EXPECT_EQ(no_main.result.boxes[0].text,
              "Error locating method: main(java/lang/String[])\n\njava.lang.NoSuchMethodError: "
              "static Ltrevalo/test/NoMain;.main([Ljava/lang/String;)V");
}

// The behaviour that is the virtual machine's, with the real Java 8 runtime.
TEST(JvmRun, TheRealRuntimeSaysWhatHappened)
{
    std::string library = java8_library(), jar = java8_fixtures();
    if (library.empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    std::string env = java8_environment();
    auto run = [&](const std::string &config, const std::string &args,
                   const std::string &runtime_library, const std::string &stub) {
        launch a("class_path = " + jar + "\n" + config, runtime_library);
        if (!stub.empty())
            a.app = make_launcher(a.dir, "search_order = 0\nruntime_paths = " + runtime_library +
                                             "\nclass_path = " + jar + "\n" + config,
                                  "app.exe", stub);
        a.result = run_answering(quote(a.app) + " " + args, a.dir, 60000, a.dir + "\\err.txt",
                                 env.data());
        a.error_output = read_file(a.dir + "\\err.txt");
        return a;
    };
    // An exception from main, with its cause.
    launch throws = run("main_class = trevalo.fixture.Throws\n", "", library, "");
    EXPECT_EQ(throws.result.exit_code, FAILED);
    ASSERT_EQ(throws.result.boxes.size(), 1u) << throws.boxes();
    EXPECT_EQ(throws.result.boxes[0].text,
              "Error invoking method: main(java/lang/String[])\n\njava.lang.IllegalStateException: "
              "boom from main\nCaused by: java.lang.NumberFormatException: For input string: "
              "\"x\"");
    // A missing class names the class path searched.
    launch missing = run("main_class = trevalo.fixture.Mian\n", "", library, "");
    ASSERT_EQ(missing.result.boxes.size(), 1u) << missing.boxes();
    EXPECT_EQ(missing.result.boxes[0].text,
              "Error locating class: trevalo.fixture.Mian\n\njava.lang.NoClassDefFoundError: "
              "trevalo/fixture/Mian\nCaused by: java.lang.ClassNotFoundException: "
              "trevalo.fixture.Mian\nClass path searched: " + jar);
    // A class whose static initialiser fails is said to be found, with what failed.
    launch bad_init = run("main_class = trevalo.fixture.BadInit\n", "", library, "");
    EXPECT_EQ(bad_init.result.boxes.at(0).text,
              "The class trevalo.fixture.BadInit was found, but its static initialiser failed."
              "\n\njava.lang.ExceptionInInitializerError\nCaused by: "
              "java.lang.NumberFormatException: For input string: \"not a number\"");
    // The console launcher: the stack trace on standard error, then the message.
    launch console = run("main_class = trevalo.fixture.Throws\n", "", library,
                         stub_path(target_arch(), true));
    EXPECT_EQ(console.result.exit_code, 1u);
    EXPECT_TRUE(console.result.boxes.empty()) << console.boxes();
    EXPECT_NE(console.error_output.find(
                  "Exception in thread \"main\" java.lang.IllegalStateException: boom from main\r\n"
                  "\tat trevalo.fixture.Throws.main(Throws.java:"),
              std::string::npos) << console.error_output;
    EXPECT_NE(console.error_output.find(
                  "Error invoking method: main(java/lang/String[]) "
                  "java.lang.IllegalStateException: boom from main Caused by: "
                  "java.lang.NumberFormatException: For input string: \"x\"\r\n"),
              std::string::npos) << console.error_output;
    // Monitoring tools see the main class and its arguments.
    launch args = run("main_class = trevalo.fixture.Args\n", "one \"two words\"", library, "");
    EXPECT_EQ(args.result.exit_code, 0u) << args.boxes();
    EXPECT_NE(args.error_output.find("sun.java.command=trevalo.fixture.Args one two words\r\n"),
              std::string::npos) << args.error_output;
    // Paths people write: "lib\*" and the launcher's folder, from another folder with
    // return_to_startup_dir, where relative paths would miss the classes. A launcher folder past
    // 300 characters (levels deep), started by its Unix path as Wine starts one there, runs,
    // and rotates its output file; past the 1023 bytes Java 8 opens, an archive is refused.
    std::string start = make_temp_dir("start"), too_long = MSG_CLASS_PATH_TOO_LONG;
    const std::string rotated = "stdout_file = %s\\out.log\noutput_max_kb = 1\noutput_keep = 2\n";
    const struct {
        std::string config, printed;  // printed: "" when only the run's success is asked
        const char *folder;
        int levels;
    } paths[] = {
        {"class_path = lib\\*\n", "java.class.path=%s\\lib\\fixtures.jar\r\n", "paths"},
        {"jvm_options = -Xbootclasspath/a:%LAUNCHER_DIR%\\lib\\fixtures.jar\n",
         "user.dir=" + start + "\r\n", "paths"},
        {"class_path = %LAUNCHER_DIR%\\lib\\*\n", "java.class.path=%s\\lib\\fixtures.jar\r\n",
         "paths"},
        // A launcher folder holding ';': the entries reach the runtime by their short form.
        {"class_path = lib\\*\n", "", "paths;x"},
        {"class_path = lib\\*\n" + rotated, "user.dir=" + start + "\r\n", "deep", 8},
        {"embed = lib\\fixtures.jar\n" + rotated, "user.dir=" + start + "\r\n", "deep", 8},
        {"class_path = lib\\*\n", too_long.replace(too_long.find('\n'), 3, " %s\\lib\\fixtures.jar"),
         "deeper", 30},
    };
    for (const auto &p : paths) {
        std::string dir = make_temp_dir(p.folder), out;
        for (int level = 0; level < p.levels; level++)
            ASSERT_TRUE(CreateDirectoryW(
                wide("\\\\?\\" + (dir += "\\a-folder-whose-name-is-36-characters")).c_str(), nullptr));
        CreateDirectoryW(wide("\\\\?\\" + dir + "\\lib").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(wide(jar).c_str(), wide("\\\\?\\" + dir + "\\lib\\fixtures.jar").c_str(),
                              FALSE));
        std::string config = p.config, printed = p.printed, old(2048, 'x');
        for (std::string *text : {&config, &printed})
            while (text->find("%s") != std::string::npos)
                text->replace(text->find("%s"), 2, dir);
        bool rotates = config.find("out.log") != std::string::npos;
        if (rotates)
            write_file(dir + "\\out.log", old);
        std::string app = make_launcher(dir, "search_order = 0\nruntime_paths = " + library +
                                                 "\nmain_class = trevalo.fixture.Args\n"
                                                 "return_to_startup_dir = 1\n" + config,
                                        "app.exe", stub_path(target_arch(), p.levels > 0));
        DWORD status = p.levels == 0
            ? run_answering(quote(app), start, 60000, dir + "\\out.txt", env.data()).exit_code
            : run_unix_shell("cd " + shell_word(unix_path(start)) + " && WINEDLLOVERRIDES="
                             "'mscoree,mshtml=;msvcr100=n' wine " + shell_word(unix_path(app)), &out);
        out += read_file(dir + (rotates ? "\\out.log" : "\\out.txt"));
        EXPECT_EQ(status, printed.find("1023") == std::string::npos ? 0u : 1u) << p.config << out;
        EXPECT_NE(out.find(printed), std::string::npos) << printed << " in " << out;
        EXPECT_EQ(read_file(dir + "\\out.log.1"), rotates ? old : "");
    }
    // A runtime that cannot load its own native library (its java.dll is missing) ends the
    // process while it is created: its last words are shown as a failed creation's.
    std::string broken = make_temp_dir("jre-without-java-dll");
    std::string home = library.substr(0, library.size() - strlen("\\bin\\client\\jvm.dll"));
    ASSERT_TRUE(CreateDirectoryA((broken + "\\bin").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((broken + "\\bin\\client").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(library.c_str(), (broken + "\\bin\\client\\jvm.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((home + "\\bin\\msvcr100.dll").c_str(),
                          (broken + "\\bin\\msvcr100.dll").c_str(), FALSE));
    launch dies = run("main_class = trevalo.fixture.Args\n", "",
                      broken + "\\bin\\client\\jvm.dll", "");
    EXPECT_EQ(dies.result.exit_code, FAILED);
    ASSERT_EQ(dies.result.boxes.size(), 1u) << dies.boxes();
    EXPECT_EQ(dies.result.boxes[0].text,
              "Unable to create JVM instance using " + broken + "\\bin\\client\\jvm.dll\n\n"
              "Error occurred during initialization of VM\nUnable to load native library: Can't "
              "find dependent libraries\n");
}

// Under Wine every program runs elevated and every folder is its user's: a plain run, as a
// user starts it, takes the runtime installed in C:\Program Files\Java through its registry
// key, and its trace says that a run there is not guarded.
TEST(JvmRun, APlainWineRunTakesTheInstalledRuntime)
{
    std::string library = java8_library(), jar = java8_fixtures();
    if (library.empty() || jar.empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    std::string dir = make_temp_dir("installed"), copied;
    std::string jre = library.substr(0, library.size() - strlen("\\bin\\client\\jvm.dll"));
    std::string home = "C:\\Program Files\\Java\\jre1.8.0";
    if (!file_exists(home + "\\bin\\client\\jvm.dll"))
        ASSERT_EQ(run_capture("xcopy /e /i /q " + quote(jre) + " " + quote(home), dir, &copied),
                  0u) << copied;
    const std::string key = "Software\\JavaSoft\\Java Runtime Environment";
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + "\\1.8").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | registry_view(), nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    std::string library_path = home + "\\bin\\client\\jvm.dll";
    RegSetValueExA(handle, "JavaHome", 0, REG_SZ, (const BYTE *)home.c_str(),
                   (DWORD)home.size() + 1);
    RegSetValueExA(handle, "RuntimeLib", 0, REG_SZ, (const BYTE *)library_path.c_str(),
                   (DWORD)library_path.size() + 1);
    RegCloseKey(handle);
    std::string app = make_launcher(dir, "main_class = trevalo.fixture.Args\nclass_path = " +
                                             jar + "\n");
    std::string env = java8_environment({"TREVALO_TRACE=" + dir + "\\trace.txt"});
    run_result r = run_answering(quote(app), dir, HANG_MS, dir + "\\out.txt", env.data(), false);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (key + "\\1.8").c_str(), registry_view(), 0);
    EXPECT_EQ(r.exit_code, 0u) << (r.boxes.empty() ? "" : r.boxes[0].text);
    EXPECT_NE(read_file(dir + "\\out.txt").find("java.class.path=" + jar), std::string::npos);
    std::string trace = read_file(dir + "\\trace.txt");
    EXPECT_NE(trace.find("under Wine, which keeps no separate accounts: not guarded"),
              std::string::npos) << trace;
    EXPECT_NE(trace.find("runtime chosen: " + library_path), std::string::npos) << trace;
}

// A console launcher in scripts, side by side with the runtime's own java.exe on the same
// arguments and files: the folder main runs in, the command line's split, the wildcards' files,
// a jar run by its manifest, and the statuses a batch file sees.
TEST(JvmRun, AConsoleLauncherRunsAsTheJavaCommandInScripts)
{
    std::string library = java8_library(), jar = java8_fixtures();
    if (library.empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    std::string java = quote(library.substr(0, library.size() - strlen("client\\jvm.dll")) +
                             "java.exe");
    std::string dir = make_temp_dir("as-java"), work = dir + "\\work";
    auto launcher = [&](const std::string &name, const std::string &config) {
        return quote(make_launcher(dir, "search_order = 0\nruntime_paths = " + library + "\n" +
                                            config, name, stub_path(target_arch(), true)));
    };
    std::string app = launcher("app.exe", "main_jar = " + jar + "\n");
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((work + "\\sub").c_str(), nullptr));
    for (const char *name : {"q1.sql", "q2.sql", "Q10.SQL", "notes.txt", "sub\\a.sql"})
        write_file(work + "\\" + name, "x");
    std::string env = java8_environment();
    // What main was given, and where it ran.
    auto seen = [&](const std::string &command) {
        std::string output, kept;
        run_capture(command, work, &output, env.data());
        for (const std::string &line : split_lines(output))
            if (line.compare(0, 4, "arg[") == 0 || line.compare(0, 9, "user.dir=") == 0)
                kept += line + "\n";
        return kept;
    };
    const std::vector<std::string> lines = {
        "\"a \"\"b\"\" c\" d", "a\\\\\\\"b c \\\\\"x y\\\\\"", "a\"b\"\" c d",
        "\"\" x \"\"\"\" \"\"\"\"\" y", "*.sql", "q?.sql \"*.sql\" q\"*\"", "sub\\*.sql",
        "*.none s*\\a.sql", "..\\work\\sub\\*", "\"" + work + "\"\\S*", work.substr(0, 3) + "*"};
    for (const std::string &line : lines) {
        std::string by_java = seen(java + " -jar " + quote(jar) + " " + line);
        EXPECT_NE(by_java.find("user.dir=" + work + "\n"), std::string::npos) << by_java;
        EXPECT_EQ(seen(app + " " + line), by_java) << line;
    }

    // The statuses, as a batch file run by cmd sees them.
    write_file(dir + "\\bare.jar", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    const struct {
        const char *name;
        std::string by_java, by_launcher, status;
    } runs[] = {
        {"returns", java + " -jar " + quote(jar) + " x", app + " x", "ok"},
        {"exit", java + " -cp " + quote(jar) + " trevalo.fixture.Exit 3",
         launcher("exit.exe", "main_class = trevalo.fixture.Exit\nclass_path = " + jar + "\n") +
             " 3", "3"},
        {"throws", java + " -cp " + quote(jar) + " trevalo.fixture.Throws",
         launcher("throws.exe", "main_class = trevalo.fixture.Throws\nclass_path = " + jar + "\n"),
         "1"},
        {"missing", java + " -cp " + quote(jar) + " trevalo.fixture.Mian",
         launcher("missing.exe", "main_class = trevalo.fixture.Mian\nclass_path = " + jar + "\n"),
         "1"},
        {"no-manifest", java + " -jar ..\\bare.jar", launcher("bare.exe", "main_jar = bare.jar\n"),
         "1"},
        {"no-runtime", java + " -Xfoo -version",
         quote(make_launcher(dir, "main_class = M\nsearch_order = 0\nruntime_paths = none.dll\n",
                             "none.exe", stub_path(target_arch(), true))), "1"},
    };
    std::string by_java = "@echo off\r\n", by_launcher = by_java, expected;
    for (const auto &r : runs) {
        const std::string test = std::string(" >nul 2>&1\r\nif errorlevel 1 (echo ") + r.name +
                                 " %errorlevel%) else (echo " + r.name + " ok)\r\n";
        by_java += r.by_java + test;
        by_launcher += r.by_launcher + test;
        expected += std::string(r.name) + " " + r.status + "\r\n";
    }
    write_file(dir + "\\java.cmd", by_java);
    write_file(dir + "\\launcher.cmd", by_launcher);
    for (const char *script : {"java.cmd", "launcher.cmd"}) {
        std::string output;
        run_capture(std::string("cmd /c ..\\") + script, work, &output, env.data());
        EXPECT_EQ(output, expected) << script;
    }
}

// TREVALO_TRACE: one line per step, each with the milliseconds since the start.
TEST(JvmRun, TraceSaysWhatTheLauncherDid)
{
    const struct {
        std::string config, args, trace;  // trace: "file", "-", "folder" (cannot be written), ""
        bool console;
        DWORD status;
        std::vector<std::string> steps;  // each the start of a line's text, in this order
    } cases[] = {
        // The taskbar identity is set before any window (Wine 8 keeps none to read back).
        {"main_class = trevalo.test.Args\nclass_path = lib\\*\napp_user_model_id = Ex.App.1\n",
         "one", "file", false, 0,
         {"started with arguments: one", "settings from the launcher's resources; no INI file",
          "app user model id Ex.App.1 set", "search method 0",
          "runtime library " + runtime() + ": machine type 0x",
          "runtime chosen: " + runtime(), "option -Dsun.java.command=trevalo.test.Args one",
          "option -Djava.class.path=<dir>\\lib\\x.jar", "virtual machine creation: 0",
          "calling main with 1",
          "main returned", "exit status 0"}},
        {"main_class = trevalo.test.Throws\n", "", "-", true, 1,
         {"started with arguments: ", "virtual machine creation: 0",
          "main ended with an exception",
          "reported: Error invoking method: main(java/lang/String[])", "exit status 1"}},
        {"main_class = trevalo.test.Exit\n", "7 \"x\r\n99 y\x01\"", "file", false, 7,
         {"started with arguments: 7 \"x\\r\\n99 y\\x01\"", "calling main with 2",
          "the virtual machine ends the process: System.exit(7)"}},
        // A trace that cannot be written never stops the application.
        {"main_class = trevalo.test.Exit\n", "0", "folder", false, 0, {}},
        {"main_class = trevalo.test.Exit\n", "0", "", true, 0, {}},
    };
    for (const auto &c : cases) {
        launch a(c.config);
        CreateDirectoryA((a.dir + "\\lib").c_str(), nullptr);
        write_file(a.dir + "\\lib\\x.jar", "PK");
        if (c.console)
            a.app = make_launcher(a.dir, "search_order = 0\nruntime_paths = " + runtime() + "\n" +
                                             c.config, "app.exe", stub_path(target_arch(), true));
        std::string target = c.trace == "file"     ? a.dir + "\\trace.txt"
                             : c.trace == "folder" ? a.dir
                                                   : c.trace;
        std::string env = environment_with({"TREVALO_TEST_LOG=" + a.log, "TREVALO_TRACE=" + target});
        run_result r = run_answering(quote(a.app) + " " + c.args, a.dir, HANG_MS,
                                     a.dir + "\\stderr.txt", env.data());
        EXPECT_EQ(r.exit_code, c.status) << c.config;
        std::string text = c.trace == "file" ? read_file(a.dir + "\\trace.txt")
                                             : read_file(a.dir + "\\stderr.txt");
        if (c.steps.empty()) {
            EXPECT_EQ(text.find("exit status"), std::string::npos) << text;
            continue;
        }
        // Each step after the one before it, every line "<milliseconds> <text>".
        size_t at = 0;
        for (std::string step : c.steps) {
            if (step.find("<dir>") != std::string::npos)
                step.replace(step.find("<dir>"), 5, a.dir);
            size_t found = text.find(" " + step, at);
            EXPECT_NE(found, std::string::npos) << step << " after " << at << " in\n" << text;
            at = found == std::string::npos ? at : found;
        }
        for (const std::string &line : split_lines(text))
            if (c.trace == "file" && line.find("reported: ") == std::string::npos)
                EXPECT_TRUE(line.size() > 7 && line[6] == ' ' &&
                            line.find_first_not_of(" 0123456789") == 7)
                    << line;
    }
}

TEST(JvmRun, NonDaemonThreadKeepsTheProcessAlive)
{
    launch a("main_class = trevalo.test.NonDaemon\n");
    DWORD start = GetTickCount();
    a.run();
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(a.result.exit_code, 0u) << a.boxes();
    EXPECT_GE(took, 500u);
    auto ended = std::find_if(a.lines.begin(), a.lines.end(), [](const std::string &l) {
        return l.compare(0, 12, "thread ended") == 0;
    });
    auto destroyed = std::find(a.lines.begin(), a.lines.end(), "destroyed");
    ASSERT_NE(ended, a.lines.end());
    ASSERT_NE(destroyed, a.lines.end());
    EXPECT_LT(ended, destroyed);
}

TEST(JvmRun, OutputFilesAreFreshAtEveryStart)
{
    launch a("main_class = trevalo.test.Args\nstdout_file = out.txt\nstderr_file = err.txt\n");
    write_file(a.dir + "\\out.txt", "old text that must go\n");
    a.run();
    EXPECT_EQ(a.result.exit_code, 0u) << a.boxes();
    std::string out = read_file(a.dir + "\\out.txt"), err = read_file(a.dir + "\\err.txt");
    EXPECT_EQ(out.find("old text"), std::string::npos) << out;
    EXPECT_FALSE(out.empty());
    EXPECT_FALSE(err.empty());
    auto opens = a.lines_with("open ");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_NE(opens[0].find("out.txt"), std::string::npos) << "standard output comes first";

    // One file named two ways for both streams is opened once, for both.
    for (const std::string name : {".\\log.txt", "Missing\\..\\LOG.txt"}) {
        launch both("main_class = trevalo.test.Args\nstdout_file = log.txt\nstderr_file = " +
                    name + "\n");
        both.run();
        EXPECT_EQ(both.result.exit_code, 0u) << name << ": " << both.boxes();
        EXPECT_EQ(both.lines_with("open ").size(), 1u) << name;
        EXPECT_FALSE(read_file(both.dir + "\\log.txt").empty()) << name;
    }
}

} // namespace

namespace {

// How many files of the archive folder under local end with suffix.
int cached_count(const std::string &local, const std::string &suffix)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((local + "\\Trevalo\\class-sharing\\*" + suffix).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        count++;
    while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

} // namespace

// The stop call of a service (through the stopper probe: the launcher's run without the
// service manager) keeps its thread's name whatever the minimum Java version: the attach
// record carries a JNI version the runtime supports, on the test runtime and on the real
// Java 8 runtime.
TEST(JvmRun, StopCallKeepsItsThreadName)
{
    const char *jre = getenv("TREVALO_JRE8"), *program = getenv("TREVALO_JAVA8_FIXTURE");
    bool java8 = target_arch() == "x86" && jre && program &&
                 file_exists(std::string(jre) + "\\bin\\client\\jvm.dll");
    if (!java8)
        printf("skipped: the stop call on Java 8 needs the 32-bit launcher and the runtime in "
               "../shared/jre8-x86\n");
    const struct {
        bool java8;
        const char *version;
    } cases[] = {
        {false, "0x00010004"}, {false, "0x000B0000"}, {false, "0x00010005"},
        {true, "0x00010008"}, {true, "0x00010005"}, {true, "0x00010001"},
    };
    for (const auto &c : cases) {
        if (c.java8 && !java8)
            continue;
        std::string dir = make_temp_dir("stop-call"), log = dir + "\\runtime.log";
        std::string out = dir + "\\out.txt";
        std::string config =
            c.java8 ? "runtime_paths = " + std::string(jre) +
                          "\\bin\\client\\jvm.dll\nmain_class = trevalo.fixture.Stoppable\n"
                          "class_path = " + program + "\nstdout_file = " + out + "\n"
                    : "runtime_paths = " + runtime() + "\nmain_class = trevalo.test.Wait\n";
        std::string probe = make_launcher(dir, "search_order = 0\njava_version = " +
                                                   std::string(c.version) + "\n" + config,
                                          "probe.exe", build_dir() + "\\stopper_probe.exe");
        std::string env = environment_with(
            {"TREVALO_TEST_LOG=" + log, "TREVALO_READY_FILE=" + (c.java8 ? out : log),
             std::string("TREVALO_READY_TEXT=") + (c.java8 ? "running" : "waiting"),
             "WINEDLLOVERRIDES=mscoree,mshtml=;msvcr100=n"});
        std::string output;
        EXPECT_EQ(run_capture(quote(probe), dir, &output, env.data()), 0u) << output;
        EXPECT_NE(output.find("stop call=1"), std::string::npos) << c.version << output;
        if (c.java8)
            EXPECT_EQ(read_file(out), "running\r\nstop call on thread=Trevalo stopper thread\r\n"
                                      "main ends\r\nshutdown hook ran\r\n") << c.version;
        else
            EXPECT_NE(read_file(log).find("attach name=Trevalo stopper thread"),
                      std::string::npos) << c.version << read_file(log);
    }
}

TEST(JvmRun, ClassSharingWithTheRealJava8Runtime)
{
    const char *jre = getenv("TREVALO_JRE8"), *program = getenv("TREVALO_JAVA8_FIXTURE");
    if (target_arch() != "x86" || !jre || !program ||
        !file_exists(std::string(jre) + "\\bin\\client\\jvm.dll")) {
        printf("skipped: class sharing on Java 8 needs the 32-bit launcher and the runtime in "
               "../shared/jre8-x86\n");
        return;
    }
    // A program that loads 1,000 of the runtime's classes and ends with System.exit(3). (That
    // a replaced rt.jar or jar makes a new archive is decided on the host.)
    std::string dir = make_temp_dir("java8"), local = dir + "\\local";
    ASSERT_TRUE(CreateDirectoryA(local.c_str(), nullptr));
    std::string config = "main_class = trevalo.fixture.LoadsClasses\nsearch_order = 0\n"
                         "runtime_paths = " + std::string(jre) + "\\bin\\client\\jvm.dll\n"
                         "class_path = " + program + "\napp_args = 1000 3\n";
    std::string console = stub_path("x86", true);
    std::string off = make_launcher(dir, config + "class_sharing = off\n", "off.exe", console);
    std::string on = make_launcher(dir, config, "app.exe", console);
    std::string env = environment_with({"LOCALAPPDATA=" + local,
                                        "WINEDLLOVERRIDES=mscoree,mshtml=;msvcr100=n"});
    auto run = [&](const std::string &launcher, std::string *output) {
        return run_capture(quote(launcher), dir, output, env.data());
    };
    std::string expected, output;
    DWORD expected_status = run(off, &expected);
    EXPECT_EQ(expected_status, 3u) << expected;
    EXPECT_EQ(expected.find("loaded=1000 "), 0u) << expected;
    EXPECT_EQ(cached_count(local, ".jsa"), 0) << "off makes nothing";

    // The start that records the classes, and has the runtime dump them once it ends.
    EXPECT_EQ(run(on, &output), expected_status);
    EXPECT_EQ(output, expected);
    EXPECT_EQ(cached_count(local, ".jsa"), 1);
    EXPECT_EQ(cached_count(local, ".used"), 0);
    EXPECT_EQ(cached_count(local, ".classlist"), 0) << "the list is gone";
    // The next start maps the archive.
    EXPECT_EQ(run(on, &output), expected_status);
    EXPECT_EQ(output, expected);
    EXPECT_EQ(cached_count(local, ".used"), 1);
}

// Second starts hand over to the running instance (real Java 8): arguments exactly as given, in
// order; ten at once all arrive; a throwing method is reported and the application goes on; no
// malformed or oversized message reaches Java; the window comes to the front (front and method);
// an instance that does not answer is reported.
TEST(JvmRun, SecondStartsHandOverToTheRunningInstance)
{
    std::string library = java8_library(), jar = java8_fixtures();
    if (library.empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    std::string dir = make_temp_dir("handover"), elsewhere = make_temp_dir("second start");
    std::string trace = dir + "\\trace.txt", calls = dir + "\\method.txt", output;
    std::string env = java8_environment({"TREVALO_TRACE=" + trace});
    auto first_instance = [&](const std::string &name, const std::string &handover,
                              child_process *first) {
        std::string app = make_launcher(
            dir, "search_order = 0\nruntime_paths = " + library + "\nclass_path = " + jar +
                     "\nmain_class = trevalo.fixture.Handover\ncommand_line_rule = windows\n"
                     "instance_handover = " + handover + "\njvm_options = -Dtrevalo.handover=" +
                     dir + "\\" + name + ".txt -Dtrevalo.window=" + tools_dir() +
                     "\\app_window.dll\n", name + ".exe");
        EXPECT_TRUE(start_child(quote(app), dir, first, "", env.data()));
        EXPECT_TRUE(wait_until([&] { return read_file(dir + "\\" + name + ".txt") != ""; }));
        return app;
    };
    // The window minimised, the second start brings it back to the front.
    auto second_start = [&](const std::string &app, const child_process &first,
                            const std::string &args) {
        HWND window = FindWindowW(nullptr, wide("Handover " + std::to_string(first.pid)).c_str());
        ShowWindow(window, SW_MINIMIZE);
        EXPECT_EQ(run_capture(quote(app) + " " + args, elsewhere, &output, env.data()), 0u);
        EXPECT_TRUE(wait_until([&] {
            return window && GetForegroundWindow() == window && !IsIconic(window);
        })) << args;
    };

    child_process first, front;
    std::string app = first_instance("method", "trevalo.fixture.Handover.open", &first);
    second_start(app, first, "\"a b\" " + quote_argument("\"q\"") + " \xC3\xA9\xF0\x9F\x98\x80");
    // The report's box would take the foreground: no look at the window this time.
    EXPECT_EQ(run_capture(quote(app) + " throw", elsewhere, &output, env.data()), 0u);
    message_box box;
    ASSERT_TRUE(wait_message_box(first, HANG_MS, &box));
    EXPECT_EQ(box.text, "Error invoking method: trevalo.fixture.Handover.open(java/lang/String[],"
                        " java/lang/String)\n\njava.lang.IllegalStateException: boom from open");
    press_ok(box);

    // Bytes written to the channel by hand: not a message, and a message too long.
    std::string text = read_file(trace), rest = text.substr(text.find("\\\\.\\pipe\\"));
    std::wstring name = wide(rest.substr(0, rest.find_first_of("\r\n")));
    for (std::string bytes : {std::string("hello..."), std::string("TRH1\x71\x11\x01\0", 8)}) {
        HANDLE pipe;
        DWORD count, answer = 0;
        // Busy while it ends the client before: wait for it to listen, as clients do.
        while ((pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE &&
               WaitNamedPipeW(name.c_str(), HANG_MS))
            ;
        EXPECT_TRUE(WriteFile(pipe, bytes.data(), 8, &count, nullptr));
        EXPECT_TRUE(ReadFile(pipe, &answer, 1, &count, nullptr));
        EXPECT_EQ(answer, (DWORD)'R');
        CloseHandle(pipe);
    }

    std::vector<child_process> ten(10);
    std::vector<std::string> expected = {"started", "[a b][\"q\"][\xC3\xA9\xF0\x9F\x98\x80] in " +
                                                        elsewhere};
    for (size_t i = 0; i < ten.size(); i++) {
        ASSERT_TRUE(start_child(quote(app) + " n" + std::to_string(i), elsewhere, &ten[i], "",
                                env.data()));
        expected.push_back("[n" + std::to_string(i) + "] in " + elsewhere);
    }
    for (child_process &child : ten) {
        DWORD status = 1;
        EXPECT_TRUE(wait_exit(child, HANG_MS, &status) && status == 0);
        close_child(&child);
    }
    ASSERT_TRUE(wait_until([&] { return read_lines(calls).size() == 12; })) << read_file(calls);
    std::vector<std::string> lines = read_lines(calls);
    std::sort(lines.begin() + 2, lines.end());
    EXPECT_EQ(lines, expected);
    EXPECT_NE(read_file(trace).find("second start refused: not a message, or longer than 65536"),
              std::string::npos);

    // front: the window alone, nothing called. Then all its threads held: no answer.
    std::string front_app = first_instance("front", "front", &front);
    second_start(front_app, front, "x");
    EXPECT_EQ(read_file(dir + "\\front.txt"), "started\n");
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry))
        if (entry.th32OwnerProcessID == front.pid)
            SuspendThread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
    run_result silent = run_answering(quote(front_app) + " y", elsewhere, HANG_MS, "", env.data());
    EXPECT_EQ(silent.exit_code, FAILED);
    ASSERT_EQ(silent.boxes.size(), 1u);
    EXPECT_EQ(silent.boxes[0].text, "This program is already running, but the running instance "
                                    "did not take the arguments within 30 seconds.");
    for (child_process *child : {&first, &front}) {
        TerminateProcess(child->process, 0);
        close_child(child);
    }
}

// Runs command_line in directory, its output in output_path, started suspended with every
// free block of its address space taken but one of keep_mb MB (Wine's own reserved areas,
// which it hands out, taken too); its exit status.
DWORD run_squeezed(const std::string &command_line, const std::string &directory,
                   const std::string &environment, uintptr_t keep_mb,
                   const std::string &output_path)
{
    child_process child;
    HANDLE thread;
    DWORD status = 0xDEADBEEF;
    if (!start_child(command_line, directory, &child, output_path, environment.data(), true,
                     &thread))
        return status;
    MEMORY_BASIC_INFORMATION r;
    for (uintptr_t at = 0x10000, end; VirtualQueryEx(child.process, (void *)at, &r, sizeof r) &&
                                      (end = (uintptr_t)r.BaseAddress + r.RegionSize) > at;
         at = end) {
        uintptr_t start = ((uintptr_t)r.BaseAddress + 0xFFFF) & ~(uintptr_t)0xFFFF;
        if (keep_mb && r.State == MEM_FREE && end > start + (keep_mb << 20))
            start += keep_mb << 20, keep_mb = 0;
        if (r.State != MEM_COMMIT && end > start)
            VirtualAllocEx(child.process, (void *)start, end - start, MEM_RESERVE, PAGE_NOACCESS);
    }
    ResumeThread(thread);
    CloseHandle(thread);
    wait_exit(child, HANG_MS, &status);
    close_child(&child);
    return status;
}

// With the real Java 8 runtime: the heap it reports (Runtime.maxMemory()) for a share of the
// machine, for the user's options file and in a squeezed address space; a crash's report and
// the next start's notice.
TEST(JvmRun, MachineSizedHeapUserOptionsAndCrashesWithJava8)
{
    std::string library = java8_library(), jar = java8_fixtures();
    if (library.empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    std::string dir = make_temp_dir("machine"), options = dir + "\\Example\\app.options";
    std::string out_path = dir + "\\out.txt", trace_path = dir + "\\trace.txt";
    CreateDirectoryA((dir + "\\Example").c_str(), nullptr);
    std::string env = java8_environment({"LOCALAPPDATA=" + dir, "APPDATA=" + dir,
                                         "TREVALO_TRACE=" + trace_path});
    auto launcher = [&](const std::string &config, bool console) {
        return make_launcher(dir, "search_order = 0\nruntime_paths = " + library +
                                      "\nclass_path = " + jar + "\nmain_class = trevalo.fixture."
                                      "Machine\nuser_options_file = Example\\app.options\n" +
                                      config, console ? "console.exe" : "app.exe",
                             console ? stub_path(target_arch(), true) : "");
    };
    auto heap_mb = [&]() {  // what the last run printed
        std::string out = read_file(out_path);
        return out.find("maxMemory=") == std::string::npos
                   ? 0 : atoll(out.c_str() + out.find("maxMemory=") + 10) >> 20;
    };
    MEMORYSTATUSEX memory = {sizeof memory};
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    long long memory_mb = (long long)(memory.ullTotalPhys >> 20);
    // A share small enough for any 32-bit address space.
    long long percent = std::max(1LL, 256 * 100 / memory_mb), share = memory_mb * percent / 100;
    std::string app = launcher("max_heap_percent = " + std::to_string(percent) + "\n", false);
    const struct {
        std::string options;  // the user's options file ("-": none)
        long long heap_mb;    // what -Xmx the virtual machine reports, less at most a tenth
        std::string box;
    } cases[] = {
        {"-", share, ""},
        {"\xEF\xBB\xBF# memory\r\n-Xmx64m\r\n", 64, ""},
        {"-Xmx64m\nXmx64m\n", share,
         "The options file cannot be used, so the application starts without its options: " +
             options + ", line 2: a Java option starts with \"-\""},
    };
    for (const auto &c : cases) {
        DeleteFileA(options.c_str());
        if (c.options != "-")
            write_file(options, c.options);
        run_result r = run_answering(quote(app), dir, HANG_MS, out_path, env.data());
        EXPECT_EQ(r.exit_code, 0u) << read_file(out_path);
        EXPECT_LE(heap_mb(), c.heap_mb) << c.options;
        EXPECT_GE(heap_mb(), c.heap_mb * 9 / 10) << c.options;
        ASSERT_EQ(r.boxes.size(), c.box.empty() ? 0u : 1u) << c.options;
        EXPECT_EQ(c.box.empty() ? "" : r.boxes[0].text, c.box);
    }
    std::string trace = read_file(trace_path);
    EXPECT_NE(trace.find("heap: -Xmx64m from the user's options file"), std::string::npos);
    EXPECT_NE(trace.find("heap: physical memory " + std::to_string(memory_mb) + " MB"),
              std::string::npos) << trace;
    DeleteFileA(options.c_str());

    // A 32-bit process whose largest free block is 400 MB: the heap fits it, where a fixed
    // -Xmx of the block's size cannot be reserved.
    EXPECT_EQ(run_squeezed(quote(launcher("max_heap_percent = 100\n", true)), dir, env, 400,
                           out_path), 0u);
    EXPECT_GT(heap_mb(), 200) << read_file(out_path);
    EXPECT_LT(heap_mb(), 400 - HEAP_ADDRESS_MARGIN_MB);
    EXPECT_EQ(run_squeezed(quote(launcher("jvm_options = -Xmx400m\n", true)), dir, env, 400,
                           out_path), 1u);  // a console launcher's start failure
    EXPECT_NE(read_file(out_path).find("Could not reserve enough space"), std::string::npos);

    // A crash leaves its report in the crash folder; the next start says so once: in a box,
    // on standard error for a console launcher (crash_notice = 0 is a host row of the plan).
    for (bool console : {false, true}) {
        bool shown = !console;
        std::string app = launcher("", console);
        std::string notice = MSG_LAST_RUN_CRASHED;
        EXPECT_NE(run_answering(quote(app) + " crash", dir, HANG_MS, out_path, env.data())
                      .exit_code, 0u);
        std::string out = read_file(out_path);
        ASSERT_NE(out.find("hs_err_pid"), std::string::npos) << out;
        size_t at = out.find("hs_err_pid");
        std::string report = dir + "\\Trevalo\\trevalo.fixture.Machine\\crashes\\" +
                             out.substr(at, out.find(".log", at) + 4 - at);
        EXPECT_TRUE(file_exists(report)) << report;
        notice.replace(notice.find("%s"), 2, report);
        for (int again = 0; again < 2; again++) {
            run_result next = run_answering(quote(app), dir, HANG_MS, out_path, env.data());
            bool box = shown && !again;
            ASSERT_EQ(next.boxes.size(), box ? 1u : 0u) << read_file(out_path);
            EXPECT_EQ(box ? next.boxes[0].text : "", box ? notice : "");
            EXPECT_EQ(read_file(out_path).find("Information: " + notice) != std::string::npos,
                      console && !again);
        }
    }
    EXPECT_NE(read_file(trace_path).find(MSG_LAST_RUN_CRASHED), std::string::npos);
}
