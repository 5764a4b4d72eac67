// The service switches against the fake manager: the record an install writes, what it says,
// and the status a script sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/arguments.h"
#include "config/settings.h"
#include "os/os.h"
#include "os/report.h"
#include "service/service.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/fake_service.h"
#include "tests/unit/test_settings.h"

namespace {

// The settings the switches are given: kept for the whole run, each text replaced as a case
// sets it.
launcher_settings test_settings = blank_settings();
launcher_settings *const s = &test_settings;
const char *const LAUNCHER = "/opt/app/app.exe";
const std::string COMMAND = std::string("\"") + LAUNCHER + "\" -startlauncherinservicemode";
const std::string EVENT_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Svc";

class ServiceInstall : public testing::Test {
protected:
    void SetUp() override
    {
        s->restart_seconds = 0;
        s->delayed_start = s->manual_start = false;
        s->stop_timeout_seconds = 0;
        const std::pair<char **, const char *> texts[] = {
            {&s->service_name, "Svc"},
            {&s->install_switch, "-install"},
            {&s->uninstall_switch, "-uninstall"},
            {&s->service_switch, "-startlauncherinservicemode"},
            {&s->msg_installed, "Service installed: %s"},
            {&s->msg_uninstalled, "Service uninstalled: %s"},
            {&s->msg_already_installed, "Service is already installed: %s"},
            {&s->start_switch, "-start"},
            {&s->stop_switch, "-stop"},
            {&s->status_switch, "-status"},
            {&s->service_description, ""},
            {&s->service_account, ""},
            {&s->service_dependencies, ""},
        };
        for (const auto &text : texts)
            set_text(text.first, text.second);
        set_message_sink(nullptr);
        fake_executable_path(LAUNCHER);
        fake_registry_clear();
        fake_service_reset();
        reported.clear();
    }
    void TearDown() override
    {
        fake_executable_path(nullptr);
        fake_service_reset();
    }

    // Runs the launcher with the single argument; returns the status it ends with.
    int run_switch(const char *argument)
    {
        char program[] = "app.exe";
        std::string copy = argument;
        char *vector[] = {program, &copy[0]};
        int status = -1;
        EXPECT_TRUE(dispatch_service_switch(*s, 2, vector, &status)) << argument;
        return status;
    }

