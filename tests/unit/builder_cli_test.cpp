// The Linux builder as users run it: what it writes, checked by Windows' own readers under Wine;
// what it refuses, leaving nothing behind; and the same bytes as the Windows builder's.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "builder/build.h"
#include "builder/pe_resources.h"
#include "config/setting_list.h"

namespace {

typedef std::vector<unsigned char> bytes;

std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_text(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary).write(content.data(), content.size());
}

struct result {
    int status;
    std::string out, err;
};

// Runs command by the shell: its exit status, standard output and standard error.
result run(const std::string &command)
{
    std::string err_file = std::string(CLI_TEST_OUT) + "/stderr.txt";
    FILE *pipe = popen((command + " 2>'" + err_file + "'").c_str(), "r");
    result r = {-1, "", ""};
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    int status = pipe ? pclose(pipe) : -1;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = read_text(err_file);
    return r;
}

// A fresh, empty folder for one test.
std::string fresh_folder(const std::string &name)
{
    std::string folder = std::string(CLI_TEST_OUT) + "/" + name;
    run("rm -rf '" + folder + "' && mkdir -p '" + folder + "'");
    return folder;
}

std::string builder(const char *path, const std::string &args)
{
    return std::string("'") + path + "' " + args;
}

uint32_t get32(const std::string &b, size_t at)
{
    return (unsigned char)b[at] | (unsigned char)b[at + 1] << 8 |
           (unsigned char)b[at + 2] << 16 | (uint32_t)(unsigned char)b[at + 3] << 24;
}

void put32(std::string &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (char)(v >> (8 * i));
}

TEST(BuilderCommandLine, HelpVersionAndUsage)
{
    const struct {
        const char *args;
        int status;
        const char *out, *err;
    } cases[] = {
        {"--help", 0, "usage: trevalo-build [--stub STUB] CONFIGURATION OUTPUT", ""},
        {"--version", 0, "trevalo-build " TREVALO_VERSION "\n", ""},
        {"", 2, "", "usage: trevalo-build"},
        {"only.cfg", 2, "", "usage: trevalo-build"},
        {"--frobnicate a.cfg b.exe", 2, "", "usage: trevalo-build"},
        {"--stub", 2, "", "usage: trevalo-build"},
        {"--help a.cfg b.exe", 2, "", "usage: trevalo-build"},
    };
    for (const auto &c : cases) {
        result r = run(builder(CLI_TEST_BUILDER, c.args));
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out.compare(0, strlen(c.out), c.out), 0) << c.args << ": " << r.out;
        if (!c.out[0]) {
            EXPECT_EQ(r.out, "") << c.args;
        }
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    // The README shows --help as it is (the package's manual page is made from it).
    std::string help = run(builder(CLI_TEST_BUILDER, "--help")).out, indented;
    for (size_t at = 0, end; (end = help.find('\n', at)) != std::string::npos; at = end + 1)
        indented += "    " + help.substr(at, end + 1 - at);
    EXPECT_NE(read_text(CLI_TEST_README).find(indented), std::string::npos) << indented;
}

