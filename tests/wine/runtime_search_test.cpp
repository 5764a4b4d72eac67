// The runtime search under Wine, against Wine's own registry (HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER) and real files, through a probe running the launcher's own code and
// through the stub itself. (Building the options from the settings is shown on the host.)
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "config/setting_list.h"
#include "tests/wine/harness.h"

namespace {

const char *const JRE = "Software\\JavaSoft\\Java Runtime Environment";
const char *const JDK = "Software\\JavaSoft\\Java Development Kit";

const char *const NO_RUNTIME =
    "Unable to locate suitable Java Runtime Environment on this machine.";

void set_registry(const std::string &key, const char *value, const std::string &text,
                  HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | registry_view(), nullptr, &handle, nullptr),
              ERROR_SUCCESS) << key;
    RegSetValueExA(handle, value, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(handle);
}

// Every test starts and ends with no Java runtime registered.
class RuntimeSearchUnderWine : public testing::Test {
protected:
    std::string dir;

    void SetUp() override { forget_runtimes(); dir = make_temp_dir("runtime"); }
    void TearDown() override { forget_runtimes(); }

    static void forget_runtimes()
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const char *key : {"Software\\JavaSoft", "Software\\IBM",
                                    "Software\\Eclipse Adoptium", "Software\\Azul Systems"}) {
                HKEY handle;
                if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS | registry_view(), &handle) ==
                    ERROR_SUCCESS) {
                    RegDeleteTreeA(handle, nullptr);
                    RegCloseKey(handle);
                    RegDeleteKeyExA(root, key, registry_view(), 0);
                }
            }
    }

    std::string file(const std::string &relative)
    {
        std::string path = dir + "\\" + relative;
        for (size_t pos = path.find('\\', dir.size() + 1); pos != std::string::npos;
             pos = path.find('\\', pos + 1))
            CreateDirectoryA(path.substr(0, pos).c_str(), nullptr);
        write_file(path, "x");
        return path;
    }

    // A copy of the test runtime (its library and release file) in the folder home of dir,
    // and a java.exe in its bin folder; returns the copy's home.
    std::string copy_test_runtime(const std::string &home)
    {
        std::string from = build_dir() + "\\test-runtime", to = dir + "\\" + home;
        file(home + "\\bin\\java.exe");
        for (const char *name : {"\\bin\\client\\jvm.dll", "\\release"})
            EXPECT_TRUE(CopyFileA((from + name).c_str(), (file(home + name), to + name).c_str(),
                                  FALSE)) << name;
        return to;
    }

    // Runs the probe built with config; its values.
    std::string stored_order;

    std::map<std::string, std::string> probe(const std::string &config,
                                             const std::vector<std::string> &environment = {})
    {
        std::string exe = make_launcher(dir, "main_class = r.Main\n" + config, "probe.exe",
                                        build_dir() + "\\runtime_probe.exe");
        // An order the builder now refuses, as a launcher built before it checked may hold.
        if (!stored_order.empty())
            EXPECT_TRUE(replace_setting(exe, SETTING_search_order, stored_order));
        std::string block = environment_with(environment);
        std::string output;
        DWORD status = run_capture(quote(exe), dir, &output, block.data());
        EXPECT_EQ(status, 0u) << output;
        return parse_values(output);
    }
};

TEST_F(RuntimeSearchUnderWine, FindsTheRegisteredRuntime)
{
    std::string library = file("jre14\\bin\\client\\jvm.dll");
    set_registry(JRE, "CurrentVersion", "1.4");
    set_registry(std::string(JRE) + "\\1.4", "RuntimeLib", library);
    set_registry(std::string(JRE) + "\\1.4", "JavaHome", dir + "\\jre14");
    auto values = probe("");
    EXPECT_EQ(values["found"], "1");
    EXPECT_EQ(values["library"], library);
    EXPECT_EQ(values["runtime_home"], dir + "\\jre14");
}

