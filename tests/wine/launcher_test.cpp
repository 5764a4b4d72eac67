// The real launcher stub, built with the builder and run as a separate process: its message
// boxes, exit statuses, priority and single-instance guard.
#include <gtest/gtest.h>

#include <ctype.h>

#include "config/setting_list.h"
#include "tests/wine/harness.h"

namespace {

const char *const NO_RUNTIME =
    "Unable to locate suitable Java Runtime Environment on this machine.";
const DWORD FAILED = 0xFFFFFFFF;  // the launcher's -1
const DWORD CONSOLE_FAILED = 1;   // the console launcher's, as the java command's

std::string system_text(DWORD code)
{
    char buffer[4000];
    DWORD n = FormatMessageA(0x1200, nullptr, code, 0x0400, buffer, sizeof buffer, nullptr);
    return std::string(buffer, n);
}

TEST(Launcher, ReportsMissingRuntimeAndFails)
{
    std::string dir = make_temp_dir("noruntime");
    std::string app = make_launcher(dir, "main_class = a.b.Main\n");
    run_result r = run_answering(quote(app), dir, HANG_MS);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, FAILED);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, "Error");
    EXPECT_EQ(r.boxes[0].icon, "error");
    EXPECT_EQ(r.boxes[0].text, NO_RUNTIME);

    // With a product name in its version information, the caption says whose box it is.
    for (const char *product : {"Acme Editor", "\u30a8\u30c7\u30a3\u30bf"}) {
        std::string named = make_launcher(dir, std::string("main_class = a.b.Main\n"
                                                           "product_name = ") + product + "\n",
                                          "named.exe");
        r = run_answering(quote(named), dir, HANG_MS);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].caption, std::string(product) + ": Error");
        EXPECT_EQ(r.boxes[0].text, NO_RUNTIME);
    }
}

TEST(Launcher, UsesTheConfiguredMessageText)
{
    // Written into the string table as a resource editor would, in any language whatever the
    // code page; a "%s" where the launcher has nothing to say reads nothing (how a message is
    // filled is a host row of FillMessage).
    std::string dir = make_temp_dir("message");
    std::string app = make_launcher(dir, "main_class = M\n");
    ASSERT_TRUE(replace_setting(app, SETTING_msg_no_runtime,
                                "Java \u30e9\u30f3\u30bf\u30a4\u30e0\u304c\u3042\u308a"
                                "\u307e\u305b\u3093 [%s] 100%%"));
    run_result r = run_answering(quote(app), dir, HANG_MS);
    EXPECT_EQ(r.exit_code, FAILED);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "Java \u30e9\u30f3\u30bf\u30a4\u30e0\u304c\u3042\u308a"
                               "\u307e\u305b\u3093 [] 100%");
}

// A launcher altered after it was built: a stored name that would lead out of its folders, or
// a string whose length runs past its block, is reported as damage and nothing runs.
TEST(Launcher, SaysWhenItIsDamaged)
{
    const std::string damaged = "This program is damaged (";
    const struct {
        unsigned id;
        std::string text, subject;
        bool cut;  // the text's length made to run past its block
    } cases[] = {
        {SETTING_main_class, "..\\..\\x", "a stored setting used as a name is not one", false},
        {SETTING_service_name, "Other\\Key", "a stored setting used as a name is not one", false},
        {SETTING_msg_no_runtime, "QQQQQQQQ", "its settings run past their resource", true},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("damaged");
        std::string app = make_launcher(dir, "main_class = M\n");
        ASSERT_TRUE(replace_setting(app, c.id, c.text));
        if (c.cut) {
            std::string bytes = read_file(app), units;
            for (char ch : c.text)
                units += std::string(1, ch) + '\0';
            size_t at = bytes.find(units);
            ASSERT_NE(at, std::string::npos);
            bytes[at - 2] = bytes[at - 1] = '\x7F';
            write_file(app, bytes);
        }
        run_result r = run_answering(quote(app), dir, HANG_MS);
        EXPECT_EQ(r.exit_code, FAILED) << c.text;
        ASSERT_EQ(r.boxes.size(), 1u) << c.text;
        EXPECT_EQ(r.boxes[0].text.find(damaged + c.subject + ")"), 0u) << r.boxes[0].text;
    }
}

