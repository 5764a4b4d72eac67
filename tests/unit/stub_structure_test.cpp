// The built stubs as the LLVM tools read them: machine, subsystem, relocations, imports, the
// manifest, and unwind data over every function that is not a leaf.
#include "tests/unit/builder_resources_support.h"

#include <map>
#include <set>
#include <sstream>

namespace {

typedef std::vector<std::pair<std::string, std::string>> fields;

// Each "Key: value" line of what llvm-readobj prints, in order.
fields readobj(const std::string &options, const std::string &path)
{
    std::istringstream lines(run("llvm-readobj " + options + " '" + path + "'"));
    fields found;
    for (std::string line; std::getline(lines, line);) {
        size_t start = line.find_first_not_of(' '), colon = line.find(": ");
        if (start < colon && colon != std::string::npos)
            found.push_back({line.substr(start, colon - start), line.substr(colon + 2)});
    }
    return found;
}

// "IMAGE_FILE_MACHINE_ARM64 (0xAA64)", "(0x140001000)", "0xD0" or "64" as a number; 0 for text.
uint64_t number(const std::string &value)
{
    size_t hex = value.rfind("0x");
    return hex == std::string::npos ? strtoull(value.c_str(), nullptr, 10)
                                    : strtoull(value.c_str() + hex, nullptr, 16);
}

// The lines a command prints.
std::set<std::string> line_set(const std::string &command)
{
    std::istringstream lines(run(command));
    std::set<std::string> found;
    for (std::string line; std::getline(lines, line);)
        found.insert(line);
    return found;
}

}  // namespace

TEST(StubStructure, EachStubKeepsItsPlatformsRules)
{
    const struct {
        const char *folder, *name;
        uint64_t machine, subsystem;
    } stubs[] = {
        {RESOURCES_TEST_WIN32, "x86", 0x14C, 2},    {RESOURCES_TEST_WIN32, "x86-console", 0x14C, 3},
        {RESOURCES_TEST_WIN64, "x64", 0x8664, 2},   {RESOURCES_TEST_WIN64, "x64-console", 0x8664, 3},
        {RESOURCES_TEST_ARM64, "arm64", 0xAA64, 2}, {RESOURCES_TEST_ARM64, "arm64-console", 0xAA64, 3},
    };
    // The functions of launcher/imports/ and of a stub's imports, as "KERNEL32.dll GetLastError".
    const std::set<std::string> listed = line_set(
        "cd '" RESOURCES_TEST_SOURCE "/launcher/imports' && "
        "awk '/^LIBRARY/ {d = $2} NF && !/^(LIBRARY|EXPORTS|;)/ {print d, $1}' *.def");
    std::set<std::string> seen;
    const bytes manifest = read_bytes(RESOURCES_TEST_SOURCE "/resources/launcher.manifest");
    for (const auto &stub : stubs) {
        std::string path = std::string(stub.folder) + "/trevalo-stub-" + stub.name + ".exe";
        SCOPED_TRACE(path);
        bytes file = read_bytes(path);
        ASSERT_FALSE(file.empty());
        std::map<std::string, uint64_t> header;
        for (const auto &f : readobj("--file-headers", path))
            header[f.first] = number(f.second);
        EXPECT_EQ(header["Machine"], stub.machine);
        EXPECT_EQ(header["Subsystem"], stub.subsystem);
        EXPECT_GT(header["BaseRelocationTableSize"], 0u);  // loaded at any address
        // Exactly the five system DLLs; for x64 and ARM64 only listed functions, and every
        // listed one by one of them (x86 has other names for a few).
        const std::string imports = "llvm-readobj --coff-imports '" + path + "' | awk ";
        std::set<std::string> imported = line_set(imports + "'/Name:/ {d = $2} /Symbol:/ {print d, $2}'");
        EXPECT_EQ(line_set(imports + "'/Name:/ {print $2}'"),
                  std::set<std::string>({"ADVAPI32.dll", "KERNEL32.dll", "SHELL32.dll",
                                         "USER32.dll", "msvcrt.dll"}));
        for (const std::string &i : imported)
            if (stub.machine != 0x14C && seen.insert(i).second) {
                EXPECT_TRUE(listed.count(i)) << i << " is missing from launcher/imports/";
            }
        pe_image image;
        std::string error;
        ASSERT_TRUE(pe_parse(file.data(), file.size(), &image, &error)) << error;
        bool has_manifest = false;
        for (const pe_resource &r : image.resources)
            has_manifest |= r.type.number == 24 && r.name.number == 1 && r.data == manifest;
        EXPECT_TRUE(has_manifest);
        if (stub.machine == 0x14C)
            continue;  // x86 Windows unwinds by frame chains, from no table
        // The code each exception-directory entry covers, [start, end).
        std::vector<std::pair<uint64_t, uint64_t>> covered;
        for (const auto &f : readobj("--unwind", path))
            if (f.first == "StartAddress" || f.first == "Function")
                covered.push_back({number(f.second), number(f.second)});
            else if (f.first == "EndAddress" && !covered.empty())
                covered.back().second = number(f.second);
            else if (f.first == "FunctionLength" && !covered.empty())
                covered.back().second = covered.back().first + number(f.second);
        // Every instruction that makes its function one that is not a leaf: a call, or a change
        // of the stack pointer (x64: a push, %rsp as destination; ARM64: sp as destination, a
        // store that moves sp first). "140001000:     \tsubq\t$40, %rsp"
        std::istringstream lines(run("llvm-objdump -d --no-show-raw-insn '" + path + "'"));
        int frames = 0;
        for (std::string line; std::getline(lines, line);) {
            size_t colon = line.find(':'), tab = line.find('\t');
            if (colon == std::string::npos || tab == std::string::npos ||
                line.find_first_not_of(" 0123456789abcdef") < colon)
                continue;
            std::string code = line.substr(tab + 1), op = code.substr(0, code.find('\t'));
            std::string args = code.size() > op.size() ? code.substr(op.size() + 1) : "";
            bool frame = stub.machine == 0xAA64 ? op == "bl" || op == "blr" || args.rfind("sp,", 0) == 0 ||
                                     (args.find("[sp, #-") != std::string::npos && args.back() == '!')
                               : op.rfind("call", 0) == 0 || op.rfind("push", 0) == 0 ||
                                     (args.size() > 4 && args.substr(args.size() - 4) == "%rsp");
            if (!frame)
                continue;
            frames++;
            uint64_t at = std::stoull(line.substr(0, colon), nullptr, 16);
            bool inside = false;
            for (const auto &c : covered)
                inside = inside || (at >= c.first && at < c.second);
            EXPECT_TRUE(inside) << "no unwind data covers " << line;
        }
        EXPECT_GT(frames, 500);
    }
    EXPECT_EQ(seen, listed);  // no function listed that no stub imports
}
