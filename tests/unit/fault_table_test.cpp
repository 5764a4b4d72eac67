// Counted faults: each operation that touches the system runs again and again, the N-th call
// that can fail failing (N = 1, 2, ... until the operation no longer reaches N calls). Every
// run ends as the clean run does or in one of the operation's documented failures, says so once
// (or, where the operation leaves the saying to its caller, not at all), leaks nothing, and
// leaves every file and service record either as it was or as the clean run leaves it.
#include <gtest/gtest.h>
#include <sanitizer/lsan_interface.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "config/settings.h"
#include "java/class_sharing.h"
#include "output/output_files.h"
#include "os/report.h"
#include "service/service.h"
#include "service/service_lifecycle.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/fake_service.h"
#include "tests/unit/temp_tree.h"
#include "tests/unit/test_settings.h"
#include "unpacking/embedded_files.h"

std::string jar_bytes(unsigned char crc); // class_sharing_test.cpp

namespace {

launcher_settings settings = blank_settings();
const std::regex HASH("[0-9a-f]{16}");
const char *const EVENT_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Svc";

// What a run gave: its result, and what it reported (records of the service run).
struct ran {
    std::string result;
    std::vector<std::string> reports;
};

// text without the tree's path (as the launcher writes it, or as the host does) and with "K"
// for the names and times made of it (16 hex digits).
std::string relative(std::string text, const temp_tree &tree)
{
    for (const std::string &root : {tree.name(""), temp_tree::unix(tree.name(""))})
        for (size_t at; (at = text.find(root)) != std::string::npos;)
            text.erase(at, root.size());
    return std::regex_replace(text, HASH, "K");
}

ran unpack(const temp_tree &tree, bool service)
{
    char *class_path;
    bool ok = unpack_embedded_files(settings, guard_for(service), &class_path);
    std::string result = !ok ? "failed" : class_path ? relative(class_path, tree) : "configured";
    free(class_path);
    return {result, reported};
}

ran read_ini(const temp_tree &tree, bool guarded)
{
    set_text(&settings.ini_file, tree.name("app.ini").c_str());
    set_text(&settings.jvm_options, "");
    settings.refused_ini_folder = nullptr;
    apply_ini_file(&settings, run_guard{guarded, true, false});
    std::string result = settings.jvm_options;
    if (settings.refused_ini_folder)
        result += " refused";
    free(settings.refused_ini_folder);
    return {result, reported};
}

void ini_file(const temp_tree &tree)
{
    tree.file("app.ini", "[Application Configuration]\nJvmOptions=-Xmx1g");
}

ran share_classes(const temp_tree &tree)
{
    std::string library = tree.name("jdk\\lib\\server\\libjvm.so");
    setenv("LOCALAPPDATA", temp_tree::unix(tree.path("local")).c_str(), 1);
    jvm_option_list list = {};
    list.class_path = (char **)calloc(1, sizeof(char *));
    list.class_path[list.class_path_count++] = strdup(tree.name("app.jar").c_str());
    class_sharing_action action;
    plan_class_sharing(settings, library.c_str(), guard_for(false), &list, &action);
    carry_out_class_sharing(action);
    free_class_sharing_action(&action);
    // The virtual machine writes the archive it is told to make.
    for (int i = 0; i < list.count; i++) {
        const char *made = strstr(list.options[i], "ArchiveClassesAtExit=");
        if (made)
            std::ofstream(temp_tree::unix(strchr(made, '=') + 1)) << "archive";
    }
    int count = list.count;
    free_jvm_options(&list);
    finish_class_sharing();
    unsetenv("LOCALAPPDATA");
    return {count > 0 ? "shared" : "without sharing", reported};
}

ran rotate_output(const temp_tree &tree)
{
    char *folder;
    output_problem problem =
        ready_output_file(tree.name("out.log").c_str(), {false, 1, 2, true, true}, &folder);
    free(folder);
    return {problem == OUTPUT_READY ? "ready" : problem == OUTPUT_UNWRITABLE ? "unwritable" : "?",
            reported};
}

ran service_switch(const char *argument)
{
    char program[] = "app.exe";
    std::string copy = argument;
    char *vector[] = {program, &copy[0]};
    int status = -1;
    dispatch_service_switch(settings, 2, vector, &status);
    return {status == 0 ? "done" : "failed", reported};
}

ran run_service_once(const temp_tree &)
{
    static const service_plan plan = {
        {[](void (*calling)(), void (*returned)(bool)) { return calling(), returned(true), true; },
         [] { return true; }},
        "Svc", "started", "stopped", "failed", "timed out", 30000};
    run_service(&plan);
    std::vector<told_state> told = fake_service_states();
    std::vector<std::string> records = fake_service_records();
    fake_service_reset();
    set_message_sink(nullptr);
    set_report_stack_traces(false);
    std::string result = "exit " + std::to_string(told.back().exit_code);
    if (!records.empty())
        result += " " + records.back(), records.pop_back();
    return {result, records};
}

struct failure {
    std::string result;
    size_t reports;
};

struct operation {
    const char *what;
    void (*set_up)(const temp_tree &); // what is there before it runs (null: nothing)
    ran (*run)(const temp_tree &);
    std::vector<failure> failures; // the documented ends of a failed run
    bool repeated = false; // a failed run, run again, ends as the clean run
};

const operation operations[] = {
    {"unpacking", nullptr, [](const temp_tree &t) { return unpack(t, false); },
     {{"failed", 1}, {"configured", 1}}},
    {"unpacking privately", nullptr, [](const temp_tree &t) { return unpack(t, true); },
     {{"failed", 1}, {"configured", 1}}},
    {"the INI file", ini_file, [](const temp_tree &t) { return read_ini(t, false); }, {{"", 0}}},
    {"the INI file, guarded", ini_file, [](const temp_tree &t) { return read_ini(t, true); },
     {{"", 0}, {" refused", 0}}},
    {"class sharing",
     [](const temp_tree &t) {
         t.file("jdk\\release", "JAVA_VERSION=\"17.0.15\"\n");
         t.file("jdk\\lib\\server\\classes.jsa", jar_bytes(1));
         t.file("jdk\\lib\\server\\classes_nocoops.jsa", jar_bytes(2));
         t.file("jdk\\lib\\server\\libjvm.so", "library");
         t.file("app.jar", jar_bytes(7));
     },
     share_classes, {{"without sharing", 0}}},
    {"output rotation",
     [](const temp_tree &t) { t.file("out.log", std::string(2048, 'C')), t.file("out.log.1"); },
     rotate_output, {{"unwritable", 0}}},
    {"install", nullptr, [](const temp_tree &) { return service_switch("-install"); },
     {{"failed", 1}}, true},
    {"uninstall",
     [](const temp_tree &) {
         fake_service_records_table()["Svc"].command = "\"/opt/app/app.exe\" -service";
         fake_registry_set_text(EVENT_KEY, "EventMessageFile", "/opt/app/app.exe");
     },
     [](const temp_tree &) { return service_switch("-uninstall"); }, {{"failed", 1}}, true},
    {"service run", nullptr, run_service_once, {{"exit 1", 0}, {"exit 1 error failed", 1}}},
};

// The files under the tree (folders as "/"; a file the failing call was to remove is left out)
// and the service records, by name; the tree's own path and names made of it (16 hex digits)
// left out.
std::map<std::string, std::string> state_of(const temp_tree &tree)
{
    std::map<std::string, std::string> state;
    std::string root = temp_tree::unix(tree.name(""));
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        std::ostringstream content;
        if (!entry.is_directory())
            content << std::ifstream(entry.path()).rdbuf();
        if (entry.path().string() != undeleted)
            state[relative(entry.path().string(), tree)] =
                entry.is_directory() ? "/" : relative(content.str(), tree);
    }
    for (const auto &record : fake_service_records_table())
        state["service " + record.first] = record.second.command + record.second.description;
    char source[256] = "";
    int found = query_registry_text(REGISTRY_MACHINE, EVENT_KEY, "EventMessageFile", source, 256);
    state["event source"] = std::to_string(found) + source; // -1: none, 1: an empty key
    return state;
}

