// The expansion of wildcards in the application's arguments, one table of cases.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "config/arguments.h"
#include "tests/unit/temp_tree.h"

namespace {

// What the command line gives main, from the folder base: split, then expanded; sorted, since
// the host lists a folder in no fixed order.
std::vector<std::string> expanded(const std::string &text, const std::string &base)
{
    int count;
    char **vector;
    bool *wild;
    split_windows_command_line(text.c_str(), &count, &vector, true, &wild);
    expand_wildcard_arguments(&count, &vector, wild, 1, base.c_str());
    std::vector<std::string> args(vector + 1, vector + count);
    for (int i = 1; i < count; i++)
        free(vector[i]);
    free(vector);
    free(wild);
    std::sort(args.begin(), args.end());
    return args;
}

TEST(Arguments, ExpandsUnquotedWildcardsInTheLastPart)
{
    temp_tree tree;
    for (const char *name : {"q1.sql", "Q2.SQL", "q10.sql", "notes.txt", "sub\\a.sql", ".hidden.sql"})
        tree.file(name);
    tree.path("sub\\dir.sql");
    std::string base = tree.name("");
    base.pop_back();
    const std::string abs = base + "\\sub\\";
    const struct {
        std::string text;
        std::vector<std::string> args;
    } cases[] = {
        {"*.sql x", {".hidden.sql", "Q2.SQL", "q1.sql", "q10.sql", "x"}},
        {"q?.sql", {"Q2.SQL", "q1.sql"}},                        // ? is one character
        {"sub\\*.sql", {"sub\\a.sql", "sub\\dir.sql"}},          // the folder part as written
        {"sub/*", {"sub/a.sql", "sub/dir.sql"}},
        {"\"" + base + "\\sub\"\\*", {abs + "a.sql", abs + "dir.sql"}},  // a quoted folder
        {"\"*.sql\" \"q?.sql\"", {"*.sql", "q?.sql"}},           // quoted: never expanded
        {"*.none q?.sql?", {"*.none", "q?.sql?"}},               // nothing matches: as it is
        {"s*\\a.sql missing\\*", {"s*\\a.sql", "missing\\*"}},   // a wildcard in the folder part
        {"notes.txt", {"notes.txt"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> wanted = c.args;
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(expanded(c.text, base), wanted) << c.text;
    }
}

TEST(Arguments, MatchesNamesAsWindowsComparesThem)
{
    const struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*", "", true}, {"?", "", false}, {"?", "\xC3\xA9", true}, {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false}, {"*.SQL", "q.sql", true}, {"*.sql", "q.sqlx", false},
        {"*\xC3\xA9*", "caf\xC3\xA9.txt", true}, {"*x", "\xC3\xA9", false}, {"*.*", "noext", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

} // namespace