TEST(BuilderCommandLine, RefusesWhatCannotMakeALauncherAndWritesNothing)
{
    std::string dir = fresh_folder("refusals");
    const std::string stub = read_text(CLI_TEST_STUB_X86);
    ASSERT_GT(stub.size(), 1024u);
    const size_t pe = get32(stub, 0x3C), directories = pe + 24 + 96;
    std::string unsigned_stub = stub, signed_stub = stub, no_resources = stub;
    put32(signed_stub, directories + 4 * 8 + 4, 0x100);  // the security directory's size
    put32(no_resources, directories + 2 * 8, 0);         // the resource directory's address
    put32(no_resources, directories + 2 * 8 + 4, 0);
    write_text(dir + "/signed.exe", signed_stub);
    write_text(dir + "/no-resources.exe", no_resources);
    write_text(dir + "/lying.exe", stub.substr(0, 0x1000));
    write_text(dir + "/empty.exe", "");
    write_text(dir + "/text.exe", "just some text, not a program");
    run("truncate -s 3G '" + dir + "/huge.exe'");
    write_text(dir + "/good.cfg", "main_class = M\n");
    write_text(dir + "/ansi.cfg", "main_class = M\nsplash_text = caf\xE9\n");
    write_text(dir + "/bad-line.cfg", "main_class = M\n\nmian_class = N\n");
    write_text(dir + "/splash.cfg", "main_class = M\nsplash = good.cfg\n");
    write_text(dir + "/embed.cfg", "main_class = M\nembed = missing.jar\n");
    write_text(dir + "/huge-embed.cfg", "main_class = M\nembed = huge.exe\n");
    // Devices and pipes are refused before anything is read from them (a pipe would block,
    // /dev/zero never ends); names Windows cannot hold or tell apart, before any is read.
    run("cd '" + dir + "' && mkfifo pipe && mkdir -p lib upper/sub && mkfifo lib/pipe && "
        "touch lib/a.jar upper/A.JAR con.jar 'q?.jar'");
    write_text(dir + "/pipe-embed.cfg", "main_class = M\n\nembed = pipe\n");
    write_text(dir + "/pipe-folder.cfg", "main_class = M\nembed = lib\n");
    write_text(dir + "/zero.cfg", "main_class = M\nembed = /dev/zero\n");
    write_text(dir + "/twice.cfg", "main_class = M\nembed = upper\nembed = lib/a.jar\n");
    write_text(dir + "/device.cfg", "main_class = M\nembed = con.jar\n");
    write_text(dir + "/question.cfg", "main_class = M\nembed = q?.jar\n");
    write_text(dir + "/priority.cfg", "main_class = M\npriority = 9\n");
    write_text(dir + "/proc.cfg", "main_class = M\nembed = /proc/self/environ\n");
    write_text(dir + "/url.cfg", "main_class = M\ndownload_url = file:///C:/x.bat\n");
    const std::string x86 = std::string("--stub '") + CLI_TEST_STUB_X86 + "' ";
    const struct {
        std::string args, message;
    } cases[] = {
        {"--stub signed.exe good.cfg out.exe",
         "stub signed.exe: the file is signed (it carries an Authenticode signature); sign the "
         "launcher after building it"},
        {"--stub no-resources.exe good.cfg out.exe",
         "stub no-resources.exe: the file has no resource directory"},
        {"--stub lying.exe good.cfg out.exe",
         "stub lying.exe: the file is cut short or its section table lies"},
        {"--stub empty.exe good.cfg out.exe", "stub empty.exe: the file is empty"},
        {"--stub text.exe good.cfg out.exe", "stub text.exe: not a Windows program"},
        {"--stub huge.exe good.cfg out.exe",
         "cannot read huge.exe: it has 3221225472 bytes, more than the 2 GB"},
        {"--stub '" CLI_TEST_PROBE32 "' good.cfg out.exe",
         "pe_probe_i686.exe is not a launcher stub (it has no launcher message table)"},
        {"--stub missing.exe good.cfg out.exe", "cannot read missing.exe: No such file"},
        {x86 + "missing.cfg out.exe", "cannot read missing.cfg: No such file"},
        {x86 + "ansi.cfg out.exe", "ansi.cfg: line 2: is not valid UTF-8"},
        {x86 + "bad-line.cfg out.exe", "bad-line.cfg: line 3: unknown setting 'mian_class' (did you mean 'main_class'?)"},
        {x86 + "empty.exe out.exe", "empty.exe: no main class"},
        {x86 + "splash.cfg out.exe", "splash ./good.cfg: not a Windows bitmap"},
        {x86 + "embed.cfg out.exe", "cannot embed missing.jar: No such file"},
        {x86 + "huge-embed.cfg out.exe", "cannot embed ./huge.exe: the embedded files would "
                                         "pass the 2 GB"},
        {x86 + "pipe-embed.cfg out.exe", "pipe-embed.cfg: line 3: cannot embed ./pipe: it is "
                                         "not a regular file (a device, pipe or socket)"},
        {x86 + "pipe-folder.cfg out.exe", "pipe-folder.cfg: line 2: cannot embed ./lib/pipe: "
                                          "it is not a regular file"},
        {x86 + "zero.cfg out.exe", "zero.cfg: line 2: cannot embed /dev/zero: it is not a "
                                   "regular file"},
        {x86 + "pipe out.exe", "cannot read pipe: it is not a regular file"},
        {x86 + "twice.cfg out.exe", "twice.cfg: line 3: two embedded files are named 'a.jar' "
                                    "(the other is ./upper/A.JAR): Windows does not tell names "
                                    "apart by case"},
        {x86 + "device.cfg out.exe", "device.cfg: line 2: cannot embed ./con.jar: 'con.jar': "
                                     "it names the device con on Windows"},
        {x86 + "question.cfg out.exe", "question.cfg: line 2: cannot embed ./q?.jar: 'q?.jar': "
                                       "Windows does not allow '?' in a file name"},
        {x86 + "priority.cfg out.exe", "priority.cfg: line 2: 'priority' is '9': give a whole "
                                       "number from 0 to 5"},
        {x86 + "proc.cfg out.exe", "proc.cfg: line 2: cannot embed /proc/self/environ: it is not "
                                   "a regular file"},
        {x86 + "url.cfg out.exe", "url.cfg: line 2: 'download_url' is 'file:///C:/x.bat': give "
                                  "an http:// or https:// address"},
        {x86 + "good.cfg no-such-folder/out.exe", "cannot create a file in no-such-folder"},
        {x86 + "good.cfg .", "cannot write .:"},
    };
    write_text(dir + "/out.exe", "previous output");
    std::string before = run("ls -A '" + dir + "'").out;
    for (const auto &c : cases) {
        // An earlier output is left exactly as it was.
        write_text(dir + "/out.exe", "previous output");
        result r = run("cd '" + dir + "' && " + builder(CLI_TEST_BUILDER, c.args));
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(r.err.rfind("trevalo-build: error: ", 0), 0u) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(read_text(dir + "/out.exe"), "previous output") << c.args;
    }
    // No temporary file is left behind.
    EXPECT_EQ(run("ls -A '" + dir + "'").out, before);
}

