// The launcher's JNI code against the real OpenJDK virtual machine of this machine. A process
// can create one virtual machine, and System.exit ends it, so every case runs in a child
// process: this program started again with "--scenario", whose output and exit status the
// test reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "base/handover.h"
#include "java/handover.h"
#include "java/main_class.h"
#include "java/stopper.h"
#include "java/jvm.h"
#include "java/vm_hooks.h"
#include "config/settings.h"
#include "config/directories.h"
#include "os/report.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/temp_tree.h"
#include "tests/unit/test_settings.h"

namespace {

const char *self_path;

// The child's settings and virtual machine, as the launcher's entry point holds them.
launcher_settings settings = blank_settings();
jvm_record jvm;

// --- The child side. ---

struct scenario_config {
    std::vector<std::string> main_args;
};

void set_message(char **field, const char *text)
{
    set_text(field, text);
}
template <typename other> void set_message(other *, const char *) {}

// key=value arguments set settings; "--" starts main's arguments. The library of
// runtime_paths is registered as a runtime's RuntimeLib and found by search method 1: method 0
// takes only Windows libraries (PE images), method 1 any existing file, such as this machine's
// libjvm.so.
scenario_config configure(int argc, char **argv)
{
    set_text(&settings.search_order, "1");
    set_text(&settings.runtime_paths, TREVALO_LIBJVM);
    set_text(&settings.java_version_text, "0x00010004");
    settings.java_version = 0x00010004;
    set_text(&settings.class_path, TREVALO_FIXTURES_JAR);
    for (char **field : {&settings.jvm_options, &settings.app_args, &settings.stdout_file,
                         &settings.stderr_file, &settings.working_dir})
        set_text(field, "");
    set_text(&settings.main_class, "trevalo/fixture/Args");
    set_text(&settings.main_class_encoded, "trevalo.fixture.Args");
    set_text(&settings.class_sharing, "off");
    const struct {
        const char *key;
        char **field;
    } keys[] = {
        {"main_class", &settings.main_class}, {"jvm_options", &settings.jvm_options},
        {"app_args", &settings.app_args}, {"stdout_file", &settings.stdout_file},
        {"stderr_file", &settings.stderr_file}, {"working_dir", &settings.working_dir},
        {"runtime_paths", &settings.runtime_paths},
        {"class_path", &settings.class_path},
        {"class_sharing", &settings.class_sharing},
        {"instance_handover", &settings.instance_handover},
    };
    // Every message as a launcher built without message settings holds it.
#define TREVALO_SETTING_MESSAGE(name, id, kind, default_text)                                 \
    if (strstr(#kind, "MESSAGE"))                                                              \
        set_message(&settings.name, default_text);
    TREVALO_SETTINGS(TREVALO_SETTING_MESSAGE)
#undef TREVALO_SETTING_MESSAGE

    scenario_config config;
    int i = 0;
    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        const char *equals = strchr(argv[i], '=');
        for (const auto &k : keys)
            if (equals && strncmp(argv[i], k.key, (size_t)(equals - argv[i])) == 0 &&
                strlen(k.key) == (size_t)(equals - argv[i]))
                set_text(k.field, equals + 1);
        if (strncmp(argv[i], "main_class=", 11) == 0)
            set_text(&settings.main_class_encoded, argv[i] + 11);
        if (strncmp(argv[i], "java_version=", 13) == 0)
            settings.java_version = (unsigned)strtoul(argv[i] + 13, nullptr, 0);
        if (strncmp(argv[i], "early=", 6) == 0)
            settings.early_working_dir = argv[i][6] == '1';
        if (strcmp(argv[i], "traces=1") == 0)
            set_report_stack_traces(true);
        if (strncmp(argv[i], "output_append=", 14) == 0)
            settings.output_append = argv[i][14] == '1';
    }
    for (i++; i < argc; i++)
        config.main_args.push_back(argv[i]);
    fake_registry_set_text("Software\\JavaSoft\\Java Runtime Environment\\1.8", "RuntimeLib",
                           settings.runtime_paths);
    set_text(&settings.runtime_paths, "");
    return config;
}

// The virtual machine of a console run without embedded files, made as the run makes it.
bool create_console_jvm(int count, char **vector)
{
    const run_context run = make_run_context(&settings, RUN_CONSOLE);
    launch_plan plan;
    return plan_run_start(run, {}, &plan) &&
           create_jvm(run, &plan, settings.class_path, true, count, vector, &jvm);
}

// What the run sequence does after loading the settings: create, run main, destroy, and the
// exit status 0 or -1.
int run_sequence(scenario_config &config, pthread_t *stopper = nullptr)
{
    std::vector<char *> vector;
    for (std::string &arg : config.main_args)
        vector.push_back(&arg[0]);
    if (!create_console_jvm((int)vector.size(), vector.data()))
        return -1;
    bool ok = run_main_class(settings, jvm, (int)vector.size(), vector.data(), false);
    printf("run_main_class=%d\n", ok ? 1 : 0);
    fflush(stdout);
    // The stopper detached first, as the service's stop call is waited for: a thread still
    // detaching while DestroyJavaVM ends the virtual machine can be held there for good.
    if (stopper)
        pthread_join(*stopper, nullptr);
    destroy_jvm(jvm);
    return ok ? 0 : -1;
}

std::string file_text(const std::string &path)
{
    std::ifstream in(temp_tree::unix(path));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits until main of the application has said it runs, in its output file: a stop before that
// would find no application to stop.
void wait_until_running()
{
    while (file_text(settings.stdout_file).find("running\n") == std::string::npos)
        usleep(10 * 1000);
}

void *stop_by_main(void *)
{
    wait_until_running();
    char stop[] = "stop";
    char *vector[] = {stop};
    bool ok = run_main_class(settings, jvm, 1, vector, true);
    printf("stop call=%d\n", ok ? 1 : 0);
    fflush(stdout);
    return nullptr;
}

void *stop_by_exit(void *)
{
    wait_until_running();
    stop_java_application(settings, jvm);
    printf("stop_java_application returned\n");
    fflush(stdout);
    return nullptr;
}

// The hand-over thread's part: the method found, then three messages (the second throws).
void *hand_over_messages(void *)
{
    JNIEnv *env = attach_handover_thread(settings, jvm);
    char *class_name, *method;
    parse_handover_setting(settings.instance_handover, &class_name, &method);
    handover_target target;
    const char *first[] = {"a b", "\"q\"", "\xC3\xA9\xF0\x9F\x98\x80"}, *second[] = {"throw"};
    handover_message messages[] = {{"/f y", 3, (char **)first}, {"/f y", 1, (char **)second},
                                   {"/f y", 0, nullptr}};
    if (env && find_handover_method(env, settings, class_name, method, &target))
        for (const handover_message &message : messages)
            printf("delivered=%d\n", deliver_handover_message(env, settings, target, message));
    fflush(stdout);
    jvm.vm->DetachCurrentThread();
    return nullptr;
}

int run_scenario(const char *name, int argc, char **argv)
{
    // A scenario that hangs (a thread left attached keeps DestroyJavaVM waiting) ends with
    // SIGALRM, which fails its case in two minutes rather than the whole suite much later (a
    // run that records for an ahead-of-time cache on a busy machine can take a good part of it).
    alarm(120);
    report_echo = true;
    scenario_config config = configure(argc, argv);
    if (strcmp(name, "run") == 0)
        return run_sequence(config);
    if (strcmp(name, "handover") == 0) {
        if (!create_console_jvm(0, nullptr))
            return -1;
        pthread_t thread;
        pthread_create(&thread, nullptr, hand_over_messages, nullptr);
        pthread_join(thread, nullptr);
        destroy_jvm(jvm);
        return 0;
    }
    pthread_t stopper;
    pthread_create(&stopper, nullptr, strcmp(name, "stop-by-main") == 0 ? stop_by_main
                                                                         : stop_by_exit,
                   nullptr);
    return run_sequence(config, &stopper);
}

// --- The test side. ---

struct child_result {
    int status;   // exit status, or -1000 - signal
    std::string output;
};

child_result run_child(const char *scenario, const std::vector<std::string> &args)
{
    temp_tree tree;
    std::string log = temp_tree::unix(tree.name("output.txt"));
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char *> argv = {(char *)self_path, (char *)"--scenario", (char *)scenario};
        for (const std::string &a : args)
            argv.push_back((char *)a.c_str());
        argv.push_back(nullptr);
        execv(self_path, argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1000 - WTERMSIG(wstatus);
    return {status, text.str()};
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// A jar at tree's name made by the JDK's jar tool, with the manifest lines given (none: no
// manifest at all); its Unix path.
std::string make_jar(const temp_tree &tree, const std::string &name, const char *manifest)
{
    std::string jar = temp_tree::unix(tree.name(name)), lines = tree.file(name + ".mf", manifest ? manifest : "");
    system(("jar cf" + std::string(manifest ? "m '" : "M '") + jar + "' '" + temp_tree::unix(lines) + "'").c_str());
    return jar;
}

TEST(RealJvm, MainReceivesTheArgumentsAsGiven)
{
    // A jar run by its manifest's Main-Class, whose classes its Class-Path brings.
    temp_tree tree;
    system(("cp " TREVALO_FIXTURES_JAR " '" + temp_tree::unix(tree.name("lib.jar")) + "'").c_str());
    std::string app = make_jar(tree, "app.jar", "Main-Class: trevalo.fixture.Args \nClass-Path: lib.jar\n");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } cases[] = {
        {{"app_args=-win -nos", "--", "one", "two words", ""},
         {"count=3", "arg[0]=one", "arg[1]=two words", "arg[2]=",
          "sun.java.command=trevalo.fixture.Args one two words "}},
        {{"app_args=-win \"a b\" -nos"},
         {"count=3", "arg[0]=-win", "arg[1]=a b", "arg[2]=-nos",
          "sun.java.command=trevalo.fixture.Args -win \"a b\" -nos"}},
        {{}, {"count=0"}},  // an empty array, not null
        {{"main_class=", "class_path=" + app, "--", "x"},
         {"count=1", "arg[0]=x", "sun.java.command=" + app + " x", "java.class.path=" + app}},
        // Made from UTF-16: characters outside the Basic Multilingual Plane too.
        {{"jvm_options=-Dfile.encoding=UTF-8", "--", "5\u20ac", "\u0416\u0443\u043a",
          "\u65e5\u672c\u8a9e", "\U0001F600"},
         {"count=4", "arg[0]=5\u20ac", "arg[1]=\u0416\u0443\u043a", "arg[2]=\u65e5\u672c\u8a9e",
          "arg[3]=\U0001F600"}},
    };
    for (const auto &c : cases) {
        child_result r = run_child("run", c.args);
        EXPECT_EQ(r.status, 0) << r.output;
        for (const std::string &line : c.lines)
            EXPECT_TRUE(contains(r.output, line + "\n")) << line << " in\n" << r.output;
        EXPECT_TRUE(contains(r.output, "thread=main\n")) << r.output;
        EXPECT_TRUE(contains(r.output, "run_main_class=1")) << r.output;
    }
}

TEST(RealJvm, UserDirIsTheDirectoryMainRunsIn)
{
    temp_tree tree;
    std::string dir = tree.path("work");
    char real[4096];
    ASSERT_NE(realpath(temp_tree::unix(dir).c_str(), real), nullptr);
    for (const char *early : {"early=0", "early=1"}) {
        child_result r = run_child("run", {"working_dir=" + dir, early});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(contains(r.output, std::string("user.dir=") + real + "\n")) << early << r.output;
    }
}

TEST(RealJvm, RedirectsBothStreamsIntoFreshFiles)
{
    temp_tree tree;
    // Paths as the virtual machine of this host reads them.
    std::string out = temp_tree::unix(tree.file("out.txt", "old content that must go\n"));
    std::string err = temp_tree::unix(tree.file("err.txt", "old content that must go\n"));
    child_result r = run_child("run", {"stdout_file=" + out, "stderr_file=" + err});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(file_text(out).find("count=0\n"), 0u) << file_text(out);
    EXPECT_EQ(file_text(err), "a line on System.err\n");
    EXPECT_FALSE(contains(r.output, "count=0")) << "System.out went to the file";

    // Standard output is redirected first: when it fails (a file where its folder belongs),
    // standard error is left alone.
    std::string kept = temp_tree::unix(tree.file("kept.txt", "kept\n"));
    r = run_child("run", {"stdout_file=" + kept + "/out.txt", "stderr_file=" + kept});
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(contains(r.output, "reported: Error writing to file/directory: " + kept +
                                       "/out.txt\\n\\nReason: "))
        << r.output;
    EXPECT_FALSE(contains(r.output, "count=")) << "main is not called";
    EXPECT_EQ(file_text(kept), "kept\n");

    // The virtual machine's own log file gets its lines; standard error none of them.
    std::string gc = temp_tree::unix(tree.name("gc.log"));
    r = run_child("run", {"jvm_options=-Xlog:gc:file=" + gc});
    EXPECT_TRUE(contains(file_text(gc), "Using ")) << file_text(gc);
    EXPECT_FALSE(contains(r.output, "Using ")) << r.output;
    // With output_append, the earlier run's output stays and the new one follows it.
    std::string appended = temp_tree::unix(tree.file("appended.txt", "an earlier run\n"));
    r = run_child("run", {"stdout_file=" + appended, "output_append=1"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(file_text(appended).find("an earlier run\ncount=0\n"), 0u) << file_text(appended);

    // One file for both streams is opened once, however each names it: neither empties it
    // under the other.
    std::string both = temp_tree::unix(tree.file("both.txt", "old content that must go\n"));
    std::string folder = both.substr(0, both.rfind('/'));
    for (const std::string &other : {both, folder + "/./both.txt", folder + "/../" +
                                               folder.substr(folder.rfind('/') + 1) + "/both.txt"}) {
        tree.file("both.txt", "old content that must go\n");
        r = run_child("run", {"stdout_file=" + both, "stderr_file=" + other});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(file_text(both).find("count=0\n"), 0u) << other << ": " << file_text(both);
        EXPECT_TRUE(contains(file_text(both), "a line on System.err\n")) << file_text(both);
    }
}

TEST(RealJvm, ReportsWhatCannotBeFoundOrRun)
{
    temp_tree tree;
    std::string err = temp_tree::unix(tree.name("err.txt"));
    std::string bare = make_jar(tree, "bare.jar", nullptr), missing = tree.name("none.jar");
    std::string named = make_jar(tree, "named.jar", "Main-Class: trevalo.fixture.Mian\n");
    const struct {
        std::vector<std::string> args;
        std::string reported;
        std::string printed;  // in the output, or in err.txt for the exception
    } cases[] = {
        // The exception and its cause follow the message; a missing class names the class
        // path searched; where the sink keeps them, the stack trace comes whole.
        {{"main_class=trevalo/fixture/Missing", "class_path=" TREVALO_FIXTURES_JAR ";/nowhere.jar"},
         "Error locating class: trevalo.fixture.Missing\\n\\njava.lang.NoClassDefFoundError: "
         "trevalo/fixture/Missing\\nCaused by: java.lang.ClassNotFoundException: "
         "trevalo.fixture.Missing\\nClass path searched: " TREVALO_FIXTURES_JAR ":/nowhere.jar"
         "\\nMissing: /nowhere.jar\n", "java.lang.NoClassDefFoundError: trevalo/fixture/Missing"},
        // Found, but its static initialiser failed: said so, with the exception that did it.
        {{"main_class=trevalo/fixture/BadInit"},
         "The class trevalo.fixture.BadInit was found, but its static initialiser failed.\\n\\n"
         "java.lang.ExceptionInInitializerError\\nCaused by: java.lang.NumberFormatException: "
         "For input string: \"not a number\"\n", ""},
        {{"main_class=trevalo/fixture/NoMain"},
         "Error locating method: main(java/lang/String[])\\n\\njava.lang.NoSuchMethodError: "
         "static Ltrevalo/fixture/NoMain;.main([Ljava/lang/String;)V\n",
         "java.lang.NoSuchMethodError"},
        {{"main_class=trevalo/fixture/Throws", "stderr_file=" + err},
         "Error invoking method: main(java/lang/String[])\\n\\njava.lang.IllegalStateException: "
         "boom from main\\nCaused by: java.lang.NumberFormatException: For input string: "
         "\"x\"\n", ""},
        {{"main_class=trevalo/fixture/Throws", "traces=1"},
         "Error invoking method: main(java/lang/String[])\\n\\njava.lang.IllegalStateException: "
         "boom from main\\n\tat trevalo.fixture.Throws.main(Throws.java:",
         "Caused by: java.lang.NumberFormatException"},
        {{"jvm_options=-Xfoo"},
         std::string("Unable to create JVM instance using ") + TREVALO_LIBJVM +
             "\\n\\nUnrecognized option: -Xfoo", ""},
        // The VM accepts the option but aborts during creation: a failed start all the same.
        {{"jvm_options=-Xmx1"},
         std::string("Unable to create JVM instance using ") + TREVALO_LIBJVM +
             "\\n\\nError occurred during initialization of VM\\nToo small maximum heap", ""},
        {{"runtime_paths=" + tree.file("not-a-library.so")},
         "Unable to load JVM: " + tree.name("not-a-library.so"), ""},
        {{"runtime_paths=/usr/lib/x86_64-linux-gnu/libc.so.6"},
         "Unable to locate JNI interfaces in /usr/lib/x86_64-linux-gnu/libc.so.6", ""},
        {{"working_dir=" + tree.name("missing")},
         "Error accessing file/directory: " + tree.name("missing") + "\\n\\nReason: ", ""},
        {{"runtime_paths=" + tree.name("nothing.so")},
         "Unable to locate suitable Java Runtime Environment on this machine.", ""},
        // No main class: the failures of a jar run by its manifest name the jar.
        {{"main_class=", "class_path=" TREVALO_FIXTURES_JAR},
         "The manifest of the jar " TREVALO_FIXTURES_JAR " names no Main-Class to run.", ""},
        {{"main_class=", "class_path=" + bare}, "The jar " + bare + " has no manifest", ""},
        {{"main_class=", "class_path=" + temp_tree::unix(missing)},
         "Error accessing file/directory: " + temp_tree::unix(missing) + "\\n\\njava.", ""},
        {{"main_class=", "class_path=" + named}, "Error locating class: trevalo.fixture.Mian",
         "Named by the Main-Class of the manifest of " + named + "\\nClass path searched: " + named},
    };
    for (const auto &c : cases) {
        child_result r = run_child("run", c.args);
        EXPECT_EQ(r.status, 255) << c.reported << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, "reported: " + c.reported)) << r.output;
        if (!c.printed.empty()) {
            EXPECT_TRUE(contains(r.output, c.printed)) << r.output;
        }
    }
    std::string trace = file_text(err);
    EXPECT_TRUE(contains(trace, "java.lang.IllegalStateException: boom from main")) << trace;
    EXPECT_TRUE(contains(trace, "at trevalo.fixture.Throws.main")) << trace;
}

TEST(RealJvm, SystemExitEndsTheProcessWithItsStatus)
{
    for (int status : {3, 0, 42}) {
        child_result r = run_child("run", {"main_class=trevalo/fixture/Exit", "--",
                                           std::to_string(status)});
        EXPECT_EQ(r.status, status) << r.output;
        EXPECT_FALSE(contains(r.output, "run_main_class=")) << "main never returns";
    }
}

TEST(RealJvm, StopperStopsTheApplication)
{
    // A second main call on a native thread attached as the stopper thread. It leaves the
    // output file alone: the running application's lines are all still there.
    // The thread keeps its name whatever the minimum Java version: a JNI version (1.4, 1.8), or
    // none the runtime takes as one ("8", 1.5, no minimum, 1.1).
    temp_tree tree;
    for (const char *version : {"0x00010004", "0x00010008", "8", "0x00010005", "0",
                                "0x00010001"}) {
        std::string out = temp_tree::unix(tree.name(std::string("out-") + version + ".txt"));
        child_result r = run_child("stop-by-main", {"main_class=trevalo/fixture/Stoppable",
                                                    "stdout_file=" + out,
                                                    std::string("java_version=") + version});
        EXPECT_EQ(r.status, 0) << version << r.output;
        EXPECT_EQ(file_text(out), "running\nstop call on thread=Trevalo stopper thread\n"
                                  "main ends\nshutdown hook ran\n") << version;
        EXPECT_TRUE(contains(r.output, "stop call=1\n")) << version << r.output;
    }

    // System.exit(0) from the stopper: the shutdown hooks run and the process ends with 0.
    std::string exit_out = temp_tree::unix(tree.name("exit-out.txt"));
    child_result r = run_child("stop-by-exit",
                  {"main_class=trevalo/fixture/Stoppable", "stdout_file=" + exit_out});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(file_text(exit_out), "running\nshutdown hook ran\n") << r.output;
    EXPECT_FALSE(contains(r.output, "stop_java_application returned")) << r.output;
}

// The hand-over method gets each message's arguments and folder exactly; an exception it throws
// is reported and the next message is delivered all the same; a method or class that is not
// there is reported by the name the setting gives.
TEST(RealJvm, HandsSecondStartsToTheMethod)
{
    temp_tree tree;
    const std::string calls = temp_tree::unix(tree.name("calls.txt"));
    const std::string located = "reported: Error locating method: trevalo.fixture.";
    const std::string takes = "(java/lang/String[], java/lang/String)\\n\\njava.lang.";
    const struct {
        std::string setting, output, calls;
    } cases[] = {
        {"trevalo.fixture.Handover.open",
         "delivered=1\nreported: Error invoking method: trevalo.fixture.Handover.open(java/lang/"
         "String[], java/lang/String)\\n\\njava.lang.IllegalStateException: boom from open\n"
         "delivered=0\ndelivered=1\n",
         "[a b][\"q\"][\xC3\xA9\xF0\x9F\x98\x80] in /f y\n in /f y\n"},
        {"trevalo.fixture.Handover.shut", located + "Handover.shut" + takes + "NoSuchMethod", ""},
        {"trevalo.fixture.Gone.open", located + "Gone.open" + takes + "NoClassDefFound", ""},
    };
    for (const auto &c : cases) {
        remove(calls.c_str());
        child_result r = run_child("handover", {"instance_handover=" + c.setting,
                                                "jvm_options=-Dtrevalo.handover=" + calls});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(contains(r.output, c.output)) << r.output;
        EXPECT_EQ(file_text(calls), c.calls) << c.setting;
    }
}

// The runtimes sharing is tried on; a missing one is skipped with a line saying so.
std::vector<std::string> sharing_runtimes()
{
    std::vector<std::string> found;
    for (const char *library : {"/usr/lib/jvm/java-17-openjdk-amd64/lib/server/libjvm.so",
                                "/usr/lib/jvm/temurin-25-jdk-amd64/lib/server/libjvm.so"}) {
        if (access(library, R_OK) == 0)
            found.push_back(library);
        else
            printf("skipped: class sharing on %s, which is not on this machine\n", library);
    }
    return found;
}

// The files of the archive folder under local, by suffix: "jsa", "fingerprint", "used".
std::vector<std::string> cached(const std::string &local, const std::string &suffix)
{
    std::vector<std::string> names;
    FILE *ls = popen(("ls '" + local + "/Trevalo/class-sharing' 2>/dev/null").c_str(), "r");
    char line[512];
    while (fgets(line, sizeof line, ls)) {
        std::string name(line, strlen(line) - 1);
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    pclose(ls);
    return names;
}

// Runs args with sharing off, then twice with it: the run that makes the archive (or records
// for the cache, whose creation is waited for) and the first that maps it. All three print the
// same and end with the same status; with shared false, nothing is used.
void expect_same_with_sharing(const std::vector<std::string> &args, const std::string &local,
                              const std::string &what, bool shared = true)
{
    auto with = [&](const char *mode) {
        std::vector<std::string> all = {std::string("class_sharing=") + mode};
        all.insert(all.end(), args.begin(), args.end());
        return run_child("run", all);
    };
    child_result off = with("off");
    size_t used_before = cached(local, "used").size();
    child_result making = with("auto");
    wait_for_background_processes((local + "/Trevalo/class-sharing").c_str());
    size_t used_after_making = cached(local, "used").size();
    EXPECT_LE(used_after_making, used_before) << what << ": made, not used";
    child_result using_it = with("auto");
    EXPECT_EQ(cached(local, "used").size(), used_after_making + shared) << what << ": used";
    for (const child_result *r : {&making, &using_it}) {
        EXPECT_EQ(r->status, off.status) << what;
        EXPECT_EQ(r->output, off.output) << what;
    }
}

TEST(RealJvm, ClassSharingNeverChangesWhatTheApplicationDoes)
{
    for (const std::string &library : sharing_runtimes()) {
        temp_tree tree;
        std::string local = temp_tree::unix(tree.path("local"));
        setenv("LOCALAPPDATA", local.c_str(), 1);
        std::string jar = temp_tree::unix(tree.name("app.jar"));
        ASSERT_EQ(system(("cp " + std::string(TREVALO_FIXTURES_JAR) + " " + jar).c_str()), 0);
        std::string added = jar + ";" + TREVALO_FIXTURES_JAR;
        // A runtime of its own: the real one's files, its library a copy that can be replaced,
        // its java program under the name the launcher starts it by.
        std::string home = library.substr(0, library.find("/lib/server/"));
        std::string copy = temp_tree::unix(tree.name("jdk"));
        std::string script = "mkdir -p C/lib/server && for f in H/*; do [ $(basename $f) = lib ] ||"
                             " ln -s $f C/; done && for f in H/lib/*; do [ $(basename $f) = server ]"
                             " || ln -s $f C/lib/; done && cp H/lib/server/* C/lib/server/ && rm C/bin"
                             " && mkdir C/bin && ln -s H/bin/* C/bin && ln -s H/bin/java C/bin/java.exe";
        for (size_t at = 0; (at = script.find_first_of("CH", at)) != std::string::npos;) {
            const std::string &path = script[at] == 'C' ? copy : home;
            script.replace(at, 1, path);
            at += path.size();
        }
        ASSERT_EQ(system(script.c_str()), 0);
        std::string runtime = "runtime_paths=" + copy + "/lib/server/libjvm.so";
        const struct {
            const char *what, *change;
            std::vector<std::string> args;
            bool shared = true;
        } steps[] = {
            {"first start", "", {runtime, "class_path=" + jar, "--", "a"}},
            {"jar replaced", "touch -d '1 hour ago' JAR", {runtime, "class_path=" + jar, "--", "a"}},
            {"jar added", "", {runtime, "class_path=" + added, "--", "a"}},
            {"options changed", "", {runtime, "class_path=" + added, "jvm_options=-Xss2m", "--", "a"}},
            {"runtime replaced", "touch -d '1 hour ago' LIB",
             {runtime, "class_path=" + added, "jvm_options=-Xss2m", "--", "a"}},
            {"an agent", "", {runtime, "class_path=" + jar, "jvm_options=-javaagent:" + jar}, false},
            {"System.exit", "",
             {runtime, "class_path=" + jar, "main_class=trevalo/fixture/Exit", "--", "3"}},
            {"archive cut", "truncate -s 4096 $(ls JSA 2>/dev/null)",
             {runtime, "class_path=" + jar, "main_class=trevalo/fixture/Exit", "--", "3"}},
        };
        for (const auto &step : steps) {
            std::string change = step.change;
            for (const auto &name : {std::make_pair("JAR", jar),
                                     std::make_pair("LIB", copy + "/lib/server/libjvm.so"),
                                     std::make_pair("JSA", local + "/Trevalo/class-sharing/*.jsa " + local +
                                                                "/Trevalo/class-sharing/*.aot")})
                if (change.find(name.first) != std::string::npos)
                    change.replace(change.find(name.first), strlen(name.first), name.second);
            if (!change.empty()) {
                ASSERT_EQ(system(change.c_str()), 0) << change;
            }
            // Each change leaves the archive of the step before stale: a new one is made, and
            // used on the application's next start.
            expect_same_with_sharing(step.args, local, library + ": " + step.what, step.shared);
        }
        // Two applications, each starting afresh, at once: as alone, and nothing left behind.
        std::vector<std::string> one = {"class_sharing=off", runtime, "class_path=" + added, "--", "b"},
                                 two = {"class_sharing=auto", runtime, "class_path=" + added,
                                        "main_class=trevalo/fixture/Exit", "--", "4"};
        child_result alone = run_child("run", one), together[2];
        one[0] = "class_sharing=auto";
        for (child_result &r : together) {
            std::thread second([&] { r = run_child("run", two); });
            EXPECT_EQ(run_child("run", one).output, alone.output);
            second.join();
            EXPECT_EQ(r.status, 4) << r.output;
            wait_for_background_processes((local + "/Trevalo/class-sharing").c_str());
        }
        EXPECT_EQ(cached(local, ".jsa").size() + cached(local, ".aot").size(), 2u) << "one per application";
        EXPECT_EQ(cached(local, "conf").size() + cached(local, ".request").size() + cached(local, ".lock").size(), 0u);

        // The archive is mapped: its classes come from it.
        child_result loaded = run_child("run", {"class_sharing=auto", runtime, "class_path=" + jar,
                                                "jvm_options=-Xlog:class+load=info"});
        wait_for_background_processes((local + "/Trevalo/class-sharing").c_str());
        loaded = run_child("run", {"class_sharing=auto", runtime, "class_path=" + jar,
                                   "jvm_options=-Xlog:class+load=info"});
        EXPECT_TRUE(contains(loaded.output, "trevalo.fixture.Args source: shared objects file"))
            << loaded.output.substr(0, 2000);

        // Options with which no base archive can be mapped: JDK 17 would refuse to start
        // with an archive to make.
        for (const char *mode : {"class_sharing=off", "class_sharing=auto"}) {
            child_result r = run_child("run", {mode, runtime, "class_path=" + jar,
                                               "jvm_options=-XX:-UseCompressedClassPointers"});
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(contains(r.output, "count=0\n")) << r.output;
        }

        // A folder that cannot be written, in the archive folder's place: no sharing.
        std::string blocked = temp_tree::unix(tree.path("blocked"));
        ASSERT_EQ(system(("mkdir -p " + blocked + "/Trevalo && touch " + blocked +
                          "/Trevalo/class-sharing").c_str()), 0);
        setenv("LOCALAPPDATA", blocked.c_str(), 1);
        child_result off = run_child("run", {"class_sharing=off", runtime, "class_path=" + jar});
        child_result on = run_child("run", {"class_sharing=auto", runtime, "class_path=" + jar});
        EXPECT_EQ(on.status, off.status);
        EXPECT_EQ(on.output, off.output);
        unsetenv("LOCALAPPDATA");
    }
}

TEST(RealJvm, ClassSharingKeepsOneArchivePerRuntimeAndServesClojure)
{
    const char *clojure = "/usr/share/java/clojure-1.11.jar";
    std::vector<std::string> runtimes = sharing_runtimes();
    if (access(clojure, R_OK) != 0 || runtimes.empty()) {
        printf("skipped: Clojure (the Debian package clojure) is not on this machine\n");
        return;
    }
    temp_tree tree;
    std::string local = temp_tree::unix(tree.path("local"));
    setenv("LOCALAPPDATA", local.c_str(), 1);
    size_t archives = 0;
    for (const std::string &library : runtimes) {
        std::vector<std::string> args = {"runtime_paths=" + library, std::string("class_path=") + clojure,
                                         "main_class=clojure/main",
                                         "app_args=-e \"(println (count (all-ns)) (+ 1 2))\""};
        expect_same_with_sharing(args, local, library + ": Clojure");
        EXPECT_EQ(cached(local, ".jsa").size(), ++archives) << "one per runtime";
        // The first runtime's archive is still there and in use after the second made its own.
        args.insert(args.begin(), "class_sharing=auto");
        child_result again = run_child("run", args);
        EXPECT_TRUE(contains(again.output, "3\n")) << again.output;
    }
    unsetenv("LOCALAPPDATA");
}

// jint JNICALL (FILE *, const char *, va_list) called the way a virtual machine calls it.
int output(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = jvm_output_hook(stderr, format, args);
    va_end(args);
    return n;
}

TEST(OutputHook, ForwardsEveryPieceAndKeepsABoundedTail)
{
    // Standard error goes to a file during the test, to see what the hook forwarded.
    temp_tree tree;
    std::string forwarded = temp_tree::unix(tree.file("stderr.txt", ""));
    fflush(stderr);
    int saved = dup(2);
    int file = open(forwarded.c_str(), O_WRONLY | O_TRUNC);
    dup2(file, 2);
    close(file);

    free(take_jvm_message_text());
    EXPECT_EQ(output("a"), 1);
    EXPECT_EQ(output("%s=%d;", "b", 2), 4);
    char *text = take_jvm_message_text();
    EXPECT_STREQ(text, "ab=2;");
    free(text);
    EXPECT_EQ(take_jvm_message_text(), nullptr) << "taken means gone";

    std::string huge(10000, 'h');
    EXPECT_EQ(output("%s", huge.c_str()), 4095) << "a piece is cut at 4095 characters";
    text = take_jvm_message_text();
    EXPECT_EQ(std::string(text), huge.substr(0, 4095));
    free(text);

    // Four threads appending at once: every piece is forwarded, the last 16 KB are kept whole.
    const int threads = 4, pieces = 2000;
    auto append = [](void *) -> void * {
        for (int i = 0; i < pieces; i++)
            output("%s", "0123456789");
        return nullptr;
    };
    pthread_t ids[threads];
    for (pthread_t &id : ids)
        pthread_create(&id, nullptr, append, nullptr);
    for (pthread_t &id : ids)
        pthread_join(id, nullptr);
    text = take_jvm_message_text();
    std::string all;
    for (int i = 0; i < threads * pieces; i++)
        all += "0123456789";
    EXPECT_EQ(std::string(text), all.substr(all.size() - 16384));
    free(text);

    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(file_text(forwarded), "ab=2;" + huge.substr(0, 4095) + all);
}

} // namespace

int main(int argc, char **argv)
{
    self_path = argv[0];
    if (argc >= 3 && strcmp(argv[1], "--scenario") == 0)
        return run_scenario(argv[2], argc - 3, argv + 3) & 0xFF;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
