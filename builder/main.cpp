// trevalo-build: writes an application's configuration into a copy of the launcher stub. The
// same program for Linux and for Windows: both write the same bytes for the same inputs.
//
//   trevalo-build [--stub STUB] CONFIGURATION OUTPUT
//   trevalo-build --print LAUNCHER [FOLDER]
//
// Without --stub, the stub is the one beside the builder that the configuration's architecture
// and subsystem name: trevalo-stub-<x64|x86|arm64>[-console].exe. The output is written under a
// temporary name in its folder and renamed only when complete, so a failed run never leaves a
// half-written launcher behind. Exit status: 0 when the launcher was written, 1 when something
// was refused or failed (standard output that cannot be written too), 2 for a wrong command
// line.
#include <stdio.h>

#include <string>
#include <vector>

#include "builder/build.h"
#include "builder/config.h"
#include "builder/files.h"
#include "builder/pe_resources.h"
#include "builder/print.h"

#ifndef TREVALO_VERSION
#define TREVALO_VERSION "0"
#endif

namespace {

const char USAGE[] =
    "usage: trevalo-build [--stub STUB] CONFIGURATION OUTPUT\n"
    "       trevalo-build --print LAUNCHER [FOLDER]\n"
    "       trevalo-build --help | --version\n"
    "Writes the settings of CONFIGURATION (UTF-8 lines of 'key = value') into a copy of the\n"
    "launcher stub and saves it as OUTPUT. The stub is STUB, or the one beside this program\n"
    "that the configuration's 'architecture' and 'subsystem' name (trevalo-stub-x64.exe\n"
    "unless they say otherwise). Every value is checked against its kind: a refusal names\n"
    "the file, the line and what would be accepted, and nothing is written.\n"
    "--print writes the configuration of LAUNCHER, signed or not, to standard output or,\n"
    "with FOLDER (new, or holding none of the files it writes), into FOLDER/launcher.cfg\n"
    "(another name when an embedded file has that one) beside its embedded files, splash\n"
    "bitmap and icon. Sign a launcher after building it, never the stub before.\n"
    "Exit status: 0 done, 1 refused or failed, 2 usage.\n";

int fail(const std::string &message)
{
    fprintf(stderr, "trevalo-build: error: %s\n", message.c_str());
    return 1;
}

int usage_error()
{
    fputs(USAGE, stderr);
    return 2;
}

// --print: the configuration of launcher to standard output or, with a folder, into the
// folder beside the files it names (embedded files with their last-write times). The folder
// may exist, but nothing in it is replaced: a file of a name to be written refuses it whole,
// before anything is written.
int print_configuration(const std::string &launcher, const std::string *folder)
{
    std::string content, text, error;
    pe_image image;
    std::vector<printed_file> files;
    if (!read_whole_file(launcher, &content, &error))
        return fail(error);
    if (!pe_parse((const unsigned char *)content.data(), content.size(), &image, &error, true) ||
        !print_launcher(image, &text, &files, &error))
        return fail(launcher + ": " + error);
    if (!folder) {
        if (!write_standard_output(text, &error))
            return fail(error);
        return 0;
    }
    // The configuration takes a name no embedded file has, as the splash and the icon do.
    const std::string config_name = free_file_name("launcher", ".cfg", files);
    files.push_back({config_name, 0, 0, text});
    if (!make_folder(*folder, &error))
        return fail(error);
    for (const printed_file &f : files) {
        file_facts facts;
        std::string path = *folder + PATH_SEPARATOR + f.name, ignored;
        if (file_stat(path, &facts, &ignored))
            return fail("--print " + *folder + ": it holds " + f.name + " already, which the "
                        "printed configuration would replace; give a new or empty folder");
    }
    for (const printed_file &f : files)
        if (!write_file_replacing(*folder + PATH_SEPARATOR + f.name,
                                  (const unsigned char *)f.content.data(), f.content.size(),
                                  &error, (uint64_t)f.time_high << 32 | f.time_low))
            return fail(error);
    printf("trevalo-build: wrote %s%c%s\n", folder->c_str(), PATH_SEPARATOR,
           config_name.c_str());
    return 0;
}

// Standard output must take every byte: a full disk or a closed pipe is a failure, not a run
// that wrote nothing and ended with 0.
int finish(int status)
{
    // A failure reported already (a write refused) is not reported twice.
    if ((fflush(stdout) != 0 || ferror(stdout)) && status == 0) {
        fprintf(stderr, "trevalo-build: error: cannot write to standard output\n");
        return 1;
    }
    return status;
}

int run(int argc, char **argv)
{
    std::vector<std::string> args = program_arguments(argc, argv);
    if (args.size() == 1 && args[0] == "--help") {
        fputs(USAGE, stdout);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        printf("trevalo-build %s\n", TREVALO_VERSION);
        return 0;
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "--print")
        return print_configuration(args[1], args.size() == 3 ? &args[2] : nullptr);
    std::string stub;
    size_t i = 0;
    for (; i < args.size() && args[i].compare(0, 2, "--") == 0; i++) {
        if (args[i] == "--stub" && i + 1 < args.size())
            stub = args[++i];
        else
            return usage_error();
    }
    if (args.size() - i != 2)
        return usage_error();
    const std::string config_path = args[i], output = args[i + 1];

    std::string error, config_text;
    if (!read_whole_file(config_path, &config_text, &error))
        return fail(error);
    builder_config config;
    if (!parse_config(config_text, &config, &error))
        return fail(config_path + ": " + error);
    config.source = config_path;
    if (stub.empty())
        stub = default_stub_path(config);
    pe_image image;
    if (!read_stub(stub, &image, &error) ||
        !build_launcher(config, folder_of(config_path), &image, &error))
        return fail(error);
    std::vector<unsigned char> launcher;
    if (!pe_write(image, &launcher, &error))
        return fail("stub " + stub + ": " + error);
    // The resources are in the launcher now: with large embedded files, each copy counts.
    image = pe_image();
    if (!write_file_replacing(output, launcher.data(), launcher.size(), &error))
        return fail(error);
    printf("trevalo-build: wrote %s\n", output.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return finish(run(argc, argv));
}