TEST(Launcher, ReportsAWorkingDirectoryThatCannotBeEntered)
{
    // The subject is shown as it is: "%d" and "%s" in a path are not formatted again. A path
    // of several kilobytes is shown whole; one longer than the message buffer is cut at its
    // end (4095 characters), and the reason still follows.
    const struct {
        std::string working_dir;
        size_t shown;
    } cases[] = {
        {"C:\\no such %d %s dir", std::string::npos},
        {"C:\\" + std::string(3000, 'w'), std::string::npos},
        {"C:\\" + std::string(6000, 'w'), 4095 - strlen("Error accessing file/directory: ")},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("workdir");
        std::string app = make_launcher(dir, "main_class = M\nearly_working_dir = 1\n"
                                             "working_dir = " + c.working_dir + "\n");
        run_result r = run_answering(quote(app), dir, HANG_MS);
        EXPECT_EQ(r.exit_code, FAILED);
        ASSERT_EQ(r.boxes.size(), 1u);
        std::string message = "Error accessing file/directory: " + c.working_dir.substr(0, c.shown);
        std::string reason_path = system_text(ERROR_PATH_NOT_FOUND);
        std::string reason_file = system_text(ERROR_FILE_NOT_FOUND);
        std::string reason_name = system_text(ERROR_FILENAME_EXCED_RANGE);
        const std::string &text = r.boxes[0].text;
        EXPECT_TRUE(text == message + "\n\nReason: " + reason_path ||
                    text == message + "\n\nReason: " + reason_file ||
                    text == message + "\n\nReason: " + reason_name)
            << "got " << text.size() << " characters: " << text.substr(0, 200) << " ... "
            << text.substr(text.size() > 200 ? text.size() - 200 : 0);
        EXPECT_EQ(r.boxes[0].caption, "Error");
    }
}

TEST(Launcher, SetsThePriorityOfTheRunningStub)
{
    const struct {
        const char *value;
        DWORD priority_class;
    } cases[] = {
        {"", REALTIME_PRIORITY_CLASS}, {"1", HIGH_PRIORITY_CLASS},
        {"5", IDLE_PRIORITY_CLASS}, {"9", NORMAL_PRIORITY_CLASS},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("stub-priority");
        // Written into the launcher directly: the builder refuses all but 0 to 5, and
        // launchers built before it checked may hold any text.
        std::string app = make_launcher(dir, "main_class = M\n");
        ASSERT_TRUE(replace_setting(app, SETTING_priority, c.value));
        child_process child;
        ASSERT_TRUE(start_child(quote(app), dir, &child));
        message_box box;
        ASSERT_TRUE(wait_message_box(child, HANG_MS, &box));
        EXPECT_EQ(GetPriorityClass(child.process), c.priority_class) << "priority = " << c.value;
        EXPECT_EQ(answer_and_wait(&child, box), FAILED);
    }
}

TEST(Launcher, RefusesASecondInstance)
{
    std::string dir = make_temp_dir("instance");
    std::string app = make_launcher(dir, "main_class = x.y.Main\n");
    child_process first;
    ASSERT_TRUE(start_child(quote(app), dir, &first)) << "error " << GetLastError();
    message_box first_box;
    ASSERT_TRUE(wait_message_box(first, HANG_MS, &first_box));

    // The instance is this launcher's, not every one's with the same main class: a launcher
    // in another folder runs (to its own failure, as there is no runtime).
    std::string other_dir = make_temp_dir("instance-other");
    std::string other = make_launcher(other_dir, "main_class = x.y.Main\n");
    std::string lower = app;
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    const struct {
        std::string app;
        std::string text;
        DWORD status;
    } cases[] = {
        {app, "An instance of this program is already running.", 0},
        {lower, "An instance of this program is already running.", 0},  // path typed otherwise
        {other, NO_RUNTIME, FAILED},
    };
    for (const auto &c : cases) {
        run_result second = run_answering(quote(c.app), dir, HANG_MS);
        EXPECT_EQ(second.exit_code, c.status) << c.app;
        ASSERT_EQ(second.boxes.size(), 1u) << c.app;
        EXPECT_EQ(second.boxes[0].text, c.text) << c.app;
        EXPECT_EQ(second.boxes[0].caption, "Error");
    }

    ASSERT_EQ(answer_and_wait(&first, first_box), FAILED);

    // Once the first has ended, a new start is not refused.
    run_result third = run_answering(quote(app), dir, HANG_MS);
    ASSERT_EQ(third.boxes.size(), 1u);
    EXPECT_EQ(third.boxes[0].text, NO_RUNTIME);
}

