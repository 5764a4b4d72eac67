// Shared helpers of the Windows-side tests.
#include "tests/wine/harness.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include "base/archive.h"
#include "base/resource_ids.h"

namespace {

// Without a display Wine shows no window and a message box returns at once, so a test that
// expects no box would pass having checked nothing: the run fails at its start instead.
class display_check : public testing::Environment {
    void SetUp() override
    {
        ASSERT_TRUE(windows_can_appear()) << "no X display: run the suites through ./test.sh, "
                                             "or display_up of scripts/wine-env.sh";
    }
};

testing::Environment *const display = testing::AddGlobalTestEnvironment(new display_check);

} // namespace

std::string tools_dir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    *strrchr(path, '\\') = '\0';
    return path;
}

std::string target_arch()
{
    const char *arch = getenv("TREVALO_TARGET_ARCH");
    return arch && *arch ? arch : "x86";
}

std::string arch_dir(const std::string &arch)
{
    const char *win64 = getenv("TREVALO_WIN64_DIR");
    return arch == "x64" && win64 ? std::string(win64) : tools_dir();
}

std::string build_dir()
{
    return arch_dir(target_arch());
}

std::string stub_path(const std::string &arch, bool console)
{
    return arch_dir(arch) + "\\trevalo-stub-" + arch + (console ? "-console" : "") + ".exe";
}

std::string pe_header(const std::string &arch)
{
    return std::string("MZ") + std::string(0x3A, '\0') + std::string("\x40\0\0\0PE\0\0", 8) +
           (arch == "x64" ? std::string("\x64\x86", 2) : std::string("\x4c\x01", 2));
}

std::string other_arch(const std::string &arch)
{
    return arch == "x64" ? "x86" : "x64";
}

std::string arch_bits(const std::string &arch)
{
    return arch == "x64" ? "64-bit" : "32-bit";
}

REGSAM registry_view()
{
    return target_arch() == "x64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::string make_temp_dir(const char *tag)
{
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string base = std::string(temp) + "trevalo-tests";
    CreateDirectoryA(base.c_str(), nullptr);
    for (;;) {
        std::string dir = base + "\\" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(++counter);
        if (CreateDirectoryA(dir.c_str(), nullptr))
            return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << dir;
            return dir;
        }
    }
}

