// Shared helpers of the Windows-side tests: temporary folders, files, and running the
// builder, the probes and launchers as separate processes.
#pragma once

#include <windows.h>

#include <map>
#include <vector>
#include <string>

#include "tests/kit/testkit.h"

using namespace testkit;

// How long a test waits for what it expects (a box, an exit, a state) before it calls the
// program hung. Only a hang ever takes this long: a wait ends when what it waits for happens,
// however busy the machine is.
enum { HANG_MS = 120000 };

// Whether ready() came true, polled every period ms (HANG_MS tells a hang).
template <typename F> bool wait_until(F ready, DWORD period = 5)
{
    for (DWORD start = GetTickCount(); !ready(); Sleep(period))
        if (GetTickCount() - start > HANG_MS)
            return false;
    return true;
}

// The folder of the test program: the x86 build, with the builder and the test kit.
std::string tools_dir();

// The architecture of the launchers under test: TREVALO_TARGET_ARCH, "x86" (the default) or
// "x64", so that one suite runs for both.
std::string target_arch();

// The build folder of arch's launchers, probes and test runtime: the test program's own for
// x86, TREVALO_WIN64_DIR for x64.
std::string arch_dir(const std::string &arch);

// arch_dir(target_arch()): where the launchers under test, the probes and the test runtime
// are built.
std::string build_dir();

// The stub of arch (GUI, or console).
std::string stub_path(const std::string &arch, bool console);

// The header of a library of arch ("x86" or "x64") and nothing more: enough for a search to
// take it for a jvm.dll of that architecture, never enough to load.
std::string pe_header(const std::string &arch);

// The other architecture, and an architecture's word in messages ("32-bit", "64-bit").
std::string other_arch(const std::string &arch);
std::string arch_bits(const std::string &arch);

// The registry view the launchers under test read: KEY_WOW64_64KEY for x64, else 32KEY.
REGSAM registry_view();

// A new, empty folder under the temporary directory, unique to this call.
std::string make_temp_dir(const char *tag);

// Paths are UTF-8.
void write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Runs command_line in directory and waits up to 60 s; its standard output and error go to
// *output. environment: null inherits, else a Windows environment block. Returns the exit
// status, or 0xDEADBEEF when the program could not be started or did not end in time.
// limited: as start_child.
DWORD run_capture(const std::string &command_line, const std::string &directory,
                  std::string *output, const char *environment = nullptr, bool limited = true);

// Waits up to ms for the child to end and closes its handle. Returns its exit status, or
// 0xDEADBEEF when it did not end in time.
DWORD exit_status(child_process *child, DWORD ms = HANG_MS);

// Answers box with OK, then exit_status(child).
DWORD answer_and_wait(child_process *child, const message_box &box);

// Writes config into folder\<name>.cfg and builds folder\<name> from stub (default: the GUI
// stub under test) with the Linux builder when TREVALO_LINUX_BUILDER names it (a Unix path),
// else with the Windows builder. Fails the calling test when the builder fails. Returns the
// launcher's path.
std::string make_launcher(const std::string &folder, const std::string &config,
                          const std::string &name = "app.exe", const std::string &stub = "");

// Builds a settings probe with config and returns what it printed, as name -> value.
std::map<std::string, std::string> probe_settings(const std::string &folder,
                                                  const std::string &config);

// The lines of text, without their line ends.
std::vector<std::string> split_lines(const std::string &text);

// The "name=value" lines of a probe's output, as name -> value.
std::map<std::string, std::string> parse_values(const std::string &text);

// Quotes path for a command line.
std::string quote(const std::string &path);

// Replaces the embedded-file archive of the launcher at path by bytes, as no builder would
// write it (the archive's hash beside it, as the builder writes it): for testing damaged and
// hostile archives.
bool replace_archive(const std::string &path, const std::string &bytes);

// Replaces setting id of the launcher at path by text exactly as given (the builder drops
// blanks around values): for testing texts that a configuration file cannot hold.
bool replace_setting(const std::string &path, unsigned id, const std::string &text);

// The Unix path of a Windows path, by Wine's own mapping; text as one word of a shell command.
std::string unix_path(const std::string &path);
std::string shell_word(const std::string &text);

// Runs line in /bin/sh and waits for its exit status, which the shell writes to a file; *output:
// what it wrote (standard output and error). Returns the status, or 0xDEADBEEF.
DWORD run_unix_shell(const std::string &line, std::string *output);

// The real Java 8 runtime beside the project (32-bit: for x86 launchers only) and the test
// fixtures compiled for it: its jvm.dll and the fixtures' jar, or empty when the clone has no
// such runtime or the launchers under test are x64 (a test then skips, saying so).
std::string java8_library();
std::string java8_fixtures();

// Our environment with what a launcher of that runtime needs under Wine (the runtime's own
// msvcr100.dll) and the assignments given.
std::string java8_environment(const std::vector<std::string> &assignments = {});

// The lines of a file, without their line ends.
std::vector<std::string> read_lines(const std::string &path);