// A launcher the Linux builder made, as Windows reads it: the settings through LoadStringW,
// the archive, and the checksum by MapFileAndCheckSumW against the one recorded.
TEST(BuilderCommandLine, WritesALauncherWindowsReads)
{
    std::string dir = fresh_folder("written");
    // The builder with the x86 stub beside it, which the configuration names.
    run("cp '" CLI_TEST_BUILDER "' '" CLI_TEST_STUB_X86 "' '" + dir + "/'");
    write_text(dir + "/app.cfg", "main_class = a.Main\narchitecture = x86\n"
                                 "class_path = lib\\x.jar;y.jar\n"
                                 "splash_text = caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n"
                                 "embed = files\\data.txt\n");
    run("mkdir '" + dir + "/files'");
    write_text(dir + "/files/data.txt", "embedded content");
    result r = run("cd '" + dir + "' && ./trevalo-build-checked app.cfg app.exe");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "trevalo-build: wrote app.exe\n");

    std::string launcher = read_text(dir + "/app.exe");
    uint32_t recorded, computed;
    std::string error;
    ASSERT_TRUE(pe_checksum((const unsigned char *)launcher.data(), launcher.size(), &recorded,
                            &computed, &error)) << error;
    EXPECT_EQ(recorded, computed);
    EXPECT_NE(recorded, 0u);
    char sum[32];
    snprintf(sum, sizeof sum, "sum=%08x:%08x\n", recorded, recorded);
    std::string items = " s:" + std::to_string(SETTING_class_path) + " s:" +
                        std::to_string(SETTING_splash_text) + " s:" +
                        std::to_string(SETTING_stdout_file) + " sum";
    result read = run(CLI_TEST_WINE " '" CLI_TEST_PROBE32 "' --file '" + dir + "/app.exe'" +
                      items + " | tr -d '\\r'");
    EXPECT_EQ(read.out, "s:" + std::to_string(SETTING_class_path) + "=lib\\x.jar;y.jar\n" +
                        "s:" + std::to_string(SETTING_splash_text) +
                        "=caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n" + "s:" +
                        std::to_string(SETTING_stdout_file) + "=\n" + sum);
}