void write_file(const std::string &path, const std::string &content)
{
    FILE *f = _wfopen(wide(path).c_str(), L"wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
}

std::string read_file(const std::string &path)
{
    std::string content;
    FILE *f = _wfopen(wide(path).c_str(), L"rb");
    if (!f)
        return content;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        content.append(buffer, n);
    fclose(f);
    return content;
}

bool file_exists(const std::string &path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string quote(const std::string &path)
{
    return "\"" + path + "\"";
}

DWORD run_capture(const std::string &command_line, const std::string &directory,
                  std::string *output, const char *environment, bool limited)
{
    static int counter;
    std::string log = make_temp_dir("out") + "\\output-" + std::to_string(++counter) + ".txt";
    child_process child;
    if (!start_child(command_line, directory, &child, log, environment, limited))
        return 0xDEADBEEF;
    DWORD status = exit_status(&child, 60000);
    *output = read_file(log);
    return status;
}

DWORD exit_status(child_process *child, DWORD ms)
{
    DWORD status = 0xDEADBEEF;
    if (!wait_exit(*child, ms, &status))
        status = 0xDEADBEEF;
    close_child(child);
    return status;
}

DWORD answer_and_wait(child_process *child, const message_box &box)
{
    press_ok(box);
    return exit_status(child);
}

// The Unix path of a Windows path, by Wine's own mapping (its kernel32 exports it).
std::string unix_path(const std::string &path)
{
    typedef char *(CDECL * unix_name_function)(const WCHAR *);
    static unix_name_function unix_name = (unix_name_function)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    char *name = unix_name ? unix_name(wide(path).c_str()) : nullptr;
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// text as one word of a shell command.
std::string shell_word(const std::string &text)
{
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

DWORD run_unix_shell(const std::string &line, std::string *output)
{
    std::string dir = make_temp_dir("unix-run"), unix_dir = unix_path(dir);
    write_file(dir + "\\run.sh",
               line + " >" + shell_word(unix_dir + "/output") + " 2>&1\n" +
               "echo $? >" + shell_word(unix_dir + "/status.new") + "\n" +
               "mv " + shell_word(unix_dir + "/status.new") + " " +
               shell_word(unix_dir + "/status") + "\n");
    std::wstring shell = wide("/bin/sh \"" + unix_dir + "/run.sh\"");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &shell[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 0xDEADBEEF;
    for (int waited = 0; waited < HANG_MS && !file_exists(dir + "\\status"); waited += 10)
        Sleep(10);
    *output = read_file(dir + "\\output");
    std::string status = read_file(dir + "\\status");
    return status.empty() ? 0xDEADBEEF : (DWORD)atoi(status.c_str());
}

// Runs the Linux builder at builder (a Unix path) with --stub and paths (Windows paths, given
// to it as Unix paths).
static DWORD run_linux_builder(const std::string &builder,
                               const std::vector<std::string> &paths, std::string *output)
{
    std::string command = shell_word(builder) + " --stub";
    for (const std::string &argument : paths)
        command += " " + shell_word(unix_path(argument));
    return run_unix_shell(command, output);
}

static std::string trimmed(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t"), end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// config with the Windows paths of its files (splash and embed lines naming a drive) as the
// Unix paths a configuration for the Linux builder names them by; config itself, byte for
// byte, when it names none.
static std::string with_unix_paths(const std::string &config)
{
    std::string result;
    bool changed = false;
    for (const std::string &line : split_lines(config)) {
        size_t equals = line.find('=');
        std::string key = trimmed(line.substr(0, equals));
        std::string value = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
        bool drive_path = (key == "splash" || key == "embed") && value.size() > 2 &&
                          value[1] == ':';
        result += (drive_path ? key + " = " + unix_path(value) : line) + "\n";
        changed = changed || drive_path;
    }
    return changed ? result : config;
}

std::string make_launcher(const std::string &folder, const std::string &config,
                          const std::string &name, const std::string &stub)
{
    std::string config_path = folder + "\\" + name + ".cfg";
    std::string output_path = folder + "\\" + name;
    std::string stub_used = stub.empty() ? stub_path(target_arch(), false) : stub;
    write_file(config_path, config);
    std::string output;
    DWORD status;
    // The suites build their launchers with the Linux builder when it is named, else with the
    // Windows one: both write the same bytes.
    const char *linux_builder = getenv("TREVALO_LINUX_BUILDER");
    if (linux_builder && *linux_builder) {
        write_file(config_path, with_unix_paths(config));
        status = run_linux_builder(linux_builder, {stub_used, config_path, output_path},
                                   &output);
    } else {
        std::string command = quote(tools_dir() + "\\trevalo-build.exe");
        command += " --stub " + quote(stub_used) + " " + quote(config_path) + " " +
                   quote(output_path);
        status = run_capture(command, folder, &output);
    }
    EXPECT_EQ(status, 0u) << "builder failed: " << output;
    return output_path;
}

std::map<std::string, std::string> probe_settings(const std::string &folder,
                                                  const std::string &config)
{
    std::string probe = make_launcher(folder, config, "probe.exe",
                                      build_dir() + "\\settings_probe.exe");
    std::string output;
    DWORD status = run_capture(quote(probe), folder, &output);
    EXPECT_EQ(status, 0u) << output;
    return parse_values(output);
}

bool replace_archive(const std::string &path, const std::string &bytes)
{
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update)
        return false;
    // With its hash, as the builder writes it.
    uint64_t hash = archive_hash((const unsigned char *)bytes.data(), bytes.size());
    bool ok = UpdateResourceA(update, RT_RCDATA, MAKEINTRESOURCEA(RESOURCE_ARCHIVE),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), (void *)bytes.data(),
                              (DWORD)bytes.size()) &&
              UpdateResourceA(update, RT_RCDATA, MAKEINTRESOURCEA(RESOURCE_ARCHIVE_HASH),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &hash, sizeof hash);
    return EndUpdateResourceA(update, !ok) && ok;
}

std::map<std::string, std::string> parse_values(const std::string &text)
{
    std::map<std::string, std::string> values;
    for (const std::string &line : split_lines(text)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

bool replace_setting(const std::string &path, unsigned id, const std::string &text)
{
    std::wstring units = wide(text);
    std::vector<WORD> block(1 + units.size() + 1, 0);
    block[0] = (WORD)units.size();
    for (size_t i = 0; i < units.size(); i++)
        block[1 + i] = units[i];
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update)
        return false;
    bool ok = UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(id / 16 + 1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), block.data(),
                              (DWORD)(block.size() * sizeof(WORD)));
    return EndUpdateResourceA(update, !ok) && ok;
}

std::vector<std::string> read_lines(const std::string &path)
{
    return split_lines(read_file(path));
}

std::string java8_library()
{
    const char *home = getenv("TREVALO_JRE8");
    std::string library = home ? std::string(home) + "\\bin\\client\\jvm.dll" : "";
    return target_arch() == "x86" && home && file_exists(library) ? library : "";
}

std::string java8_fixtures()
{
    const char *jar = getenv("TREVALO_JAVA8_FIXTURE");
    return jar && !java8_library().empty() && file_exists(jar) ? jar : "";
}

std::string java8_environment(const std::vector<std::string> &assignments)
{
    std::vector<std::string> all = {"WINEDLLOVERRIDES=mscoree,mshtml=;msvcr100=n"};
    all.insert(all.end(), assignments.begin(), assignments.end());
    return environment_with(all);
}
