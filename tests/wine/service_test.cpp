// The stub as a Windows service under Wine's own Service Control Manager, with the test
// runtime: installing, removing, starting and stopping, read from the manager, the registry,
// the runtime's log and the event-log records of Wine's eventlog channel.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "tests/wine/harness.h"

namespace {

// The lines of the Wine log written since offset.
std::vector<std::string> log_lines(size_t offset)
{
    const char *log = getenv("TREVALO_WINE_LOG");
    if (!log)
        return {};
    std::string text = read_file(log);
    return split_lines(offset < text.size() ? text.substr(offset) : "");
}

// The event-log records written since offset into the Wine log, as "type text" lines:
// "info <text>" or "error <text>".
std::vector<std::string> event_records(size_t offset)
{
    std::vector<std::string> records;
    for (const std::string &line : log_lines(offset)) {
        size_t at = line.find(":eventlog:ReportEventW L\"");
        if (at == std::string::npos)
            continue;
        size_t start = at + strlen(":eventlog:ReportEventW L\"");
        std::string message = line.substr(start, line.rfind('"') - start);
        bool error = line.find("err:eventlog") != std::string::npos;
        records.push_back((error ? "error " : "info ") + message);
    }
    return records;
}

// How many failure-actions calls with a reset period of one day Wine's manager logged since
// offset: it keeps none of them, and only logs each ("SERVICE_CONFIG_FAILURE_ACTIONS not
// implemented: period 86400 msg (null) cmd (null)").
int failure_actions_logged(size_t offset)
{
    int count = 0;
    for (const std::string &line : log_lines(offset))
        if (line.find("SERVICE_CONFIG_FAILURE_ACTIONS not implemented: period 86400 ") !=
            std::string::npos)
            count++;
    return count;
}

size_t log_size()
{
    const char *log = getenv("TREVALO_WINE_LOG");
    return log ? read_file(log).size() : 0;
}

// One service, installed from its own folder and removed at the end.
class ServiceUnderWine : public testing::Test {
protected:
    std::string dir, app, name, runtime_log;

    void make(const std::string &config, const std::string &options = "")
    {
        static int counter;
        dir = make_temp_dir("service");
        name = "TrevaloTest" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++counter);
        runtime_log = dir + "\\runtime.log";
        app = make_launcher(dir, "search_order = 0\nruntime_paths = " + build_dir() +
                                     "\\test-runtime\\bin\\client\\jvm.dll\nservice_name = " + name + "\njvm_options = " +
                                     "-Dtrevalo.test.log=" + runtime_log + " " + options + "\n" +
                                     config);
    }