TEST_F(RuntimeSearchUnderWine, FollowsTheSearchOrder)
{
    // Configured paths are taken only when they are libraries of the launcher's processor.
    std::string configured = dir + "\\configured\\jvm.dll";
    file("configured\\jvm.dll");
    ASSERT_TRUE(CopyFileA((build_dir() + "\\test-runtime\\bin\\client\\jvm.dll").c_str(),
                          configured.c_str(), FALSE));
    std::string classic = file("kit\\jre\\bin\\classic\\jvm.dll");
    std::string old_library = file("old\\jvm.dll");
    set_registry(std::string(JDK) + "\\1.4", "JavaHome", dir + "\\kit");
    set_registry(std::string(JRE) + "\\1.10", "RuntimeLib", old_library);  // refused under 1.4
    const struct {
        std::string config;
        std::string library;
        std::string stored_order = "";  // replaces the built one when not empty
    } cases[] = {
        {"search_order = 40\nruntime_paths = " + configured, classic},
        {"search_order = 04\nruntime_paths = " + configured, configured},
        // A character that names no method is passed over.
        {"search_order = 0\nruntime_paths = " + configured, configured, "x0"},
        {"search_order = 0\nruntime_paths = " + dir + "\\missing.dll;;" + configured, configured},
        {"search_order = 0\nruntime_paths = " + dir + "\\a.dll;" + dir + "\\b.dll", ""},
        {"search_order = 1\njava_version = 0x00010001\n", old_library},
    };
    for (const auto &c : cases) {
        stored_order = c.stored_order;
        auto values = probe(c.config);
        EXPECT_EQ(values["found"], c.library.empty() ? "0" : "1") << c.config;
        EXPECT_EQ(values["library"], c.library) << c.config;
    }
}