// The same configuration, files, splash, icon and version information through the Linux builder (shipped and checked) and
// the Windows builder under Wine: the same bytes, for each architecture. The folder's name is
// outside any code page, as are the names of its files, and the files' names differ in case and
// in the characters that sort between upper and lower case letters.
TEST(BuilderCommandLine, BothBuildersWriteTheSameBytes)
{
    std::string dir = fresh_folder("same \xC3\xBCn\xC3\xAF \xE6\x97\xA5\xE6\x9C\xAC");
    run("mkdir -p '" + dir + "/lib' && cp '" CLI_TEST_SAMPLE_CFG "' '" CLI_TEST_SPLASH "' '"
        CLI_TEST_ICON "' '" + dir + "/'");
    run("head -c 300000 /dev/urandom > '" + dir + "/lib/big.jar'");
    for (const char *name : {"B.txt", "a_b", "aab", "Abc", "\xE6\x97\xA5.txt", "Z", "_x"})
        write_text(dir + "/lib/" + name, name);
    write_text(dir + "/app.cfg", read_text(CLI_TEST_SAMPLE_CFG) + "embed = lib\n" +
                                     "stdout_file = \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.log\n"
                                     "icon = trevalo.ico\nfile_version = 1.2.3.4\n"
                                     "product_name = Caf\xC3\xA9 \xE6\x97\xA5\n"
                                     "execution_level = highestAvailable\n");
    const std::pair<const char *, const char *> stubs[] = {
        {CLI_TEST_STUB_X86, "x86"}, {CLI_TEST_STUB_X64, "x64"}, {CLI_TEST_STUB_ARM64, "arm64"}};
    for (const auto &[stub, architecture] : stubs) {
        SCOPED_TRACE(stub);
        const std::string args = std::string(" --stub '") + stub + "' '" + dir + "/app.cfg' '" +
                                 dir + "/";
        result linux_run = run(builder(CLI_TEST_SHIPPED_BUILDER, args + "linux.exe'"));
        result checked_run = run(builder(CLI_TEST_BUILDER, args + "checked.exe'"));
        result windows_run = run(CLI_TEST_WINE " " + builder(CLI_TEST_WINDOWS_BUILDER,
                                                             args + "windows.exe'"));
        ASSERT_EQ(linux_run.status, 0) << linux_run.err;
        ASSERT_EQ(checked_run.status, 0) << checked_run.err;
        ASSERT_EQ(windows_run.status, 0) << windows_run.err;
        std::string launcher = read_text(dir + "/linux.exe");
        EXPECT_GT(launcher.size(), 300000u);
        EXPECT_TRUE(launcher == read_text(dir + "/windows.exe"));
        EXPECT_TRUE(launcher == read_text(dir + "/checked.exe"));
        // And both read it back alike.
        const std::string printed = " --print '" + dir + "/linux.exe'";
        result linux_print = run(builder(CLI_TEST_SHIPPED_BUILDER, printed));
        EXPECT_EQ(linux_print.status, 0) << linux_print.err;
        EXPECT_NE(linux_print.out.find("\nicon = icon.ico\n"), std::string::npos);
        EXPECT_NE(linux_print.out.find("architecture = " + std::string(architecture) + "\n"),
                  std::string::npos);
        EXPECT_EQ(run(CLI_TEST_WINE " " + builder(CLI_TEST_WINDOWS_BUILDER, printed)).out,
                  linux_print.out);
    }
}

// --print into a folder writes the configuration under a name no embedded file has, and the
// files it names, which build the same launcher again; it replaces nothing in the folder, and
// output that cannot be written is a failure.
TEST(BuilderCommandLine, PrintsWithoutReplacingAnythingAndChecksEveryWrite)
{
    std::string dir = fresh_folder("print");
    const std::string x86 = std::string("--stub '") + CLI_TEST_STUB_X86 + "' ";
    run("mkdir '" + dir + "/lib' && cp '" CLI_TEST_ICON "' '" + dir + "/'");
    write_text(dir + "/lib/launcher.cfg", "an embedded file of that name");
    write_text(dir + "/app.cfg", "main_class = M\nembed = lib\nicon = trevalo.ico\n");
    result built = run("cd '" + dir + "' && " + builder(CLI_TEST_BUILDER, x86 + "app.cfg app.exe"));
    ASSERT_EQ(built.status, 0) << built.err;

    result printed = run("cd '" + dir + "' && " + builder(CLI_TEST_BUILDER, "--print app.exe out"));
    EXPECT_EQ(printed.status, 0) << printed.err;
    EXPECT_EQ(printed.out, "trevalo-build: wrote out/launcher-2.cfg\n");
    EXPECT_EQ(run("ls '" + dir + "/out'").out, "icon.ico\nlauncher-2.cfg\nlauncher.cfg\n");
    EXPECT_EQ(read_text(dir + "/out/launcher.cfg"), "an embedded file of that name");
    result again = run("cd '" + dir + "' && " +
                       builder(CLI_TEST_BUILDER, x86 + "out/launcher-2.cfg again.exe"));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(read_text(dir + "/again.exe") == read_text(dir + "/app.exe"));

    write_text(dir + "/out/launcher.cfg", "changed by the user");
    const struct {
        std::string command, error;
    } refused[] = {
        {"--print app.exe out", "--print out: it holds launcher.cfg already, which the printed "
                                "configuration would replace; give a new or empty folder"},
        {"--print app.exe > /dev/full", "cannot write to standard output"},
        {"--help > /dev/full", "cannot write to standard output"},
        {"--print app.exe >&-", "cannot write to standard output"},
    };
    for (const auto &c : refused) {
        result r = run("cd '" + dir + "' && " + builder(CLI_TEST_BUILDER, c.command));
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.command << ": " << r.err;
    }
    EXPECT_EQ(read_text(dir + "/out/launcher.cfg"), "changed by the user");
}

