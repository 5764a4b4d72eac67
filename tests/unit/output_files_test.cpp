// The output files' rotation by size and their paths, on real files of the host.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/output_files.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/temp_tree.h"

namespace {

// The text of the file at the launcher-style path; "-" when there is none.
std::string text_of(const std::string &path)
{
    std::ifstream in(temp_tree::unix(path));
    if (!in)
        return "-";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(OutputFiles, RotatesBySizeAndNeverLosesTheLastRun)
{
    const std::string big(2048, 'C'), at(1024, 'C');
    const struct {
        const char *what;
        std::vector<std::string> before; // out.log, out.log.1, out.log.2, out.log.3 ("-": none)
        bool append;
        int max_kb, keep;
        const char *held;                // the file another process holds, if any
        bool appends;
        std::vector<std::string> after;
        std::string rotating = "-";      // out.log.rotating, left by a run that ended mid-way
    } cases[] = {
        {"no size limit", {big, "-", "-", "-"}, false, 0, 2, nullptr, false, {big, "-", "-", "-"}},
        {"no size limit, appended", {big, "-", "-", "-"}, true, 0, 2, nullptr, true,
         {big, "-", "-", "-"}},
        {"within the size", {"small", "B", "-", "-"}, true, 1, 2, nullptr, true,
         {"small", "B", "-", "-"}},
        {"over the size: shifted up, the oldest beyond the count removed", {big, "B", "A", "-"},
         true, 1, 2, nullptr, false, {"-", big, "B", "-"}},
        {"a gap in the older files", {big, "-", "A", "-"}, false, 1, 3, nullptr, false,
         {"-", big, "-", "A"}},
        {"none kept: emptied by the run", {big, "B", "-", "-"}, true, 1, 0, nullptr, false,
         {big, "B", "-", "-"}},
        {"the file is held: appended to", {big, "B", "A", "-"}, false, 1, 2, "out.log", true,
         {big, "B", "A", "-"}},
        {"an older file is held: put back, appended to", {big, "B", "-", "-"}, false, 1, 2,
         "out.log.1", true, {big, "B", "-", "-"}},
        {"exactly at the size", {at, "-", "-", "-"}, false, 1, 2, nullptr, false, {at, "-", "-", "-"}},
        {"a count beyond use", {big, "B", "-", "-"}, false, 1, 2147483647, nullptr, false,
         {"-", big, "B", "-"}},
        // Left aside by a run that ended mid-way: the file again, or the newest older one.
        {"aside", {"-", "B", "-", "-"}, false, 1, 2, nullptr, false, {"-", big, "B", "-"}, big},
        {"aside", {"s", "B", "-", "-"}, true, 1, 2, nullptr, true, {"s", "R", "B", "-"}, "R"},
    };
    for (const auto &c : cases) {
        temp_tree tree;
        const std::string names[] = {"out.log", "out.log.1", "out.log.2", "out.log.3"};
        for (size_t i = 0; i < 4; i++)
            if (c.before[i] != "-")
                tree.file(names[i], c.before[i]);
        if (c.rotating != "-")
            tree.file("out.log.rotating", c.rotating);
        fake_held_file(c.held ? tree.name(c.held).c_str() : nullptr);
        EXPECT_EQ(prepare_output_file(tree.name("out.log").c_str(), c.append, c.max_kb, c.keep),
                  c.appends)
            << c.what;
        fake_held_file(nullptr);
        for (size_t i = 0; i < 4; i++)
            EXPECT_EQ(text_of(tree.name(names[i])), c.after[i]) << c.what << ": " << names[i];
        EXPECT_EQ(text_of(tree.name("out.log.rotating")), "-") << c.what;
    }
}

TEST(OutputFiles, AGuardedRunWritesOnlyAPlainFileInAPrivateFolder)
{
    const struct {
        const char *file, *made; // made: "link", "hard" (link), "shared" (logs), "held", "old"
        bool guarded;
        output_problem problem;
        const char *after, *target; // the file's text after ("-": none), target.txt's
    } cases[] = {
        {"logs\\sub\\out.log", "", false, OUTPUT_READY, "", "T"}, // missing folders made
        {"out.log", "link", true, OUTPUT_NOT_A_FILE, "T", "T"},
        {"out.log", "hard", true, OUTPUT_NOT_A_FILE, "T", "T"},
        {"logs\\out.log", "shared", true, OUTPUT_FOLDER_NOT_PRIVATE, "-", "T"},
        {"logs\\new\\out.log", "shared", true, OUTPUT_FOLDER_NOT_PRIVATE, "-", "T"},
        {"out.log", "held", true, OUTPUT_READY, "old", "T"}, // cannot be emptied: appended
        {"out.log", "old", true, OUTPUT_READY, "", "T"},
    };
    for (const auto &c : cases) {
        temp_tree tree;
        std::string target = temp_tree::unix(tree.file("target.txt", "T")), made = c.made;
        std::string path = tree.name(c.file);
        if (made == "link" || made == "hard")
            (made == "link" ? symlink : link)(target.c_str(), temp_tree::unix(path).c_str());
        if (made == "held" || made == "old")
            tree.file(c.file, "old");
        fake_shared_folder(made == "shared" ? tree.path("logs").c_str() : nullptr);
        fake_held_file(made == "held" ? path.c_str() : nullptr);
        char *folder;
        EXPECT_EQ(ready_output_file(path.c_str(), {false, 0, 5, c.guarded, true}, &folder),
                  c.problem) << c.file << " " << made;
        free(folder);
        fake_held_file(nullptr);
        fake_shared_folder(nullptr);
        EXPECT_EQ(text_of(path) + " " + text_of(target), std::string(c.after) + " " + c.target)
            << c.file << " " << made;
    }
}

TEST(OutputFiles, RelativeNamesGoIntoTheFolder)
{
    const struct {
        const char *setting, *folder, *path;
    } cases[] = {
        {"out.log", "C:\\app\\", "C:\\app\\out.log"},
        {"logs\\out.log", "C:\\app\\", "C:\\app\\logs\\out.log"},
        {"D:\\logs\\out.log", "C:\\app\\", "D:\\logs\\out.log"},
        {"\\\\server\\logs\\out.log", "C:\\app\\", "\\\\server\\logs\\out.log"},
        {"\\logs\\out.log", "C:\\app\\", "\\logs\\out.log"},
        {"out.log", nullptr, "out.log"},
        {"", "C:\\app\\", ""},
    };
    for (const auto &c : cases) {
        char *path = output_file_path(c.setting, c.folder);
        EXPECT_STREQ(path, c.path) << c.setting;
        free(path);
    }
}

} // namespace