    void TearDown() override
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS)
                                    : nullptr;
        if (service) {
            SERVICE_STATUS s;
            ControlService(service, SERVICE_CONTROL_STOP, &s);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager)
            CloseServiceHandle(manager);
    }

    run_result run(const std::string &args)
    {
        return run_answering(quote(app) + " " + args, dir, HANG_MS);
    }

    SC_HANDLE open_service(DWORD access)
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, name.c_str(), access);
        CloseServiceHandle(manager);
        return service;
    }

    SERVICE_STATUS status()
    {
        SERVICE_STATUS s = {};
        SC_HANDLE service = open_service(SERVICE_QUERY_STATUS);
        QueryServiceStatus(service, &s);
        CloseServiceHandle(service);
        return s;
    }

    // Waits until the service reports state; false only when it never does (a hang).
    bool wait_state(DWORD state)
    {
        return wait_until([&] { return status().dwCurrentState == state; }, 50);
    }

    bool start(const char *parameter = nullptr)
    {
        SC_HANDLE service = open_service(SERVICE_START);
        const char *parameters[] = {parameter};
        bool ok = StartServiceA(service, parameter ? 1 : 0, parameter ? parameters : nullptr);
        CloseServiceHandle(service);
        return ok;
    }

    bool control(DWORD code, SERVICE_STATUS *s)
    {
        SC_HANDLE service = open_service(SERVICE_STOP | SERVICE_INTERROGATE);
        bool ok = ControlService(service, code, s);
        CloseServiceHandle(service);
        return ok;
    }

    // Waits until the runtime's log holds a line starting with prefix; when it never does,
    // fails saying what the log held.
    testing::AssertionResult wait_logged(const std::string &prefix)
    {
        std::vector<std::string> lines;
        if (wait_until([&] {
                lines = read_lines(runtime_log);
                return std::any_of(lines.begin(), lines.end(), [&](const std::string &line) {
                    return line.compare(0, prefix.size(), prefix) == 0;
                });
            }, 50))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "no line \"" << prefix << "\" in "
                                           << testing::PrintToString(lines);
    }

    // Waits until count event-log records were written since offset, and returns them.
    std::vector<std::string> wait_records(size_t offset, size_t count)
    {
        std::vector<std::string> records;
        wait_until([&] { return (records = event_records(offset)).size() >= count; }, 50);
        return records;
    }

    // The raw DependOnService value of the service's record; empty when there is none.
    std::string depend_on_service()
    {
        char buffer[1024];
        DWORD size = sizeof buffer;
        std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "DependOnService", RRF_RT_ANY,
                         nullptr, buffer, &size) != ERROR_SUCCESS)
            return "";
        return std::string(buffer, size);
    }

    // The service's record as the manager answers it (QueryServiceConfigA and, for the
    // description, QueryServiceConfig2A); found is false when it has no such service.
    struct manager_record {
        bool found = false;
        DWORD start_type = 0, service_type = 0;
        std::string command, account, description, display_name;
    };
    manager_record query_record()
    {
        manager_record record;
        SC_HANDLE service = open_service(SERVICE_QUERY_CONFIG);
        if (!service)
            return record;
        std::vector<char> buffer(8192);
        DWORD needed;
        auto *config = (QUERY_SERVICE_CONFIGA *)buffer.data();
        if (QueryServiceConfigA(service, config, (DWORD)buffer.size(), &needed)) {
            record.found = true;
            record.start_type = config->dwStartType;
            record.service_type = config->dwServiceType;
            record.display_name = config->lpDisplayName ? config->lpDisplayName : "";
            record.command = config->lpBinaryPathName ? config->lpBinaryPathName : "";
            record.account = config->lpServiceStartName ? config->lpServiceStartName : "";
        }
        auto *description = (SERVICE_DESCRIPTIONA *)buffer.data();
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, (BYTE *)buffer.data(),
                                 (DWORD)buffer.size(), &needed) &&
            description->lpDescription)
            record.description = description->lpDescription;
        CloseServiceHandle(service);
        return record;
    }

    // The error with which the manager answers a query of level (0: it answered).
    DWORD query_error(DWORD level)
    {
        SC_HANDLE service = open_service(SERVICE_QUERY_CONFIG);
        std::vector<char> buffer(8192);
        DWORD needed;
        bool answered = QueryServiceConfig2A(service, level, (BYTE *)buffer.data(),
                                             (DWORD)buffer.size(), &needed);
        DWORD error = answered ? 0 : GetLastError();
        CloseServiceHandle(service);
        return error;
    }

    std::string registry_text(const std::string &key, const char *value)
    {
        char buffer[1024] = "";
        DWORD size = sizeof buffer;
        RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, nullptr,
                     buffer, &size);
        return buffer;
    }
};