// A service searches guarded: a runtime only from a folder that no other account may change
// (its own account trusted), checked as it is used. (That a guarded run leaves out the user's
// keys and variables is shown on the host.)
TEST_F(RuntimeSearchUnderWine, AServiceTakesARuntimeOnlyFromAPrivateFolder)
{
    std::string beside = copy_test_runtime("jre");
    const std::vector<std::string> service = {"TREVALO_PROBE_SERVICE=1"};
    auto values = probe("search_order = 8\n", service);
    EXPECT_EQ(values["runtime_home"], beside) << "the service's own account owns it";

    // Another account may now change the folder beside the service: refused, by name.
    PSECURITY_DESCRIPTOR everyone;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
    ASSERT_TRUE(SetFileSecurityA(beside.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    values = probe("search_order = 8\n", service);
    EXPECT_EQ(values["found"], "0");
    EXPECT_EQ(values["note"].find("The folder " + beside + " can be changed"), 0u)
        << values["note"];
    values = probe("search_order = 8\n");
    EXPECT_EQ(values["runtime_home"], beside) << "an unelevated run takes it, as before";
}

// Each method finds the test runtime of the launcher's architecture, and the stub starts it
// with %JAVA_HOME% standing for its home; a runtime of the other architecture is named.
TEST_F(RuntimeSearchUnderWine, EachMethodFindsTheTestRuntime)
{
    std::string home = build_dir() + "\\test-runtime";
    std::string beside = copy_test_runtime("runtime"), on_path = copy_test_runtime("onpath");
    file("empty\\release");
    // A library of the other architecture: a PE header and nothing more.
    std::string other = other_arch(target_arch());
    file(other + "\\bin\\server\\jvm.dll");
    write_file(dir + "\\" + other + "\\bin\\server\\jvm.dll", pe_header(other));
    write_file(dir + "\\" + other + "\\release", "JAVA_VERSION=\"21.0.6\"\n");
    std::string path = "PATH=" + on_path + "\\bin;" + getenv("PATH");
    const struct {
        std::string config;  // search order and settings
        std::vector<std::string> environment;
        bool registered;  // with the registry rows below
        std::string chosen;  // the home started, or "" when none is found
        std::string message;  // the box shown when none is found
        bool elevated = false;  // run elevated, as Wine runs every program unless told
    } cases[] = {
        {"search_order = 0\nruntime_paths = " + home + "\\bin\\client\\jvm.dll\n", {}, false, home,
         ""},
        {"search_order = 5\n", {}, true, home, ""},
        {"search_order = 6\n", {}, true, home, ""},
        {"search_order = 7\n", {"JAVA_HOME=" + home + "\\"}, false, home, ""},
        {"search_order = 8\n", {}, false, beside, ""},
        {"search_order = 9\n", {path}, false, on_path, ""},
        // The bundled runtime comes first in the default order.
        {"", {"JAVA_HOME=" + home, path}, true, beside, ""},
        // A JAVA_HOME without a runtime is passed over; one of another processor is named.
        {"search_order = 79\n", {"JAVA_HOME=" + dir + "\\empty", path}, false, on_path, ""},
        {"search_order = 7\n", {"JAVA_HOME=" + dir + "\\" + other}, false, "",
         std::string(NO_RUNTIME) + "\n\nA " + arch_bits(other) + " Java runtime was found at " +
             dir + "\\" + other + "\\bin\\server\\jvm.dll; this launcher needs a " +
             arch_bits(target_arch()) + " one."},
        // What was passed over and why, the most useful first, and the version needed; then
        // the offer to download one (answered No here: nothing is opened).
        {"search_order = 79\njava_version = 0x00150000\ndownload_url = https://example.invalid/java\n",
         {"JAVA_HOME=" + dir + "\\empty", path}, false, "",
         std::string(NO_RUNTIME) + "\n\nJava 17 at " + on_path + ": a version this application "
             "does not take\n" + dir + "\\empty: version unknown (no release file with JAVA_VERSION)\n"
             "This application needs Java 21 or later.\n\nOpen https://example.invalid/java to "
             "download Java?"},
        // Elevated, as Wine runs every program: Wine keeps no separate accounts, so the run
        // is not guarded (the guarded search is shown through the probe, which is made to
        // believe it runs on Windows) and takes the user's key and the runtime beside it.
        {"search_order = 6\n", {}, true, home, "", true},
        {"search_order = 8\n", {}, false, beside, "", true},
    };
    int row = 0;
    for (const auto &c : cases) {
        forget_runtimes();
        if (c.registered) {
            set_registry("SOFTWARE\\JavaSoft\\JDK\\17.0.15", "JavaHome", home);
            set_registry("SOFTWARE\\JavaSoft\\JDK\\21", "JavaHome", dir + "\\empty");
            set_registry("Software\\Eclipse Adoptium\\JDK\\17.0.15.6\\hotspot\\MSI", "Path",
                         home + "\\", HKEY_CURRENT_USER);
        }
        // Every launcher lies in dir, beside the copy in dir\runtime.
        std::string name = "m" + std::to_string(row++);
        std::string app = make_launcher(dir, "main_class = trevalo.test.Args\n"
                                             "jvm_options = -Dhome=%JAVA_HOME%\n" + c.config,
                                        name + ".exe");
        std::string log = dir + "\\" + name + ".log";
        std::vector<std::string> environment = c.environment;
        environment.push_back("TREVALO_TEST_LOG=" + log);
        std::string block = environment_with(environment);
        run_result r = run_answering(quote(app), dir, HANG_MS, "", block.data(), !c.elevated);
        std::vector<std::string> lines = read_lines(log);
        EXPECT_EQ(r.exit_code, c.chosen.empty() ? 0xFFFFFFFFu : 0u) << c.config;
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "option -Dhome=" + c.chosen) != lines.end(),
                  !c.chosen.empty()) << c.config;
        ASSERT_EQ(r.boxes.size(), c.chosen.empty() ? 1u : 0u) << c.config << row << " "
                                                               << r.exit_code;
        if (c.chosen.empty())
            EXPECT_EQ(r.boxes[0].text, c.message);
    }
}

} // namespace
