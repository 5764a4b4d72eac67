// Where the embedded files are unpacked, and when that stops the run: the folder decisions
// through the host's system seam, on real files.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/messages.h"
#include "config/settings.h"
#include "os/access_list.h"
#include "os/guard.h"
#include "os/os.h"
#include "os/trace.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"
#include "tests/unit/temp_tree.h"
#include "tests/unit/test_settings.h"
#include "unpacking/embedded_files.h"

namespace {

// An archive of the given files, each with the last-write time 0.
std::string archive(const std::vector<std::pair<std::string, std::string>> &files)
{
    uint32_t count = (uint32_t)files.size();
    std::string bytes((const char *)&count, 4);
    for (const auto &f : files) {
        bytes += f.first;
        bytes.push_back('\0');
        bytes.append(8, '\0');
        uint32_t size = (uint32_t)f.second.size();
        bytes.append((const char *)&size, 4);
        bytes += f.second;
    }
    return bytes;
}

struct unpacked {
    bool ok;
    std::string class_path; // "<configured>" when the configured one stays
};

// The settings the unpacking reads.
launcher_settings settings = blank_settings();

unpacked unpack(bool service)
{
    char *class_path;
    bool ok = unpack_embedded_files(settings, guard_for(service), &class_path);
    unpacked result = {ok, class_path ? class_path : "<configured>"};
    free(class_path);
    return result;
}

TEST(EmbeddedFiles, ServiceFilesGoToAPrivateFolderOfTheirContent)
{
    temp_tree tree;
    std::string data = tree.path("ProgramData");
    fake_program_data(data.c_str());
    setenv("TMPDIR", tree.path("tmp").c_str(), 1);
    set_text(&settings.main_class_encoded, "4D");
    set_text(&settings.msg_write_error, "Error writing to file/directory: %s");
    set_text(&settings.msg_file_error, "Error accessing file/directory: %s");
    const std::string first = archive({{"a.jar", "first"}}), second = archive({{"a.jar", "2nd"}});

    fake_archive_resource(first);
    unpacked service = unpack(true);
    ASSERT_TRUE(service.ok);
    const std::string own = service.class_path.substr(0, service.class_path.size() - 7);
    EXPECT_EQ(own.find(data + "\\Trevalo\\4D\\"), 0u) << own;
    EXPECT_EQ(own.size(), data.size() + strlen("\\Trevalo\\4D\\") + 16) << "a 16-digit hash";
    EXPECT_EQ(service.class_path, own + "\\a.jar;");
    EXPECT_EQ(system(("test \"$(ls -A '" + temp_tree::unix(own) + "')\" = a.jar").c_str()), 0)
        << "written under another name and put in place: nothing else is left";

    unpacked interactive = unpack(false);
    EXPECT_EQ(interactive.class_path.find(tree.name("tmp") + "\\4D\\"), 0u)
        << "a user's own temporary folder: " << interactive.class_path;
    fake_elevated(true);
    EXPECT_EQ(unpack(false).class_path, service.class_path)
        << "elevated: the private folder, never one the user's other processes may change";
    fake_under_wine(true);
    EXPECT_EQ(unpack(false).class_path, interactive.class_path) << "under Wine: not guarded";
    fake_under_wine(false);
    fake_elevated(false);

    // A Trevalo level that another account made first is moved aside, and made again.
    fake_shared_folder((data + "\\Trevalo").c_str());
    EXPECT_EQ(unpack(true).class_path, service.class_path);
    EXPECT_EQ(path_attributes((data + "\\Trevalo.1\\4D").c_str()), 1) << "kept, unused";
    fake_shared_folder(nullptr);

    fake_archive_resource(second);
    unpacked other = unpack(true);
    EXPECT_NE(other.class_path, service.class_path) << "other content, another folder";

    // A level that others may change is refused, whoever made it; so is a level that is a
    // link (even to a private folder: it could be pointed elsewhere after the check), and a
    // folder in a file's place. Each stops the run with one report, and nothing is written.
    const std::string elsewhere = tree.path("elsewhere");
    const struct {
        std::string shared, folder_in_place, report;
        bool link;  // the last level is a link to a private folder elsewhere
    } refusals[] = {
        {data, "", "The folder " + data + " can be changed", false},
        {own, "", "The folder " + own + " can be changed", false},
        {"", own + "\\a.jar",
         "Error writing to file/directory: " + own +
             "\\a.jar\n\nReason: a folder of this name is in the way.", false},
        {"", "", "The folder " + own + " can be changed by accounts other than the system, "
                 "administrators and the program's own, or is a link", true},
    };
    fake_archive_resource(first);
    for (const auto &r : refusals) {
        system(("rm -rf '" + temp_tree::unix(own) + "'/*").c_str());
        if (r.link)
            system(("rm -rf '" + temp_tree::unix(own) + "' && ln -s '" +
                    temp_tree::unix(elsewhere) + "' '" + temp_tree::unix(own) + "'").c_str());
        fake_shared_folder(r.shared.empty() ? nullptr : r.shared.c_str());
        if (!r.folder_in_place.empty())
            tree.path(r.folder_in_place.substr(tree.name("").size()));
        reported.clear();
        unpacked refused = unpack(true);
        EXPECT_FALSE(refused.ok) << r.report;
        ASSERT_EQ(reported.size(), 1u) << r.report;
        EXPECT_EQ(reported[0].find(r.report), 0u) << reported[0];
        EXPECT_EQ(path_attributes((own + "\\a.jar").c_str()), r.folder_in_place.empty() ? -1 : 1);
    }
    fake_shared_folder(nullptr);
    fake_archive_resource(std::string("\3\0\0\0", 4)); // damaged: said once, the run stops
    reported.clear();
    EXPECT_FALSE(unpack(true).ok);
    EXPECT_EQ(reported, std::vector<std::string>{MSG_ARCHIVE_MALFORMED});
    fake_archive_resource("");
}

// The trace writes one line per call whatever the arguments hold, and a guarded run never
// opens the file its user's variable names: its trace goes to its private folder. It removes
// the runtime's option variables of its user, saying so.
TEST(PrivateFolder, AGuardedRunTracesOnlyIntoItsFolderAndDropsTheOptionVariables)
{
    temp_tree tree;
    std::string data = tree.path("ProgramData"), named = tree.name("named.txt");
    fake_program_data(data.c_str());
    setenv("TREVALO_TRACE", temp_tree::unix(named).c_str(), 1);
    const std::string line = " started with arguments: a\\r\\nb\\x01\\t\r\n";
    for (bool guarded : {false, true}) {
        // In a child: the trace is the process's own.
        pid_t child = fork();
        if (child == 0) {
            start_trace(false, guarded ? +[]() {
                char *failed;
                bool refused;
                return private_root_folder(false, &failed, &refused);
            } : nullptr);
            trace("started with arguments: %s", "a\r\nb\x01\t");
            // The runtime's option variables the guard removes, as the launcher does.
            setenv("JAVA_TOOL_OPTIONS", "-javaagent:x.jar", 1);
            if (guarded)
                remove_user_jvm_variables();
            trace("JAVA_TOOL_OPTIONS %s", getenv("JAVA_TOOL_OPTIONS") ? "set" : "unset");
            fflush(nullptr);
            _exit(0);
        }
        int status;
        waitpid(child, &status, 0);
        char *text = read_text_file((guarded ? data + "\\Trevalo\\trace.txt" : named).c_str());
        std::string written = text ? text : "";
        free(text);
        EXPECT_EQ(written.substr(std::min(written.size(), (size_t)6), line.size()), line)
            << guarded;
        std::string variable = guarded ? " guarded run: JAVA_TOOL_OPTIONS removed from the "
                                         "environment\r\n" : " JAVA_TOOL_OPTIONS set\r\n";
        EXPECT_NE(written.find(variable), std::string::npos) << written;
        EXPECT_EQ(written.find(" JAVA_TOOL_OPTIONS unset\r\n") != std::string::npos, guarded);
        unlink(temp_tree::unix(named).c_str());
    }
    EXPECT_EQ(path_attributes(named.c_str()), -1) << "never opened when guarded";
    unsetenv("TREVALO_TRACE");
}

TEST(PrivateFolder, AnyRightToChangeItGivenToOthersMakesItShared)
{
    const uint32_t READ_EXECUTE = 0x1200A9, FULL = 0x1F01FF;
    // keeps_base: the test of the program-data folder, where others may add entries.
    const struct {
        bool owner_trusted, has_list;
        std::vector<access_entry> entries;
        bool is_private, keeps_base;
    } cases[] = {
        {true, true, {{true, true, FULL}, {true, false, READ_EXECUTE}}, true, true},
        {true, true, {{false, false, FULL}}, true, true},  // a denial gives nothing
        {false, true, {{true, true, FULL}}, false, false},  // another's folder
        {true, false, {}, false, false},                    // no list: everyone may do everything
        {true, true, {{true, false, 0x0002}}, false, true},      // add files
        {true, true, {{true, false, 0x0004}}, false, true},      // add folders
        {true, true, {{true, false, 0x0040}}, false, false},     // delete what is in it
        {true, true, {{true, false, 0x10000}}, false, false},    // delete or rename it
        {true, true, {{true, false, 0x40000}}, false, false},    // rewrite its access list
        {true, true, {{true, false, 0x80000}}, false, false},    // take it over
        {true, true, {{true, false, 0x10000000}}, false, false}, // all rights
        {true, true, {{true, false, 0x40000000}}, false, false}, // the right to write
    };
    for (const auto &c : cases) {
        EXPECT_EQ(access_list_is_private(c.owner_trusted, c.has_list, c.entries.data(),
                                         c.entries.size()),
                  c.is_private)
            << std::hex << (c.entries.empty() ? 0 : c.entries[0].rights);
        EXPECT_EQ(access_list_keeps_base(c.owner_trusted, c.has_list, c.entries.data(),
                                         c.entries.size()),
                  c.keeps_base)
            << std::hex << (c.entries.empty() ? 0 : c.entries[0].rights);
    }
}

} // namespace