TEST_F(ServiceUnderWine, InstallsQueriesAndUninstalls)
{
    make("main_class = trevalo.test.Wait\nstop_args = stop\n"
         "service_description = Trevalo test service\n"
         "service_dependencies = Alpha;Beta\nmanual_start = 1\n");
    run_result installed = run("-install");
    EXPECT_EQ(installed.exit_code, 0u);
    ASSERT_EQ(installed.boxes.size(), 1u);
    EXPECT_EQ(installed.boxes[0].text, "Service installed: " + name);
    EXPECT_EQ(installed.boxes[0].caption, "Information");
    EXPECT_EQ(installed.boxes[0].icon, "information");

    manager_record record = query_record();
    ASSERT_TRUE(record.found);
    EXPECT_EQ(record.command, "\"" + app + "\" -startlauncherinservicemode");
    EXPECT_EQ(record.start_type, (DWORD)SERVICE_DEMAND_START);
    EXPECT_EQ(record.service_type, (DWORD)SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(record.display_name, name);
    EXPECT_EQ(record.description, "Trevalo test service");
    // The whole list, as the manager stored it (Wine's query answers none: read the record).
    EXPECT_EQ(depend_on_service(), std::string("Alpha\0Beta\0\0", 12));

    std::string event_key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
    EXPECT_EQ(registry_text(event_key, "EventMessageFile"), app);
    DWORD types = 0, size = sizeof types;
    RegGetValueA(HKEY_LOCAL_MACHINE, event_key.c_str(), "TypesSupported", RRF_RT_REG_DWORD,
                 nullptr, &types, &size);
    EXPECT_EQ(types, 7u);
    // Written by the manager, as a plain string: one it can load again at its next start.
    DWORD type = 0;
    RegGetValueA(HKEY_LOCAL_MACHINE, ("SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(),
                 "Description", RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    // A shutdown of the system gives the application the stop's time: 30 s and the margin.
    SC_HANDLE configured = open_service(SERVICE_QUERY_CONFIG);
    SERVICE_PRESHUTDOWN_INFO preshutdown = {};
    DWORD needed;
    EXPECT_TRUE(QueryServiceConfig2A(configured, SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                     (BYTE *)&preshutdown, sizeof preshutdown, &needed));
    CloseServiceHandle(configured);
    EXPECT_EQ(preshutdown.dwPreshutdownTimeout, 40000u);

    // Installing again from the same launcher brings the record up to date (a start type
    // changed behind the builder's back here), as information with status 0.
    ASSERT_TRUE(replace_setting(app, 1328, "0"));
    run_result again = run("-install");
    EXPECT_EQ(again.exit_code, 0u) << "installing again is not a failure";
    ASSERT_EQ(again.boxes.size(), 1u);
    EXPECT_EQ(again.boxes[0].text, "Service updated: " + name);
    EXPECT_EQ(again.boxes[0].icon, "information");
    EXPECT_EQ(query_record().start_type, (DWORD)SERVICE_AUTO_START);

    // Removing a running service stops it first; its event-log source goes with it.
    ASSERT_TRUE(start());
    ASSERT_TRUE(wait_state(SERVICE_RUNNING));
    run_result removed = run("-uninstall");
    EXPECT_EQ(removed.exit_code, 0u);
    ASSERT_EQ(removed.boxes.size(), 1u);
    EXPECT_EQ(removed.boxes[0].text, "Service uninstalled: " + name);
    EXPECT_EQ(open_service(SERVICE_QUERY_CONFIG), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(wait_logged("stopped trevalo/test/Wait")) << "stopped before it was removed";
    EXPECT_EQ(registry_text(event_key, "EventMessageFile"), "") << "the source is gone";

    // Removing what is not there fails: the system's reason, and a status that says so.
    run_result missing = run("-uninstall");
    EXPECT_EQ(missing.exit_code, (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);
    ASSERT_EQ(missing.boxes.size(), 1u);
    EXPECT_EQ(missing.boxes[0].caption, "Error");
    EXPECT_FALSE(missing.boxes[0].text.empty());
}

// Another program's service of the same name is no service of this launcher's: installing over
// it is an error, and it stays as it was.
TEST_F(ServiceUnderWine, InstallOverAnotherProgramsService)
{
    make("main_class = trevalo.test.Wait\n");
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE other = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_NORMAL, "C:\\other\\server.exe", nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    CloseServiceHandle(other);
    CloseServiceHandle(manager);
    run_result installed = run("-install");
    EXPECT_EQ(installed.exit_code, (DWORD)ERROR_SERVICE_EXISTS);
    ASSERT_EQ(installed.boxes.size(), 1u);
    EXPECT_EQ(installed.boxes[0].text, "Service is already installed: " + name);
    EXPECT_EQ(installed.boxes[0].icon, "error");
    EXPECT_EQ(query_record().command, "C:\\other\\server.exe");
}

// -start, -stop and -status with the statuses a script tests: 0 running, 3 stopped, and a
// start that fails ends with the exit code of the run.
TEST_F(ServiceUnderWine, OperatedFromTheCommandLine)
{
    make("main_class = trevalo.test.Wait\nstop_args = stop\nmanual_start = 1\n");
    ASSERT_EQ(run("-install").exit_code, 0u);
    const struct {
        const char *argument;
        DWORD status;
        std::string box;
    } steps[] = {
        {"-status", 3, "The " + name + " service is stopped."},
        {"-start", 0, "The " + name + " service is running."},
        {"-status", 0, "The " + name + " service is running."},
        {"-stop", 0, "The " + name + " service is stopped; last exit code 0."},
    };
    for (const auto &step : steps) {
        run_result r = run(step.argument);
        EXPECT_EQ(r.exit_code, step.status) << step.argument;
        ASSERT_EQ(r.boxes.size(), 1u) << step.argument;
        EXPECT_EQ(r.boxes[0].text, step.box) << step.argument;
    }
    EXPECT_TRUE(wait_logged("stopped trevalo/test/Wait"));

    // No runtime: the start fails, and says so with the run's exit code.
    ASSERT_TRUE(replace_setting(app, 1040, dir + "\\missing\\jvm.dll"));
    run_result failed = run("-start");
    EXPECT_EQ(failed.exit_code, 1u);
    ASSERT_EQ(failed.boxes.size(), 1u);
    EXPECT_EQ(failed.boxes[0].text, "The " + name + " service is stopped; last exit code 1. "
                                    "The Application event log's records of it say why.");
    EXPECT_EQ(failed.boxes[0].icon, "error");

}

// A stop calls main again, or ends the run through System.exit; either way the run ends
// cleanly.
TEST_F(ServiceUnderWine, StopsByCallingMainAgainOrThroughSystemExit)
{
    // The arguments in any language, whatever the code page; a minimum Java version that is no
    // JNI version does not cost the stop call's thread its name.
    // The user's options file, malformed, is never read by a service: no record reports it.
    char appdata[MAX_PATH];
    ASSERT_TRUE(GetEnvironmentVariableA("APPDATA", appdata, sizeof appdata));
    std::string file = "TrevaloTest" + std::to_string(GetCurrentProcessId()) + ".options";
    std::string user_options = std::string(appdata) + "\\" + file;
    write_file(user_options, "not an option\n");
    const struct {
        std::string config;
        const char *parameter;              // the start's, which the service ignores
        std::string started;                // the start of the line main logs
        std::vector<std::string> stopped;   // the starts of the lines the stop logs
        std::vector<std::string> arguments; // lines of main's arguments in the log
    } cases[] = {
        {"service_args = svc-a \u0416\u0443\u043a\U0001F600\nstop_args = stop \u65e5\u672c\u8a9e\n"
         "java_version = 0x000B0000\nuser_options_file = " + file + "\n",
         "ignored-start-parameter", "main trevalo/test/Wait argc=2",
         {"main trevalo/test/Wait argc=2 thread=Trevalo stopper thread"},
         {"arg[0]=svc-a", "arg[1]=\u0416\u0443\u043a\U0001F600", "arg[1]=\u65e5\u672c\u8a9e"}},
        {"stop_with_exit = 1\n", nullptr, "main trevalo/test/Wait",
         {"exit 0 thread=Trevalo stopper thread", "shutdown_hook"}, {}},
    };
    for (const auto &c : cases) {
        make("main_class = trevalo.test.Wait\n" + c.config);
        // By hand, the service switch shows nothing and ends with 0.
        run_result by_hand = run("-startlauncherinservicemode");
        EXPECT_EQ(by_hand.exit_code, 0u) << c.config;
        EXPECT_TRUE(by_hand.boxes.empty()) << c.config;
        ASSERT_EQ(run("-install").exit_code, 0u);
        size_t offset = log_size();
        ASSERT_TRUE(start(c.parameter));
        ASSERT_TRUE(wait_state(SERVICE_RUNNING)) << c.config;
        ASSERT_TRUE(wait_logged(c.started));

        SERVICE_STATUS s;
        ASSERT_TRUE(control(SERVICE_CONTROL_INTERROGATE, &s));
        EXPECT_EQ(s.dwCurrentState, (DWORD)SERVICE_RUNNING) << c.config;

        ASSERT_TRUE(control(SERVICE_CONTROL_STOP, &s));
        ASSERT_TRUE(wait_state(SERVICE_STOPPED)) << c.config;
        SERVICE_STATUS final_status = status();
        EXPECT_EQ(final_status.dwWin32ExitCode, 0u) << c.config;
        EXPECT_EQ(final_status.dwCheckPoint, 0u) << c.config;
        for (const std::string &line : c.stopped)
            EXPECT_TRUE(wait_logged(line));
        auto lines = read_lines(runtime_log);
        for (const std::string &argument : c.arguments)
            EXPECT_NE(std::find(lines.begin(), lines.end(), argument), lines.end()) << argument;
        EXPECT_EQ(event_records(offset),
                  (std::vector<std::string>{"info The " + name + " service has started.",
                                            "info The " + name + " service has stopped."}))
            << c.config;
        TearDown();
    }
    DeleteFileA(user_options.c_str());
}

TEST_F(ServiceUnderWine, RunsFromAFolderOutsideTheCodePage)
{
    make("main_class = trevalo.test.Wait\nstop_args = stop\n"
         "service_description = \u0421\u043b\u0443\u0436\u0431\u0430 \u65e5\u672c\n");
    std::string folder = dir + "\\\u0421\u043b\u0443\u0436\u0431\u044b \u65e5\u672c";
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr));
    ASSERT_TRUE(MoveFileW(wide(app).c_str(), wide(folder + "\\app.exe").c_str()));
    app = folder + "\\app.exe";
    ASSERT_EQ(run("-install").exit_code, 0u);
    // The manager keeps the path and the description as they are.
    SC_HANDLE service = open_service(SERVICE_QUERY_CONFIG);
    std::vector<BYTE> buffer(8192);
    DWORD needed;
    auto *config = (QUERY_SERVICE_CONFIGW *)buffer.data();
    ASSERT_TRUE(QueryServiceConfigW(service, config, (DWORD)buffer.size(), &needed));
    EXPECT_EQ(utf8(config->lpBinaryPathName), quote(app) + " -startlauncherinservicemode");
    auto *description = (SERVICE_DESCRIPTIONW *)buffer.data();
    ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     (DWORD)buffer.size(), &needed));
    EXPECT_EQ(utf8(description->lpDescription), "\u0421\u043b\u0443\u0436\u0431\u0430 \u65e5\u672c");
    CloseServiceHandle(service);

    ASSERT_TRUE(start());
    EXPECT_TRUE(wait_logged("main trevalo/test/Wait argc=0"));
    SERVICE_STATUS s;
    ASSERT_TRUE(control(SERVICE_CONTROL_STOP, &s));
    EXPECT_TRUE(wait_state(SERVICE_STOPPED));
    EXPECT_EQ(status().dwWin32ExitCode, 0u);
}

TEST_F(ServiceUnderWine, FailedRunsAreRecordedAndReported)
{
    // No runtime at its path: the failure reaches the event log and the manager, with where
    // to download one; the service never ran (it was start-pending until it stopped). Then
    // the application ends the process through the virtual machine's hooks: a non-zero
    // System.exit, an abort while the virtual machine is created, and a System.exit(5) from
    // another thread once main has thrown (its report comes first). Each is a failed run
    // whose service-specific code is the status, so that recovery actions apply. (Every other
    // way a run ends is decided the same way and checked on the host.)
    const struct {
        const char *config, *options;
        DWORD code;
        std::vector<std::string> records; // their starts; the name stands for "%s"
        bool no_runtime = false;          // the runtime's path names no file
    } failures[] = {
        {"main_class = trevalo.test.Wait\ndownload_url = https://example.invalid/java\n", "", 1,
         {"error Unable to locate suitable Java Runtime Environment on this machine."
          "\\n\\nJava can be downloaded from https://example.invalid/java",
          "error The %s service failed to start."},
         true},
        {"main_class = trevalo.test.Exit\nservice_args = 3\n", "", 3,
         {"info The %s service has started.",
          "error The %s service's application ended with status 3."}},
        {"main_class = trevalo.test.Args\n", "-Xmx1", 1,
         {"error Unable to create JVM instance using ", "error The %s service failed to start."}},
        {"main_class = trevalo.test.ThreadExit\n", "", 5,
         {"info The %s service has started.",
          "error Error invoking method: main(java/lang/String[])",
          "error Exception in thread ", // what the virtual machine printed
          "error The %s service's application ended with status 5."}},
    };
    for (const auto &f : failures) {
        make(f.config, f.options);
        if (f.no_runtime)
            ASSERT_TRUE(replace_setting(app, 1040, dir + "\\missing\\jvm.dll"));
        ASSERT_EQ(run("-install").exit_code, 0u);
        size_t offset = log_size();
        ASSERT_TRUE(start());
        ASSERT_TRUE(wait_state(SERVICE_STOPPED)) << f.config;
        EXPECT_EQ(status().dwWin32ExitCode, (DWORD)ERROR_SERVICE_SPECIFIC_ERROR) << f.config;
        EXPECT_EQ(status().dwServiceSpecificExitCode, f.code) << f.config;
        auto records = wait_records(offset, f.records.size());
        ASSERT_EQ(records.size(), f.records.size()) << f.config << testing::PrintToString(records);
        for (size_t i = 0; i < records.size(); i++) {
            std::string expected = f.records[i];
            size_t at = expected.find("%s");
            if (at != std::string::npos)
                expected.replace(at, 2, name);
            EXPECT_EQ(records[i].find(expected), 0u) << records[i];
        }
        TearDown();
    }
}

TEST_F(ServiceUnderWine, TheRealRuntimeRecordsTheStackTrace)
{
    if (java8_library().empty())
        GTEST_SKIP() << "no real Java 8 runtime for this architecture (../shared/jre8-x86)";
    // A service argument that is no number: the record holds the exception and its stack (the
    // debug channel shows only the start of a long record).
    make("main_class = trevalo.fixture.Exit\nservice_args = abc\nclass_path = " +
         java8_fixtures() + "\n");
    ASSERT_TRUE(replace_setting(app, 1040, java8_library()));
    ASSERT_EQ(run("-install").exit_code, 0u);
    size_t offset = log_size();
    ASSERT_TRUE(start());
    ASSERT_TRUE(wait_state(SERVICE_STOPPED));
    EXPECT_EQ(status().dwServiceSpecificExitCode, 1u);
    auto records = wait_records(offset, 3);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].find("error Error invoking method: main(java/lang/String[])\\n\\n"
                              "java.lang.NumberFormatException: For input string: "),
              0u) << records[1];
    EXPECT_NE(records[1].find("\\n\\tat java.lang.Integer.parseInt("), std::string::npos)
        << records[1];
}