    std::string event_message_file()
    {
        char buffer[PATH_SIZE] = "";
        query_registry_text(REGISTRY_MACHINE, EVENT_KEY.c_str(), "EventMessageFile", buffer,
                            sizeof buffer);
        return buffer;
    }
};

TEST_F(ServiceInstall, WritesTheRecordAndSaysWhatTheManagerRefused)
{
    const struct {
        const char *what;
        std::vector<std::pair<char **, const char *>> texts;
        int restart_seconds, delayed_start, manual_start;
        const char *refused; // the manager call that fails, with error 87
        int status;
        std::vector<std::string> reports;
        unsigned restart_delay_ms;
        bool delayed;
        const char *description;
    } cases[] = {
        {"plain", {}, 0, 0, 0, nullptr, 0, {"Service installed: Svc"}, 0, false, ""},
        {"described", {{&s->service_description, "Serves"}}, 0, 0, 0, nullptr, 0,
         {"Service installed: Svc"}, 0, false, "Serves"},
        {"restarts after 5 s", {}, 5, 0, 0, nullptr, 0, {"Service installed: Svc"}, 5000, false,
         ""},
        {"restarts after the longest delay", {}, 5000000, 0, 0, nullptr, 0,
         {"Service installed: Svc"}, 4294967000u, false, ""},
        {"delayed start", {}, 0, 1, 0, nullptr, 0, {"Service installed: Svc"}, 0, true, ""},
        {"delayed start of a manual service", {}, 0, 1, 1, nullptr, 0,
         {"Service installed: Svc"}, 0, false, ""},
        {"restarts refused", {}, 5, 0, 0, "restarts", 0,
         {"The service is installed, but the service manager did not accept its "
          "restart_seconds setting.\n\nReason: (reason)",
          "Service installed: Svc"},
         0, false, ""},
        {"delayed start refused", {}, 0, 1, 0, "delayed", 0,
         {"The service is installed, but the service manager did not accept its "
          "delayed_start setting.\n\nReason: (reason)",
          "Service installed: Svc"},
         0, false, ""},
        {"description refused", {{&s->service_description, "Serves"}}, 0, 0, 0,
         "description", 87, {"(reason)"}, 0, false, ""},
    };
    for (const auto &c : cases) {
        SetUp();
        for (const auto &text : c.texts)
            set_text(text.first, text.second);
        s->restart_seconds = c.restart_seconds;
        s->delayed_start = c.delayed_start;
        s->manual_start = c.manual_start;
        if (c.refused)
            fake_service_refuse(c.refused, 87);
        EXPECT_EQ(run_switch("-install"), c.status) << c.what;
        EXPECT_EQ(reported, c.reports) << c.what;
        // A failed install leaves no service behind.
        ASSERT_EQ(fake_service_records_table().count("Svc"), c.status ? 0u : 1u) << c.what;
        if (c.status)
            continue;
        const fake_record &record = fake_service_records_table()["Svc"];
        EXPECT_EQ(record.command, COMMAND) << c.what;
        EXPECT_EQ(record.manual_start, c.manual_start != 0) << c.what;
        EXPECT_EQ(record.restart_delay_ms, c.restart_delay_ms) << c.what;
        EXPECT_EQ(record.delayed_start, c.delayed) << c.what;
        EXPECT_EQ(record.description, c.description) << c.what;
        EXPECT_EQ(record.preshutdown_ms, 40000u) << c.what;
        EXPECT_EQ(event_message_file(), LAUNCHER) << c.what;
    }
}

TEST_F(ServiceInstall, AccountsAndDependencies)
{
    const struct {
        const char *account, *dependencies;
        std::string kept_account, kept_dependencies;
    } cases[] = {
        {"", "", "LocalSystem", ""},
        {"LocalService", "Alpha;Beta", "NT AUTHORITY\\LocalService",
         std::string("Alpha\0Beta\0", 11)},
        {"NetworkService", "", "NT AUTHORITY\\NetworkService", ""},
        {"virtual", "", "NT SERVICE\\Svc", ""},
    };
    for (const auto &c : cases) {
        SetUp();
        set_text(&s->service_account, c.account);
        set_text(&s->service_dependencies, c.dependencies);
        EXPECT_EQ(run_switch("-install"), 0) << c.account;
        EXPECT_EQ(fake_service_records_table()["Svc"].account, c.kept_account);
        EXPECT_EQ(fake_service_records_table()["Svc"].dependencies, c.kept_dependencies);
    }
    // An account the launcher does not know: refused before anything is installed.
    SetUp();
    set_text(&s->service_account, "Administrator");
    EXPECT_EQ(run_switch("-install"), 1057);
    EXPECT_TRUE(fake_service_records_table().empty());
}

TEST_F(ServiceInstall, InstallingAgain)
{
    set_text(&s->service_description, "First");
    s->restart_seconds = 5;
    EXPECT_EQ(run_switch("-install"), 0);

    // Over this launcher's own service (the path compared without regard to case): brought up
    // to date, said as information, status 0.
    fake_service_records_table()["Svc"].command =
        "\"/OPT/app/APP.exe\" -startlauncherinservicemode";
    set_text(&s->service_description, "");
    s->restart_seconds = 0;
    s->manual_start = 1;
    reported.clear();
    EXPECT_EQ(run_switch("-install"), 0) << "upgrade scripts install every time";
    EXPECT_EQ(reported, std::vector<std::string>{"Service updated: Svc"});
    const fake_record &record = fake_service_records_table()["Svc"];
    EXPECT_EQ(record.command, COMMAND);
    EXPECT_TRUE(record.manual_start);
    EXPECT_EQ(record.description, "");
    EXPECT_EQ(record.restart_delay_ms, 0u) << "the restarts taken away";

    // Over another program's service of that name: an error, and that service left alone.
    fake_service_records_table()["Svc"].command = "\"C:\\other\\server.exe\"";
    reported.clear();
    EXPECT_EQ(run_switch("-install"), 1073);
    EXPECT_EQ(reported, std::vector<std::string>{"Service is already installed: Svc"});
    EXPECT_EQ(fake_service_records_table()["Svc"].command, "\"C:\\other\\server.exe\"");
    // Nor does a removal stop or delete it.
    reported.clear();
    EXPECT_EQ(run_switch("-uninstall"), 1073);
    EXPECT_EQ(reported.at(0), "The Svc service runs another program; it was not removed.");
    EXPECT_EQ(fake_service_records_table().at("Svc").requests, "");

    // A manager that gives no answer: its reason, and a status that says so.
    fake_service_refuse("query", 5);
    reported.clear();
    EXPECT_EQ(run_switch("-install"), 5);
    EXPECT_EQ(reported, std::vector<std::string>{"(reason)"});
}

TEST_F(ServiceInstall, OperatingSwitches)
{
    const service_status running = {STATE_RUNNING, 0, 0},
                         starting = {STATE_START_PENDING, 0, 0},
                         stopping = {STATE_STOP_PENDING, 0, 0},
                         clean = {STATE_STOPPED, 0, 0}, failed3 = {STATE_STOPPED, 1066, 3},
                         failed1 = {STATE_STOPPED, 1066, 1};
    const std::string stopped_with =
        "The Svc service is stopped; last exit code ";
    const std::string why = " The Application event log's records of it say why.";
    const struct {
        const char *what, *argument;
        std::vector<service_status> answers;
        int status;
        std::vector<std::string> reports;
        const char *requests;
        bool removed;           // the record is gone
    } cases[] = {
        {"remove a stopped service", "-uninstall", {clean}, 0, {"Service uninstalled: Svc"}, "",
         true},
        {"remove a running service", "-uninstall", {running, stopping, stopping, clean}, 0,
         {"Service uninstalled: Svc"}, "stop ", true},
        {"remove a service that does not stop", "-uninstall", {running, stopping}, 1053,
         {"The Svc service did not stop; it was not removed."}, "stop ", false},
        {"start", "-start", {starting, starting, running}, 0, {"The Svc service is running."},
         "start ", false},
        {"start a running service", "-start", {running}, 0, {"The Svc service is running."},
         "start ", false},
        {"a start that fails", "-start", {starting, failed3}, 3, {stopped_with + "3." + why},
         "start ", false},
        {"a quick job that ended cleanly", "-start", {starting, clean}, 0,
         {"The Svc service started, ran and has ended; last exit code 0."}, "start ", false},
        {"stop", "-stop", {running, stopping, clean}, 0, {stopped_with + "0."}, "stop ", false},
        {"stop a stopped service", "-stop", {clean}, 0, {stopped_with + "0."}, "", false},
        {"a stop cut short", "-stop", {running, stopping, failed1}, 1, {stopped_with + "1."},
         "stop ", false},
        {"a stop that does not end", "-stop", {running, stopping}, 1053,
         {"The Svc service is stopping."}, "stop ", false},
        {"status: running", "-status", {running}, 0, {"The Svc service is running."}, "", false},
        {"status: starting", "-status", {starting}, 2, {"The Svc service is starting."}, "",
         false},
        {"status: stopped", "-status", {failed3}, 3, {stopped_with + "3."}, "", false},
        {"status: no run recorded", "-status", {{STATE_STOPPED, 1077, 0}}, 3,
         {"The Svc service is stopped."}, "", false},
        {"status: stopping as it is asked", "-status", {stopping}, 2,
         {"The Svc service is stopping."}, "", false},
    };
    for (const auto &c : cases) {
        SetUp();
        ASSERT_EQ(run_switch("-install"), 0);
        fake_service_records_table()["Svc"].answers = c.answers;
        reported.clear();
        EXPECT_EQ(run_switch(c.argument), c.status) << c.what;
        EXPECT_EQ(reported, c.reports) << c.what;
        EXPECT_EQ(fake_service_records_table().count("Svc"), c.removed ? 0u : 1u) << c.what;
        if (!c.removed) {
            EXPECT_EQ(fake_service_records_table()["Svc"].requests, c.requests) << c.what;
        }
        // The event-log source goes with the service.
        EXPECT_EQ(removed_sources, c.removed ? std::vector<std::string>{EVENT_KEY}
                                             : std::vector<std::string>{}) << c.what;
    }

    // A run that stopped while the manager started it, which answered with a request
    // time-out: the run's own end is the answer; a start that timed out otherwise is not.
    for (service_status answer : {failed3, clean}) {
        SetUp();
        ASSERT_EQ(run_switch("-install"), 0);
        fake_service_records_table()["Svc"].answers = {answer};
        fake_service_refuse("start", 1053);
        reported.clear();
        EXPECT_EQ(run_switch("-start"), answer.exit_code ? 3 : 1053);
        EXPECT_EQ(reported, std::vector<std::string>{answer.exit_code ? stopped_with + "3." + why
                                                                      : "(reason)"});
    }

    // Not installed: the manager's status for every switch, the service and the way to
    // install it named.
    for (const char *argument : {"-uninstall", "-start", "-stop", "-status"}) {
        SetUp();
        EXPECT_EQ(run_switch(argument), 1060) << argument;
        EXPECT_EQ(reported, std::vector<std::string>{"The Svc service is not installed; the "
                                                     "launcher installs it with -install."});
    }
}

// The command line split by the launcher's rule is the service run, an operating switch or
// the application's arguments: a switch counts alone, exactly as written, with a service name.
TEST_F(ServiceInstall, SwitchesOnlyWhenAloneAndExact)
{
    const std::string escaped = "a\\\"b c";  // a\"b c
    const struct {
        const char *rule, *name;
        std::string text;
        std::vector<std::string> args;  // main's; none for a switch or the service run
        bool service_run;
    } cases[] = {
        {"", "Svc", "-INSTALL", {"-INSTALL"}, false},
        {"", "Svc", "-install extra", {"-install", "extra"}, false},
        {"", "Svc", "\"-install\"", {}, false},
        {"", "", "-install", {"-install"}, false},
        {"", "Svc", "\"-startlauncherinservicemode\"", {}, true},
        {"", "", "-startlauncherinservicemode", {"-startlauncherinservicemode"}, false},
        {"", "Svc", "-startlauncherinservicemode x", {"-startlauncherinservicemode", "x"}, false},
        {"windows", "Svc", escaped, {"a\"b", "c"}, false},
        {"windows", "Svc", "5\u20ac \"caf\u00e9 \U0001F600\"", {"5\u20ac", "caf\u00e9 \U0001F600"},
         false},
        {"classic", "Svc", escaped, {escaped}, false},
        {"", "Svc", escaped, {escaped}, false},
    };
    for (const auto &c : cases) {
        SetUp();
        set_text(&s->command_line_rule, c.rule);
        set_text(&s->service_name, c.name);
        run_arguments a = read_run_arguments(*s, c.text.c_str());
        EXPECT_EQ(a.service_run, c.service_run) << c.text;
        EXPECT_EQ(a.wildcards != nullptr, std::string(c.rule) == "windows") << c.text;
        int status = -1;
        bool main_runs = !a.service_run && !dispatch_service_switch(*s, a.count, a.vector, &status);
        std::vector<std::string> args;
        for (int i = 1; i < a.count; i++) {
            if (main_runs)
                args.push_back(a.vector[i]);
            free(a.vector[i]);
        }
        EXPECT_EQ(args, c.args) << c.text;
        free(a.vector);
        free(a.wildcards);
    }
}

TEST_F(ServiceInstall, AnotherProgramsEventSourceStays)
{
    ASSERT_EQ(run_switch("-install"), 0);
    fake_registry_set_text(EVENT_KEY.c_str(), "EventMessageFile", "/opt/other/other.exe");
    EXPECT_EQ(run_switch("-uninstall"), 0);
    EXPECT_EQ(run_switch("-uninstall"), 1060) << "nor is it taken for one left behind";
    EXPECT_TRUE(removed_sources.empty());
}

} // namespace
