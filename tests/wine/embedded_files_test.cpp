// Unpacking embedded files, through the settings probe: the launcher's own loader, built by
// the builder with files packed in, run with its own temporary folder.
#include <gtest/gtest.h>

#include <stdint.h>

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "base/archive.h"
#include "base/resource_ids.h"
#include "base/setting_codec.h"
#include "tests/wine/harness.h"

namespace {

const char *const TABLE_CLASS_PATH = "table.jar;lib";

struct probe_run {
    run_result result;
    std::map<std::string, std::string> values;
};

// One application: its folder, its files to pack, its temporary folder and its probe.
struct app {
    std::string dir, temp, unpacked, probe;
};

// The folder a launcher unpacks into under base: the encoded main class, then the archive's
// hash, read from the launcher's own archive resource.
std::string unpack_folder(const std::string &base, const char *main_class,
                          const std::string &launcher)
{
    char encoded[2 * MAX_ENCODED_BYTES + 1];
    encode_setting_text(main_class, encoded, sizeof encoded);
    HMODULE module = LoadLibraryExA(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(RESOURCE_ARCHIVE), RT_RCDATA);
    char name[ARCHIVE_FOLDER_NAME_SIZE] = "";
    if (resource)
        archive_folder_name(archive_hash((const unsigned char *)LockResource(
                                             LoadResource(module, resource)),
                                         SizeofResource(module, resource)),
                            name);
    FreeLibrary(module);
    return base + "\\" + encoded + "\\" + name;
}

// An archive's file count, and one file of it: its name, time and size, then its bytes.
std::string count(uint32_t n)
{
    return std::string((const char *)&n, 4);
}

std::string entry(const std::string &name, const std::string &content)
{
    uint32_t size = (uint32_t)content.size();
    return name + std::string(9, '\0') + std::string((const char *)&size, 4) + content;
}

// Builds a probe that packs the given files (name -> content) from dir\files.
app make_app(const std::vector<std::pair<std::string, std::string>> &files,
             const std::string &extra_config = "")
{
    app a;
    a.dir = make_temp_dir("embed");
    a.temp = a.dir + "\\temp";
    CreateDirectoryA(a.temp.c_str(), nullptr);
    CreateDirectoryA((a.dir + "\\files").c_str(), nullptr);
    std::string config = std::string("main_class = e.Main\nclass_path = ") + TABLE_CLASS_PATH + "\n";
    for (const auto &f : files) {
        write_file(a.dir + "\\files\\" + f.first, f.second);
        config += "embed = files\\" + f.first + "\n";
    }
    a.probe = make_launcher(a.dir, config + extra_config, "probe.exe",
                            build_dir() + "\\settings_probe.exe");
    a.unpacked = unpack_folder(a.temp, "e.Main", a.probe);
    return a;
}

// Runs the probe as the user's unelevated programs run, unless elevated.
probe_run run_probe(const app &a, std::vector<std::string> environment = {},
                    bool elevated = false)
{
    environment.push_back("TMP=" + a.temp + "\\");
    environment.push_back("TEMP=" + a.temp + "\\");
    std::string block = environment_with(environment);
    std::string out = a.dir + "\\probe-output.txt";
    probe_run run;
    run.result = run_answering(quote(a.probe), a.dir, 60000, out, block.data(), !elevated);
    run.values = parse_values(read_file(out));
    return run;
}

FILETIME last_write(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void set_last_write(const std::string &path, FILETIME time)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// The file's change time: any write, truncation or time change moves it, even when the
// last-write time is put back afterwards.
LONGLONG change_time(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILE_BASIC_INFO info = {};
    GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info);
    CloseHandle(file);
    return info.ChangeTime.QuadPart;
}

TEST(EmbeddedFiles, UnpacksEveryFileOntoTheClassPath)
{
    std::string big(300000, 'b');
    // A name in any script, whatever the code page.
    const std::string world = "\u0434\u0430\u043d\u043d\u044b\u0435 \u65e5\u672c.jar";
    app a = make_app({{"a.jar", "PK first"}, {"b.jar", big}, {"native.dll", "MZ"},
                      {"readme.txt", ""}, {world, "PK world"}});
    probe_run run = run_probe(a);
    EXPECT_EQ(run.result.exit_code, 0u);
    EXPECT_TRUE(run.result.boxes.empty());
    std::string u = a.unpacked;
    EXPECT_EQ(run.values["class_path"], u + "\\a.jar;" + u + "\\b.jar;" + u + "\\native.dll;" +
                                            u + "\\readme.txt;" + u + "\\" + world + ";");
    EXPECT_EQ(read_file(u + "\\a.jar"), "PK first");
    EXPECT_EQ(read_file(u + "\\" + world), "PK world");
    EXPECT_EQ(read_file(u + "\\b.jar"), big);
    EXPECT_TRUE(file_exists(u + "\\readme.txt"));
    FILETIME packed = last_write(a.dir + "\\files\\b.jar");
    FILETIME unpacked = last_write(u + "\\b.jar");
    EXPECT_EQ(CompareFileTime(&packed, &unpacked), 0) << "the packed file's time is kept";
}

TEST(EmbeddedFiles, RewritesOnlyFilesThatChanged)
{
    app a = make_app({{"a.jar", "aaaa"}, {"b.jar", "bbbb"}, {"c.jar", "cccc"}});
    probe_run first = run_probe(a);
    EXPECT_EQ(first.values["files_opened_for_writing"], "3");
    std::string u = a.unpacked;
    LONGLONG changed_a = change_time(u + "\\a.jar"), changed_c = change_time(u + "\\c.jar");
    Sleep(50);

    probe_run second = run_probe(a);
    EXPECT_EQ(second.values["files_opened"], "0") << "an unchanged start opens nothing";
    EXPECT_EQ(change_time(u + "\\a.jar"), changed_a);
    EXPECT_EQ(second.values["class_path"], first.values["class_path"]);

    // Another size at the packed time, then only another time: each time, just that file is
    // written again.
    write_file(u + "\\b.jar", "edited, longer");
    set_last_write(u + "\\b.jar", last_write(a.dir + "\\files\\b.jar"));
    probe_run third = run_probe(a);
    EXPECT_EQ(third.values["files_opened_for_writing"], "1");
    EXPECT_EQ(read_file(u + "\\b.jar"), "bbbb");

    set_last_write(u + "\\c.jar", {0x12345678, 0x01D00000});
    probe_run fourth = run_probe(a);
    EXPECT_EQ(fourth.values["files_opened_for_writing"], "1");
    FILETIME packed = last_write(a.dir + "\\files\\c.jar"), restored = last_write(u + "\\c.jar");
    EXPECT_EQ(CompareFileTime(&packed, &restored), 0);
    EXPECT_NE(change_time(u + "\\c.jar"), changed_c);
    EXPECT_EQ(change_time(u + "\\a.jar"), changed_a);
}

TEST(EmbeddedFiles, TwoInstancesStartedTogetherOnTheFirstRunBothStart)
{
    // Each writes its own copy under a name of its own and puts it in place in one step: the
    // other never sees a part of it, nor fails on it.
    std::string big(40 << 20, 'j');
    app a = make_app({{"a.jar", big}});
    std::string block = environment_with({"TMP=" + a.temp + "\\", "TEMP=" + a.temp + "\\"});
    child_process children[2];
    for (int i = 0; i < 2; i++)
        ASSERT_TRUE(start_child(quote(a.probe), a.dir, &children[i],
                                a.dir + "\\out" + std::to_string(i) + ".txt", block.data(),
                                true));
    for (int i = 0; i < 2; i++) {
        message_box box;
        std::vector<HWND> answered;
        while (wait_message_box(children[i], 60000, &box, answered)) {
            ADD_FAILURE() << box.text;
            answered.push_back(box.window);
            press_ok(box);
        }
        EXPECT_NE(exit_status(&children[i], 60000), 0xDEADBEEFu) << i;
        auto values = parse_values(read_file(a.dir + "\\out" + std::to_string(i) + ".txt"));
        EXPECT_EQ(values["unpack_ok"], "1") << i;
        EXPECT_EQ(values["class_path"], a.unpacked + "\\a.jar;") << i;
    }
    EXPECT_TRUE(read_file(a.unpacked + "\\a.jar") == big);
}

TEST(EmbeddedFiles, AFileThatCannotBeWrittenStopsTheRun)
{
    // Whatever is in its place is never used instead: not a file held open (it may hold
    // anybody's code), not a folder (a folder on the class path is read as classes). A file
    // in use that is up to date is left alone and used.
    const struct {
        const char *what;
        const char *failing_file;  // the file named in the message; null: the run goes on
        const char *reason;        // the start of the reason
    } cases[] = {
        {"temporary folder missing", "a.jar", "Reason: "},
        {"changed file held open", "a.jar", "Reason: "},
        {"folder in a file's place", "b.jar", "Reason: a folder of this name is in the way."},
        {"unchanged file held open", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        app a = make_app({{"a.jar", "aaaa"}, {"b.jar", "bbbb"}});
        std::string what = c.what;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (what == "temporary folder missing") {
            a.temp += "\\missing";
            a.unpacked = unpack_folder(a.temp, "e.Main", a.probe);
        } else if (what == "changed file held open" || what == "unchanged file held open") {
            run_probe(a);
            if (what == "changed file held open")
                write_file(a.unpacked + "\\a.jar", "planted, other size");
            held = CreateFileA((a.unpacked + "\\a.jar").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE) << c.what;
        } else if (what == "folder in a file's place") {
            run_probe(a);
            DeleteFileA((a.unpacked + "\\b.jar").c_str());
            CreateDirectoryA((a.unpacked + "\\b.jar").c_str(), nullptr);
        }
        probe_run run = run_probe(a);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (!c.failing_file) {
            EXPECT_TRUE(run.result.boxes.empty()) << c.what;
            EXPECT_EQ(run.values["class_path"],
                      a.unpacked + "\\a.jar;" + a.unpacked + "\\b.jar;");
            continue;
        }
        EXPECT_EQ(run.values["unpack_ok"], "0") << c.what;
        ASSERT_EQ(run.result.boxes.size(), 1u) << c.what;
        std::string expected = std::string("Error writing to file/directory: ") + a.unpacked +
                               "\\" + c.failing_file + "\n\n" + c.reason;
        EXPECT_EQ(run.result.boxes[0].text.substr(0, expected.size()), expected) << c.what;
        EXPECT_GT(run.result.boxes[0].text.size(), strlen("Error writing to file/directory: "))
            << "a reason follows";
    }
}

TEST(EmbeddedFiles, AServiceUnpacksOnlyIntoAFolderOthersCannotChange)
{
    // Wine keeps an access list as the folder's Unix permissions: one that lets everyone
    // write is a folder any user could have planted, and is refused.
    app a = make_app({{"a.jar", "aaaa"}});
    std::string data = a.dir + "\\data";
    CreateDirectoryA(data.c_str(), nullptr);
    std::string planted = unpack_folder(data + "\\Trevalo", "e.Main", a.probe);
    std::vector<std::string> service = {"TREVALO_PROBE_SERVICE=1", "ProgramData=" + data};

    // A Trevalo folder that another account made first is moved aside and made again.
    CreateDirectoryA((data + "\\Trevalo").c_str(), nullptr);
    PSECURITY_DESCRIPTOR everyone;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
    ASSERT_TRUE(SetFileSecurityA((data + "\\Trevalo").c_str(), DACL_SECURITY_INFORMATION,
                                 everyone));
    probe_run fresh = run_probe(a, service);
    EXPECT_NE(GetFileAttributesA((data + "\\Trevalo.1").c_str()), INVALID_FILE_ATTRIBUTES)
        << "moved aside";
    EXPECT_EQ(fresh.values["unpack_ok"], "1");
    EXPECT_TRUE(fresh.result.boxes.empty());
    EXPECT_EQ(fresh.values["class_path"], planted + "\\a.jar;");
    EXPECT_EQ(read_file(planted + "\\a.jar"), "aaaa");

    DeleteFileA((planted + "\\a.jar").c_str());
    RemoveDirectoryA(planted.c_str());
    ASSERT_TRUE(CreateDirectoryA(planted.c_str(), nullptr));
    ASSERT_TRUE(SetFileSecurityA(planted.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    write_file(planted + "\\a.jar", "aaaa");  // the same name, size and content

    probe_run refused = run_probe(a, service);
    EXPECT_EQ(refused.values["unpack_ok"], "0");
    ASSERT_EQ(refused.result.boxes.size(), 1u);
    EXPECT_EQ(refused.result.boxes[0].text.find("The folder " + planted + " can be changed"), 0u)
        << refused.result.boxes[0].text;
}

TEST(EmbeddedFiles, AnElevatedRunNeverTakesFilesFromTheUsersTemporaryFolder)
{
    // The user's unelevated programs may write into the temporary folder: a jar of the same
    // name, size and time planted there is never run elevated.
    app a = make_app({{"a.jar", "aaaa"}});
    run_probe(a);
    FILETIME packed = last_write(a.unpacked + "\\a.jar");
    write_file(a.unpacked + "\\a.jar", "evil");
    set_last_write(a.unpacked + "\\a.jar", packed);
    std::string data = a.dir + "\\data";
    CreateDirectoryA(data.c_str(), nullptr);
    std::string own = unpack_folder(data + "\\Trevalo", "e.Main", a.probe);

    probe_run elevated = run_probe(a, {"ProgramData=" + data}, true);
    EXPECT_EQ(elevated.values["class_path"].find(a.temp), std::string::npos)
        << elevated.values["class_path"];
    EXPECT_EQ(read_file(a.unpacked + "\\a.jar"), "evil") << "left alone";
    if (elevated.values["unpack_ok"] == "1") {
        EXPECT_EQ(elevated.values["class_path"], own + "\\a.jar;");
        EXPECT_EQ(read_file(own + "\\a.jar"), "aaaa");
    } else {
        // Wine gives every folder its user as owner (it keeps no other), so the program-data
        // folder of an elevated run is refused there rather than used, and the box says that
        // the rights it runs with are why.
        ASSERT_EQ(elevated.result.boxes.size(), 1u);
        EXPECT_EQ(elevated.result.boxes[0].text.find("The program runs with administrator "
                                                     "rights, and the folder " + data + " can"),
                  0u)
            << elevated.result.boxes[0].text;
    }
}

TEST(EmbeddedFiles, SubFolderNamesNeedTheFolder)
{
    // A name with a folder part unpacks only into a folder that exists.
    app a = make_app({});
    ASSERT_TRUE(replace_archive(a.probe, count(1) + entry("lib\\x.jar", "xy")));

    a.unpacked = unpack_folder(a.temp, "e.Main", a.probe);
    probe_run missing = run_probe(a);
    EXPECT_EQ(missing.values["unpack_ok"], "0");
    ASSERT_EQ(missing.result.boxes.size(), 1u);
    EXPECT_EQ(missing.result.boxes[0].text.find("Error writing to file/directory: " +
                                                a.unpacked + "\\lib\\x.jar"), 0u);
    EXPECT_EQ(missing.values["class_path"], TABLE_CLASS_PATH);

    CreateDirectoryA((a.unpacked + "\\lib").c_str(), nullptr);
    probe_run present = run_probe(a);
    EXPECT_TRUE(present.result.boxes.empty());
    EXPECT_EQ(present.values["class_path"], a.unpacked + "\\lib\\x.jar;");
    EXPECT_EQ(read_file(a.unpacked + "\\lib\\x.jar"), "xy");
}

// No files keep the class path and make no folder. What the stub shows for a damaged archive
// and for a name that leaves the folder, and that nothing of it is unpacked (each way an
// archive is damaged or hostile is checked on the host).
TEST(EmbeddedFiles, EmptyDamagedOrHostileArchivesUnpackNothing)
{
    const struct {
        const char *what;
        std::string archive;  // empty: the builder's, of no files
        const char *message;  // null: no message
    } cases[] = {
        {"no files", "", nullptr},
        {"count past the end", count(3) + entry("a.jar", "a") + entry("b.jar", "b"),
         "Internal error RC000007: the embedded file archive is damaged."},
        {"parent folder", count(2) + entry("a.jar", "a") + entry("..\\evil.jar", "e"),
         "Error writing to file/directory: ..\\evil.jar"},
        {"count of zero", count(0) + "trailing", nullptr},
    };
    for (const auto &c : cases) {
        app a = make_app({});
        if (!c.archive.empty())
            ASSERT_TRUE(replace_archive(a.probe, c.archive)) << c.what;
        probe_run run = run_probe(a);
        EXPECT_EQ(run.result.exit_code, 0u) << c.what;
        if (c.message) {
            ASSERT_EQ(run.result.boxes.size(), 1u) << c.what;
            EXPECT_EQ(run.result.boxes[0].text, c.message) << c.what;
        } else {
            EXPECT_TRUE(run.result.boxes.empty()) << c.what;
        }
        EXPECT_EQ(run.values["class_path"], TABLE_CLASS_PATH) << c.what;
        EXPECT_FALSE(file_exists(a.unpacked + "\\a.jar")) << c.what << ": nothing unpacked";
        EXPECT_FALSE(file_exists(a.temp + "\\evil.jar")) << c.what;
        if (c.archive.empty())
            EXPECT_FALSE(file_exists(a.unpacked)) << "nothing to unpack, no folder made";
    }
}

} // namespace