// Output files keep their history across starts (appended to, rotated by size) next to the
// launcher, though the service's working directory is the system's folder. Each way the
// history is kept is decided on the host; this is the service's real run.
TEST_F(ServiceUnderWine, OutputFilesKeepTheirHistory)
{
    const std::string line = "trevalo.test.Args: standard output\r\n", old(2048, 'x');
    make("main_class = trevalo.test.Args\nstdout_file = out.log\nreturn_to_startup_dir = 1\n"
         "output_append = 1\noutput_max_kb = 1\noutput_keep = 2\n");
    write_file(dir + "\\out.log", old);
    ASSERT_EQ(run("-install").exit_code, 0u);
    for (int i = 0; i < 3; i++) {
        size_t offset = log_size();
        ASSERT_TRUE(start());
        ASSERT_TRUE(wait_state(SERVICE_STOPPED));
        wait_records(offset, 2);
    }
    EXPECT_EQ(read_file(dir + "\\out.log"), line + line + line);
    EXPECT_EQ(read_file(dir + "\\out.log.1"), old);
    EXPECT_FALSE(file_exists(dir + "\\out.log.2"));

    // A folder that cannot be made (a file is in its place): -start says so itself.
    // The service's process may still hold the launcher a moment after it reports stopped.
    ASSERT_TRUE(wait_until([&] { return replace_setting(app, 1376, "out.log\\err.log"); }, 50));
    run_result refused = run("-start");
    EXPECT_EQ(refused.boxes.at(0).text.find("Error writing to file/directory: " + dir +
                                            "\\out.log\\err.log\n\nReason: "), 0u);
    // A second name of another file, put where the service writes: refused, that file kept.
    write_file(dir + "\\victim.txt", "kept");
    CreateHardLinkA((dir + "\\linked.log").c_str(), (dir + "\\victim.txt").c_str(), nullptr);
    ASSERT_TRUE(replace_setting(app, 1376, "linked.log"));
    size_t offset = log_size();
    ASSERT_TRUE(start() && wait_state(SERVICE_STOPPED));
    EXPECT_EQ(read_file(dir + "\\victim.txt"), "kept");
    EXPECT_NE(wait_records(offset, 2).at(0).find("linked.log is not a plain file of its own"),
              std::string::npos);
}