TEST(Launcher, AllowsSeveralInstancesWhenConfigured)
{
    std::string dir = make_temp_dir("multi");
    std::string app = make_launcher(dir, "main_class = m.Multi\nmultiple_instances = 1\n");
    child_process first;
    ASSERT_TRUE(start_child(quote(app), dir, &first)) << "error " << GetLastError();
    message_box first_box;
    ASSERT_TRUE(wait_message_box(first, HANG_MS, &first_box));
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "m/Multi"), nullptr) << "no mutex is created";

    run_result second = run_answering(quote(app), dir, HANG_MS);
    ASSERT_EQ(second.boxes.size(), 1u);
    EXPECT_EQ(second.boxes[0].text, NO_RUNTIME);
    EXPECT_EQ(second.exit_code, FAILED);
    EXPECT_EQ(answer_and_wait(&first, first_box), FAILED);
}

// A console launcher is a command-line tool that scripts start several at a time: by default
// a second one runs beside the first. With single instance set, the second does nothing and
// ends with ERROR_ALREADY_EXISTS (183), so that a script sees it did not run.
TEST(Launcher, ConsoleLaunchersRunSideBySideUnlessSingleInstanceIsSet)
{
    const std::string runtime = build_dir() + "\\test-runtime\\bin\\client\\jvm.dll";
    const struct {
        const char *setting;
        DWORD second_status;
        bool second_ran;
    } cases[] = {
        {"", 0, true},
        {"multiple_instances = 0\n", ERROR_ALREADY_EXISTS, false},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("console-instances");
        std::string app = make_launcher(dir, std::string("main_class = trevalo.test.Wait\n"
                                                         "search_order = 0\nruntime_paths = ") +
                                                 runtime + "\n" + c.setting,
                                        "app.exe", stub_path(target_arch(), true));
        std::string first_log = dir + "\\first.log", second_log = dir + "\\second.log";
        std::string env = environment_with({"TREVALO_TEST_LOG=" + first_log});
        child_process first;
        ASSERT_TRUE(start_child(quote(app), dir, &first, dir + "\\first.txt", env.data()));
        // The first holds the instance mutex once its main method runs.
        for (DWORD start = GetTickCount();
             read_file(first_log).find("waiting trevalo/test/Wait") == std::string::npos &&
             WaitForSingleObject(first.process, 10) == WAIT_TIMEOUT &&
             GetTickCount() - start < HANG_MS;)
            ;
        ASSERT_NE(read_file(first_log).find("waiting trevalo/test/Wait"), std::string::npos)
            << read_file(dir + "\\first.txt");

        // "stop" makes the second instance's main return at once.
        std::string env2 = environment_with({"TREVALO_TEST_LOG=" + second_log});
        run_result second = run_answering(quote(app) + " stop", dir, HANG_MS,
                                          dir + "\\second.txt", env2.data());
        EXPECT_EQ(second.exit_code, c.second_status) << c.setting;
        EXPECT_EQ(read_file(second_log).find("stop requested trevalo/test/Wait") !=
                      std::string::npos, c.second_ran) << c.setting;
        if (!c.second_ran)
            EXPECT_EQ(read_file(dir + "\\second.txt"),
                      "Error: An instance of this program is already running.\r\n");
        EXPECT_TRUE(TerminateProcess(first.process, 0));
        DWORD ignored;
        wait_exit(first, HANG_MS, &ignored);
        close_child(&first);
    }
}