// Signed after it is built, as the README shows: the signature verifies, the launcher runs
// (it reads its own settings: the configured message) and --print reads it, saying that it is
// signed; given as a stub, it is refused.
TEST(BuilderCommandLine, ASignedLauncherVerifiesRunsAndPrints)
{
    std::string dir = fresh_folder("signed");
    const std::string in = "cd '" + dir + "' && ";
    write_text(dir + "/app.cfg", "main_class = M\nmsg_no_runtime = No runtime here\n");
    ASSERT_EQ(run(in + builder(CLI_TEST_BUILDER, std::string("--stub '") + CLI_TEST_STUB_X64 +
                                                     "' app.cfg app.exe")).status, 0);
    result made = run(in + CLI_TEST_OPENSSL " req -x509 -newkey rsa:2048 -nodes -keyout key.pem "
                      "-out cert.pem -days 2 -subj '/CN=Trevalo test'");
    ASSERT_EQ(made.status, 0) << made.err;
    result sign = run(in + CLI_TEST_OSSLSIGNCODE " sign -certs cert.pem -key key.pem -n App "
                      "-in app.exe -out signed.exe");
    ASSERT_EQ(sign.status, 0) << sign.out << sign.err;
    result verify = run(in + CLI_TEST_OSSLSIGNCODE " verify -CAfile cert.pem -in signed.exe");
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("Number of verified signatures: 1"), std::string::npos) << verify.out;

    result ran = run(in + CLI_TEST_WINE " signed.exe");
    EXPECT_EQ(ran.status, 1);  // a console launcher that cannot start, as the java command
    EXPECT_EQ(ran.err, "Error: No runtime here\r\n");

    result printed = run(in + builder(CLI_TEST_BUILDER, "--print signed.exe"));
    EXPECT_EQ(printed.status, 0) << printed.err;
    // The same text as the launcher's before signing, with one line more.
    const std::string note = "# The launcher is signed (Authenticode). Built again it is not: "
                             "sign it again after building.\n";
    size_t at = printed.out.find(note);
    ASSERT_NE(at, std::string::npos) << printed.out;
    EXPECT_EQ(printed.out.erase(at, note.size()),
              run(in + builder(CLI_TEST_BUILDER, "--print app.exe")).out);
    EXPECT_NE(printed.out.find("\nmsg_no_runtime = No runtime here\n"), std::string::npos);

    result as_stub = run(in + builder(CLI_TEST_BUILDER, "--stub signed.exe app.cfg x.exe"));
    EXPECT_EQ(as_stub.status, 1);
    EXPECT_NE(as_stub.err.find("the file is signed"), std::string::npos) << as_stub.err;
}

TEST(BuilderFiles, SortsNamesAlikeOnEverySystem)
{
    // ASCII letters fold to lower case, so '_' sorts before them; names equal that way go by
    // their bytes; other bytes as they are.
    std::vector<std::string> names = {"b", "\xC3\xA9", "B", "a_b", "aab", "A", "Z", "_", "ab",
                                      "a"};
    sort_file_names(&names);
    const std::vector<std::string> expected = {"_", "A", "a", "a_b", "aab", "ab", "B", "b", "Z",
                                               "\xC3\xA9"};
    EXPECT_EQ(names, expected);
}

} // namespace