// stop_timeout_seconds: the stop's wait hint says it to the manager; a stop that the
// application ignores is cut short after it and ends as a failure, so that the manager, the
// event log and monitoring see it. (A stop that ends in time is clean, as the other tests
// show; each end is decided on the host.)
TEST_F(ServiceUnderWine, StopTimeOuts)
{
    make("stop_args = stop\nmain_class = trevalo.test.Ignore\nstop_timeout_seconds = 5\n");
    ASSERT_EQ(run("-install").exit_code, 0u);
    size_t offset = log_size();
    ASSERT_TRUE(start());
    ASSERT_TRUE(wait_logged("main trevalo/test/"));
    SERVICE_STATUS s;
    DWORD stop_start = GetTickCount();
    ASSERT_TRUE(control(SERVICE_CONTROL_STOP, &s));
    // As the manager answered the stop: the handler told it before it returned.
    EXPECT_EQ(s.dwCurrentState, (DWORD)SERVICE_STOP_PENDING);
    EXPECT_EQ(s.dwWaitHint, 15000u);
    ASSERT_TRUE(wait_state(SERVICE_STOPPED));
    EXPECT_GE(GetTickCount() - stop_start, 5000u) << "the stop is given its whole time";
    EXPECT_TRUE(wait_logged("stop ignored trevalo/test/Ignore"));
    EXPECT_EQ(status().dwWin32ExitCode, (DWORD)ERROR_SERVICE_SPECIFIC_ERROR);
    EXPECT_EQ(status().dwServiceSpecificExitCode, 1u);
    EXPECT_EQ(wait_records(offset, 2),
              (std::vector<std::string>{"info The " + name + " service has started.",
                                        "error The " + name + " service has timed out during a "
                                        "stop request and will be terminated."}));
}