// Runs command in directory with its standard input read from a file holding input, and its
// output and error streams in files of their own; waits up to 30 s. Returns the exit status,
// or 0xDEADBEEF when the program did not end (a message box would wait for a click).
DWORD run_console(const std::string &command, const std::string &directory,
                  const std::string &input, std::string *out, std::string *err)
{
    std::string in_path = directory + "\\stdin.txt", out_path = directory + "\\stdout.txt",
                err_path = directory + "\\stderr.txt";
    write_file(in_path, input);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    auto open = [&](const std::string &path, bool write) {
        return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    };
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(in_path, false);
    startup.hStdOutput = open(out_path, true);
    startup.hStdError = open(err_path, true);
    PROCESS_INFORMATION info = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    // As the user's unelevated programs run (Wine runs every program elevated).
    HANDLE token = limited_token();
    BOOL started = token ? CreateProcessAsUserA(token, nullptr, line.data(), nullptr, nullptr,
                                                TRUE, 0, nullptr, directory.c_str(), &startup,
                                                &info)
                         : CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, directory.c_str(), &startup, &info);
    if (token)
        CloseHandle(token);
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        CloseHandle(h);
    DWORD status = 0xDEADBEEF;
    if (started) {
        if (WaitForSingleObject(info.hProcess, HANG_MS) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &status);
        else
            TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    *out = read_file(out_path);
    *err = read_file(err_path);
    return status;
}

TEST(Launcher, TheConsoleLauncherUsesTheConsolesStreams)
{
    // Messages go to standard error, one line each, and nothing waits for a click; the
    // application reads and writes the process's own streams.
    std::string runtime = build_dir() + "\\test-runtime\\bin\\client\\jvm.dll";
    const struct {
        std::string config, input;
        DWORD status;
        std::string out, err;
    } cases[] = {
        {"main_class = M\n", "", CONSOLE_FAILED, "", std::string("Error: ") + NO_RUNTIME + "\r\n"},
        // Where to download a runtime is printed, never asked.
        {"main_class = M\ndownload_url = https://example.invalid/java\n", "", CONSOLE_FAILED, "",
         std::string("Error: ") + NO_RUNTIME +
             " Java can be downloaded from https://example.invalid/java\r\n"},
        {"main_class = trevalo.test.Echo\nsearch_order = 0\nruntime_paths = " + runtime + "\n",
         "a line typed\r\n", 0, "echo: a line typed\r\n", ""},
        {"main_class = M\nsearch_order = 0\njvm_options = -Xfoo\nruntime_paths = " + runtime +
             "\n",
         "", CONSOLE_FAILED, "",
         "Unrecognized option: -Xfoo\nError: Unable to create JVM instance using " + runtime +
             " Unrecognized option: -Xfoo\r\n"},
        // An exception from main: the stack trace on standard error, then the message with the
        // exception and its cause.
        {"main_class = trevalo.test.Throws\nsearch_order = 0\nruntime_paths = " + runtime + "\n",
         "", CONSOLE_FAILED, "",
         "Exception in thread \"main\" java.lang.IllegalStateException: boom\r\n"
         "\tat trevalo.test.Throws.main(Unknown Source)\r\n"
         "Caused by: java.lang.NumberFormatException: For input string: \"x\"\r\n"
         "\tat trevalo.test.Throws.main(Unknown Source)\r\n"
         "Error invoking method: main(java/lang/String[]) java.lang.IllegalStateException: "
         "boom Caused by: java.lang.NumberFormatException: For input string: \"x\"\r\n"},
    };
    for (const auto &c : cases) {
        std::string dir = make_temp_dir("console");
        std::string app =
            make_launcher(dir, c.config, "app.exe", stub_path(target_arch(), true));
        std::string out, err;
        EXPECT_EQ(run_console(quote(app), dir, c.input, &out, &err), c.status) << c.config;
        EXPECT_EQ(out, c.out) << c.config;
        EXPECT_EQ(err, c.err) << c.config;
    }

    // On a console, the line arrives whole and nothing after it, whatever its characters.
    std::string dir = make_temp_dir("console");
    const std::string message = "Aucun Java trouv\u00e9 \u65e5\u672c \U0001F600";
    std::string app = make_launcher(dir, "main_class = M\nmsg_no_runtime = " + message + "\n",
                                    "app.exe", stub_path(target_arch(), true));
    std::vector<std::string> screen;
    EXPECT_EQ(run_in_console(quote(app), dir, HANG_MS, &screen), CONSOLE_FAILED);
    EXPECT_EQ(screen, std::vector<std::string>({"Error: " + message, ""}));
}

} // namespace
