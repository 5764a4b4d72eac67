// The launcher builder as users run it: what it writes, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "builder/icon.h"
#include "config/setting_list.h"
#include "tests/wine/harness.h"

namespace {

std::string builder()
{
    return quote(tools_dir() + "\\trevalo-build.exe");
}

// The bytes of resource type/name (any language) of the program at path; empty when none.
std::string read_resource(const std::string &path, LPCSTR type, LPCSTR name)
{
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource = module ? FindResourceA(module, name, type) : nullptr;
    std::string bytes;
    if (resource)
        bytes.assign((const char *)LockResource(LoadResource(module, resource)),
                     SizeofResource(module, resource));
    if (module)
        FreeLibrary(module);
    return bytes;
}

TEST(Builder, StubCarriesTheMessageTable)
{
    static const unsigned char expected[52] = {
        0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00, 0x40, 0x1C,
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC0, 0x02, 0x00, 0x00, 0xC0, 0x28, 0x00,
        0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x25, 0x31, 0x0D, 0x0A, 0x00, 0x00, 0x00,
        0x00, 0x0C, 0x00, 0x00, 0x00, 0x25, 0x31, 0x0D, 0x0A, 0x00, 0x00, 0x00, 0x00,
    };
    for (const std::string &path : {stub_path(target_arch(), false),
                                    stub_path(target_arch(), true),
                                    build_dir() + "\\sample-rc.exe"}) {
        // Every stub carries the manifest: run as the invoker, per-monitor DPI awareness,
        // the version 6 common controls, Windows 7 to 11.
        std::string manifest = read_resource(path, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
        for (const char *part :
             {"<?xml", "level=\"asInvoker\"", "PerMonitorV2", "Microsoft.Windows.Common-Controls",
              "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(manifest.find(part), std::string::npos) << path << ": " << part;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << path;
        HRSRC table = FindResourceExA(module, MAKEINTRESOURCEA(11), MAKEINTRESOURCEA(1),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_NE(table, nullptr) << path;
        ASSERT_EQ(SizeofResource(module, table), sizeof expected) << path;
        EXPECT_EQ(memcmp(LockResource(LoadResource(module, table)), expected, sizeof expected), 0)
            << path;
        EXPECT_NE(FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14)), nullptr) << path;
        FreeLibrary(module);
    }
}

std::string load_string(HMODULE module, UINT id)
{
    char buffer[8192];
    int n = LoadStringA(module, id, buffer, sizeof buffer);
    return std::string(buffer, n);
}

TEST(Builder, WritesWhatTheResourceCompilerWrites)
{
    // The sample configuration written by the builder reads back, setting by setting, like
    // the sample launcher compiled from its resource script.
    std::string dir = make_temp_dir("sample");
    std::string config = read_file(tools_dir() + "\\sample.cfg");
    ASSERT_FALSE(config.empty());
    std::string built = make_launcher(dir, config);

    HMODULE reference = LoadLibraryExA((build_dir() + "\\sample-rc.exe").c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE);
    HMODULE module = LoadLibraryExA(built.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(reference, nullptr);
    ASSERT_NE(module, nullptr);
    for (UINT id = SETTING_FIRST; id <= SETTING_LAST; id += SETTING_STEP)
        EXPECT_EQ(load_string(module, id), load_string(reference, id)) << "setting " << id;
    EXPECT_EQ(load_string(module, SETTING_main_class), "00411F3854003F1957");
    FreeLibrary(module);
    FreeLibrary(reference);
}

TEST(Builder, ReplacesTheSettingsOfAnExistingLauncher)
{
    // A launcher used as the stub keeps none of its old settings.
    std::string dir = make_temp_dir("rebuild");
    std::string first = make_launcher(dir, "main_class = M\nclass_path = old.jar\n", "first.exe");
    std::string second = make_launcher(dir, "main_class = N\n", "second.exe", first);
    HMODULE module = LoadLibraryExA(second.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(load_string(module, SETTING_class_path), "");
    FreeLibrary(module);
}

// The Windows builder's own files: what it cannot read, write or pack is refused and an
// earlier output is kept. (What the portable builder refuses in a configuration or a stub is checked
// on the host, for both builders.)
TEST(Builder, RefusesBadInputAndKeepsTheOutput)
{
    if (target_arch() != "x86")  // one x86 builder for both, refusing alike
        GTEST_SKIP() << "checked in the x86 run";
    std::string dir = make_temp_dir("bad");
    write_file(dir + "\\good.cfg", "main_class = M\narchitecture = x86\n");
    CreateDirectoryA((dir + "\\folder.exe").c_str(), nullptr);
    // Two files of one name but for case, packed from two folders.
    CreateDirectoryA((dir + "\\one").c_str(), nullptr);
    CreateDirectoryA((dir + "\\two").c_str(), nullptr);
    write_file(dir + "\\one\\a.jar", "1");
    write_file(dir + "\\two\\A.jar", "2");
    write_file(dir + "\\missing-embed.cfg",
               "main_class = M\narchitecture = x86\nembed = missing.jar\n");
    write_file(dir + "\\same-name.cfg",
               "main_class = M\narchitecture = x86\nembed = one\nembed = two\n");
    const struct {
        std::string args;
        const char *message;
        bool output_held; // open without sharing while the builder runs: it cannot be replaced
    } cases[] = {
        {"missing.cfg out.exe", "cannot read missing.cfg"},
        {"--stub " + quote(tools_dir() + "\\trevalo-build.exe") + " good.cfg out.exe",
         "trevalo-build.exe: the file has no resource directory"},
        {"--stub missing.exe good.cfg out.exe", "cannot read missing.exe"},
        {"good.cfg no-such-folder\\out.exe", "cannot create a file in no-such-folder"},
        // The rename fails after the temporary file was written.
        {"good.cfg out.exe", "cannot write out.exe", true},
        {"good.cfg folder.exe", "cannot write folder.exe"},
        {"missing-embed.cfg out.exe", "cannot embed missing.jar"},
        {"same-name.cfg out.exe", "two embedded files are named 'A.jar'"},
    };
    for (const auto &c : cases) {
        // An earlier output is left exactly as it was.
        write_file(dir + "\\out.exe", "previous output");
        HANDLE held = c.output_held ? CreateFileA((dir + "\\out.exe").c_str(), GENERIC_READ, 0,
                                                  nullptr, OPEN_EXISTING, 0, nullptr)
                                    : nullptr;
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::string output;
        DWORD status = run_capture(builder() + " " + c.args, dir, &output);
        if (held)
            CloseHandle(held);
        EXPECT_NE(status, 0u) << c.args;
        EXPECT_NE(output.find(c.message), std::string::npos) << c.args << "\n" << output;
        EXPECT_EQ(read_file(dir + "\\out.exe"), "previous output") << c.args;
    }
    // Nothing but the files written above is left in the folder.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    int files = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(files, 4) << "no temporary file is left behind";
}

TEST(Builder, StoresUtf8TextAsItsUtf16Units)
{
    // Saved as UTF-8 (with a byte-order mark, as make_launcher writes it), a key on the first
    // line: 40,000 "e acute" are 80,000 bytes but 40,000 UTF-16 units, which a setting holds.
    std::string dir = make_temp_dir("utf8");
    std::string text;
    for (int i = 0; i < 40000; i++)
        text += "\xC3\xA9";
    std::string built = make_launcher(dir, "main_class = M\napp_args = " + text);
    HMODULE module = LoadLibraryExA(built.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC block = FindResourceExA(module, MAKEINTRESOURCEA(6),
                                  MAKEINTRESOURCEA(SETTING_app_args / 16 + 1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(block, nullptr);
    const WCHAR *data = (const WCHAR *)LockResource(LoadResource(module, block));
    ASSERT_EQ(data[0], 40000) << "UTF-16 units stored";
    EXPECT_EQ(std::count(data + 1, data + 1 + 40000, (WCHAR)0xE9), 40000);
    FreeLibrary(module);
}

// The machine and subsystem fields of a program's PE header.
void pe_kind(const std::string &path, WORD *machine, WORD *subsystem)
{
    std::string image = read_file(path);
    *machine = *subsystem = 0;
    if (image.size() < 0x40)
        return;
    DWORD pe = *(const DWORD *)&image[0x3C];
    if (image.size() < pe + 0x5E)
        return;
    *machine = *(const WORD *)&image[pe + 4];
    *subsystem = *(const WORD *)&image[pe + 0x5C];  // the same offset in PE32 and PE32+
}

TEST(Builder, UsesTheStubBesideItThatTheConfigurationNames)
{
    if (target_arch() != "x86")  // builds for both architectures itself
        GTEST_SKIP() << "checked in the x86 run";
    // The builder and the four stubs in one folder, as in a distribution.
    std::string dir = make_temp_dir("beside");
    CopyFileA((tools_dir() + "\\trevalo-build.exe").c_str(), (dir + "\\trevalo-build.exe").c_str(),
              FALSE);
    for (const char *arch : {"x86", "x64"})
        for (bool console : {false, true}) {
            std::string stub = stub_path(arch, console);
            ASSERT_TRUE(CopyFileA(stub.c_str(), (dir + stub.substr(stub.rfind('\\'))).c_str(),
                                  FALSE)) << stub;
        }
    const struct {
        const char *config;
        WORD machine, subsystem;
    } cases[] = {
        {"", IMAGE_FILE_MACHINE_AMD64, IMAGE_SUBSYSTEM_WINDOWS_GUI},  // x64 and GUI by default
        {"architecture = x86\n", IMAGE_FILE_MACHINE_I386, IMAGE_SUBSYSTEM_WINDOWS_GUI},
        {"subsystem = console\n", IMAGE_FILE_MACHINE_AMD64, IMAGE_SUBSYSTEM_WINDOWS_CUI},
        {"architecture = x86\nsubsystem = console\n", IMAGE_FILE_MACHINE_I386,
         IMAGE_SUBSYSTEM_WINDOWS_CUI},
    };
    for (const auto &c : cases) {
        write_file(dir + "\\app.cfg", std::string("main_class = M\n") + c.config);
        DeleteFileA((dir + "\\app.exe").c_str());
        std::string output;
        ASSERT_EQ(run_capture(quote(dir + "\\trevalo-build.exe") + " app.cfg app.exe", dir,
                              &output), 0u) << output;
        WORD machine, subsystem;
        pe_kind(dir + "\\app.exe", &machine, &subsystem);
        EXPECT_EQ(machine, c.machine) << c.config;
        EXPECT_EQ(subsystem, c.subsystem) << c.config;
        HMODULE module = LoadLibraryExA((dir + "\\app.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(load_string(module, SETTING_search_order), "8071234569");
        FreeLibrary(module);
    }
}

// An icon file of 32-bit bitmaps of the given sizes, each of one colour.
std::string icon_file(std::initializer_list<unsigned> sizes)
{
    std::vector<icon_image> images;
    for (unsigned size : sizes) {
        BITMAPINFOHEADER header = {sizeof header, (LONG)size, (LONG)(2 * size), 1, 32};
        std::vector<unsigned char> data((const unsigned char *)&header,
                                        (const unsigned char *)(&header + 1));
        data.resize(data.size() + size * size * 4, 0x80);
        data.resize(data.size() + (size + 31) / 32 * 4 * size, 0);
        images.push_back({(uint8_t)size, (uint8_t)size, 0, 0, 1, 32, data});
    }
    std::vector<unsigned char> file = build_icon_file(images);
    return std::string(file.begin(), file.end());
}

BOOL CALLBACK count_name(HMODULE, LPCSTR, LPSTR, LONG_PTR count)
{
    ++*(int *)count;
    return TRUE;
}

// The icon, version and execution-level keys as Windows reads them from the launcher, and
// --print FOLDER writing what builds the same launcher again.
TEST(Builder, WritesIconVersionAndLevelAndPrintsThemBack)
{
    std::string dir = make_temp_dir("keys");
    write_file(dir + "\\app.ico", icon_file({16, 32}));
    std::string launcher = make_launcher(dir,
        "\xEF\xBB\xBFmain_class = M\nicon = app.ico\nembed = app.ico\nfile_version = 3.1\n"
        "product_name = caf\xC3\xA9 \xD0\x96\xD1\x83\xD0\xBA \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n"
        "company_name = ACME\nexecution_level = highestAvailable\n");

    std::wstring path(launcher.begin(), launcher.end());
    DWORD ignored;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, (DWORD)info.size(), info.data()));
    VS_FIXEDFILEINFO *fixed;
    WCHAR *text;
    UINT length;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", (void **)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00030001u) << "the product version is the file's";
    EXPECT_EQ(fixed->dwFileOS, (DWORD)VOS_NT_WINDOWS32);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_APP);
    WORD *translation;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", (void **)&translation,
                               &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200) << "UTF-16";
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                               (void **)&text, &length));
    EXPECT_EQ(std::wstring(text), L"caf\u00E9 \u0416\u0443\u043A \u65E5\u672C\u8A9E");

    EXPECT_EQ(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0), 1u);
    HMODULE module = LoadLibraryExA(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    int images = 0;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(3), count_name, (LONG_PTR)&images);
    EXPECT_EQ(images, 2);
    // Windows picks the image of each size from the group: a 32-bit bitmap of 16 x 16 pixels
    // is 40 + 1024 + 64 bytes, of 32 x 32 pixels 40 + 4096 + 128.
    HRSRC group = FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);
    BYTE *directory = (BYTE *)LockResource(LoadResource(module, group));
    for (int size : {16, 32}) {
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
        EXPECT_EQ(image ? SizeofResource(module, image) : 0, 40u + size * size * 4 + size * 4)
            << size;
    }
    FreeLibrary(module);
    EXPECT_NE(read_resource(launcher, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1))
                  .find("level=\"highestAvailable\""), std::string::npos);

    std::string output;
    ASSERT_EQ(run_capture(builder() + " --print app.exe printed", dir, &output), 0u) << output;
    std::string printed = read_file(dir + "\\printed\\launcher.cfg");
    EXPECT_NE(printed.find("\nicon = icon.ico\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\nembed = app.ico\n"), std::string::npos) << printed;
    std::string again = make_launcher(dir + "\\printed", printed, "again.exe");
    EXPECT_TRUE(read_file(again) == read_file(launcher)) << "the rebuilt launcher differs";
}

} // namespace