// Recovery, the delayed start and the account, as installed and as the manager answers them.
// Wine 8's manager keeps no failure actions, no failure-actions flag and no delayed start: it
// takes the failure-actions call but only logs it (with the reset period, see
// failure_actions_logged), its ChangeServiceConfig2A refuses the flag and the delayed start with
// ERROR_INVALID_PARAMETER, QueryServiceConfig2A answers ERROR_INVALID_LEVEL for all three levels,
// and none of them reaches the registry. So here the install must say that the manager did not
// accept them, and the manager's log must show the failure actions it was given. The account
// is kept (the record's ObjectName) and answered by QueryServiceConfigA. Which settings ask
// the manager for what, and an account the launcher does not know, are decided on the host.
TEST_F(ServiceUnderWine, RecoveryDelayedStartAndAccount)
{
    const struct {
        const char *config;
        std::string account;  // as the manager answers it; "virtual": NT SERVICE\<name>
        int failure_actions;  // failure-actions calls the manager logged
        std::vector<std::string> refused;  // the settings the install said were not accepted
    } cases[] = {
        {"", "LocalSystem", 0, {}},
        {"service_account = LocalService\n", "NT AUTHORITY\\LocalService", 0, {}},
        {"service_account = virtual\nrestart_seconds = 86400\ndelayed_start = true\n", "virtual", 1,
         {"restart_seconds", "delayed_start"}},
    };
    for (const auto &c : cases) {
        make(std::string("main_class = trevalo.test.Wait\n") + c.config);
        size_t offset = log_size();
        run_result installed = run("-install");
        EXPECT_EQ(installed.exit_code, 0u) << c.config << "refusals do not fail the install";
        std::string shown;
        for (const message_box &box : installed.boxes)
            shown += "[" + box.caption + "] " + box.text + "\n";
        ASSERT_EQ(installed.boxes.size(), c.refused.size() + 1) << c.config << shown;
        for (size_t i = 0; i < c.refused.size(); i++) {
            EXPECT_EQ(installed.boxes[i].text.find(
                          "The service is installed, but the service manager did not accept "
                          "its " + c.refused[i] + " setting.\n\nReason: "),
                      0u) << installed.boxes[i].text;
            EXPECT_EQ(installed.boxes[i].icon, "error");
        }
        EXPECT_EQ(installed.boxes.back().text, "Service installed: " + name);

        manager_record record = query_record();
        ASSERT_TRUE(record.found) << c.config;
        EXPECT_EQ(record.account, c.account == "virtual" ? "NT SERVICE\\" + name : c.account)
            << c.config;
        EXPECT_EQ(failure_actions_logged(offset), c.failure_actions) << c.config;
        for (DWORD level : {SERVICE_CONFIG_FAILURE_ACTIONS, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                            SERVICE_CONFIG_DELAYED_AUTO_START_INFO})
            EXPECT_EQ(query_error(level), (DWORD)ERROR_INVALID_LEVEL) << "Wine keeps none";
        TearDown();
    }
}