TEST(Faults, EachFailingCallEndsOnceReportedWithNothingHalfWritten)
{
    set_text(&settings.main_class_encoded, "4D");
    set_text(&settings.msg_write_error, "Error writing to file/directory: %s");
    set_text(&settings.msg_file_error, "Error accessing file/directory: %s");
    set_text(&settings.class_sharing, "auto");
    const std::pair<char **, const char *> texts[] = {
        {&settings.service_name, "Svc"}, {&settings.install_switch, "-install"},
        {&settings.uninstall_switch, "-uninstall"}, {&settings.service_switch, "-service"},
        {&settings.msg_installed, "installed %s"}, {&settings.msg_uninstalled, "removed %s"},
        {&settings.service_description, "Serves"}};
    for (const auto &text : texts)
        set_text(text.first, text.second);
    settings.restart_seconds = 5;
    settings.delayed_start = true;
    fake_executable_path("/opt/app/app.exe");
    fake_archive_resource(std::string("\2\0\0\0a.jar\0\0\0\0\0\0\0\0\0\1\0\0\0a"
                                      "b.jar\0\0\0\0\0\0\0\0\0\2\0\0\0bb", 43));
    for (const operation &op : operations) {
        ran clean;
        std::map<std::string, std::string> before, after;
        for (int n = 0;; n++) {
            temp_tree tree;
            fake_program_data(tree.path("ProgramData").c_str());
            setenv("TMPDIR", temp_tree::unix(tree.path("tmp")).c_str(), 1);
            fake_service_reset();
            fake_registry_clear();
            if (op.set_up)
                op.set_up(tree);
            undeleted.clear();
            // Times as every run's: class sharing's fingerprints hold them.
            system(("find '" + temp_tree::unix(tree.name("")) +
                    "' -exec touch -d @1600000000 {} +").c_str());
            if (n == 0) {
                before = state_of(tree);
                reported.clear();
                clean = op.run(tree);
                after = state_of(tree);
                continue;
            }
            reported.clear();
            fail_countdown = n;
            ran got = op.run(tree);
            bool reached = fail_countdown == 0;
            fail_countdown = 0;
            if (!reached) {
                EXPECT_EQ(got.result, clean.result) << op.what;
                break;
            }
            // The documented end of a failure, said once (or as its caller says it); an end as
            // the clean run's, said at most once more; whatever is said, with the system's why.
            std::string where = std::string(op.what) + ", call " + std::to_string(n) + " failing: ";
            size_t most = clean.reports.size() + 1;
            if (got.result != clean.result) {
                most = ~(size_t)0;
                for (const failure &f : op.failures)
                    if (f.result == got.result)
                        most = f.reports;
                EXPECT_NE(most, ~(size_t)0) << where << "ended as " << got.result;
                EXPECT_EQ(got.reports.size(), most) << where << testing::PrintToString(got.reports);
            }
            EXPECT_LE(got.reports.size(), most) << where << testing::PrintToString(got.reports);
            for (const std::string &report : got.reports)
                EXPECT_TRUE(std::count(clean.reports.begin(), clean.reports.end(), report) ||
                            report.find("(reason)") != std::string::npos) << where << report;
            // Each file and record as it was, or as the clean run leaves it.
            for (const auto &entry : state_of(tree)) {
                auto was = before.find(entry.first), will = after.find(entry.first);
                EXPECT_TRUE((was != before.end() && was->second == entry.second) ||
                            (will != after.end() && will->second == entry.second))
                    << where << entry.first << " holds " << entry.second.substr(0, 40);
            }
            if (op.repeated) {
                EXPECT_EQ(op.run(tree).result, clean.result) << where << "run again";
                EXPECT_EQ(state_of(tree), after) << where << "run again";
            }
        }
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << op.what;
    }
    fake_archive_resource("");
    fake_executable_path(nullptr);
    fake_service_reset();
    fake_registry_clear();
    unsetenv("TMPDIR");
}

} // namespace