// What an install keeps across a restart of the system: the manager loads the services from
// the registry only when it starts, so the wineserver is started again between the two halves
// (run-wine-tests.sh does it when this test asks for it through TREVALO_WINE_RESTART). Before:
// install each row and keep its name, folder and dependency record. After: the service is
// there with its start type, account, description and dependency record; an automatic one was
// started by the manager itself, a manual one starts; each runs, records its start in the
// event log and stops. (Wine keeps no recovery and no delayed start to find again.)
TEST_F(ServiceUnderWine, InstallSurvivesARestart)
{
    const struct {
        const char *config;
        DWORD start_type;
        std::string account, description;  // account "virtual": NT SERVICE\<name>
    } cases[] = {
        {"service_description = Kept across a restart\nservice_dependencies = Alpha;Beta\n"
         "manual_start = 1\n",
         SERVICE_DEMAND_START, "LocalSystem", "Kept across a restart"},
        {"service_description = Started at boot\nservice_account = LocalService\n"
         "restart_seconds = 5\ndelayed_start = 1\n",
         SERVICE_AUTO_START, "NT AUTHORITY\\LocalService", "Started at boot"},
        {"service_account = virtual\nrestart_seconds = 5\nmanual_start = 1\n",
         SERVICE_DEMAND_START, "virtual", ""},
        {"service_description = Network\nservice_account = NetworkService\nmanual_start = 1\n",
         SERVICE_DEMAND_START, "NT AUTHORITY\\NetworkService", "Network"},
    };
    const char *restart = getenv("TREVALO_WINE_RESTART");
    if (!restart)
        GTEST_SKIP() << "needs a restart of the wineserver: run it through run-wine-tests.sh";
    std::string state = std::string(restart) + "\\ServiceUnderWine.InstallSurvivesARestart";

    // False when the manager has no such service.
    auto check = [&](size_t row, const std::string &dependencies) {
        const auto &c = cases[row];
        manager_record record = query_record();
        EXPECT_TRUE(record.found) << c.config;
        if (!record.found)
            return false;
        EXPECT_EQ(record.command, "\"" + app + "\" -startlauncherinservicemode");
        EXPECT_EQ(record.start_type, c.start_type) << c.config;
        EXPECT_EQ(record.account, c.account == "virtual" ? "NT SERVICE\\" + name : c.account);
        EXPECT_EQ(record.description, c.description) << c.config;
        EXPECT_EQ(depend_on_service(), dependencies) << c.config;
        return true;
    };

    if (!getenv("TREVALO_WINE_RESTARTED")) {
        for (size_t row = 0; row < std::size(cases); row++) {
            make(std::string("main_class = trevalo.test.Wait\nstop_args = stop\n") +
                 cases[row].config);
            ASSERT_EQ(run("-install").exit_code, 0u) << cases[row].config;
            // Only the first name reaches Wine's record (see InstallsQueriesAndUninstalls).
            std::string dependencies = depend_on_service();
            EXPECT_EQ(dependencies.substr(0, 6), row == 0 ? std::string("Alpha\0", 6) : "");
            check(row, dependencies);
            // Kept for the second half, which removes it; the record's NULs as '|'.
            std::replace(dependencies.begin(), dependencies.end(), '\0', '|');
            write_file(state, read_file(state) + std::to_string(row) + " " + name + " " + dir +
                                  " " + dependencies + "\n");
            name.clear();
        }
        return;
    }

    std::vector<std::string> names;
    for (const std::string &line : read_lines(state)) {
        size_t row = std::stoul(line);
        size_t first = line.find(' '), second = line.find(' ', first + 1);
        size_t third = line.find(' ', second + 1);
        name = line.substr(first + 1, second - first - 1);
        dir = line.substr(second + 1, third - second - 1);
        app = dir + "\\app.exe";
        runtime_log = dir + "\\runtime.log";
        std::string dependencies = line.substr(third + 1);
        std::replace(dependencies.begin(), dependencies.end(), '|', '\0');
        names.push_back(name);

        if (!check(row, dependencies))
            continue;
        if (cases[row].start_type == SERVICE_DEMAND_START) {
            EXPECT_EQ(status().dwCurrentState, (DWORD)SERVICE_STOPPED) << cases[row].config;
            EXPECT_TRUE(start()) << cases[row].config;
        }
        EXPECT_TRUE(wait_state(SERVICE_RUNNING)) << cases[row].config;
        EXPECT_TRUE(wait_logged("main trevalo/test/Wait")) << cases[row].config;
        SERVICE_STATUS s;
        EXPECT_TRUE(control(SERVICE_CONTROL_STOP, &s)) << cases[row].config;
        EXPECT_TRUE(wait_state(SERVICE_STOPPED)) << cases[row].config;
        TearDown();
    }
    EXPECT_EQ(names.size(), std::size(cases));
    // From the start: the boot's records come early. Each service stopped, so its start was
    // recorded before; wait until the log shows them.
    auto all_started = [&] {
        auto records = event_records(0);
        for (const std::string &n : names)
            if (std::count(records.begin(), records.end(),
                           "info The " + n + " service has started.") == 0)
                return false;
        return true;
    };
    wait_until(all_started, 50);
    auto records = event_records(0);
    for (const std::string &n : names)
        EXPECT_EQ(std::count(records.begin(), records.end(),
                             "info The " + n + " service has started."), 1) << n;
}

} // namespace
