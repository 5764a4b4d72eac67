// The command-line splitter against the splitting rules, one table of cases.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/command_line.h"

namespace {

// The arguments of text; with wild, the C runtime's rule, and in *wild a '1' or '0' per
// argument for whether it holds a wildcard outside quotes.
std::vector<std::string> split(const char *text, bool reserve, int *count_out = nullptr,
                               std::string *wild = nullptr)
{
    int count = -1;
    char **vector = reinterpret_cast<char **>(1);
    bool *flags = nullptr;
    if (wild)
        split_windows_command_line(text, &count, &vector, reserve, &flags);
    else
        split_command_line(text, &count, &vector, reserve);
    for (int i = reserve ? 1 : 0; wild && i < count; i++)
        *wild += flags[i] ? '1' : '0';
    free(flags);
    if (count_out)
        *count_out = count;
    std::vector<std::string> args;
    if (count == 0) {
        EXPECT_EQ(vector, nullptr);
    }
    for (int i = 0; i < count; i++) {
        if (reserve && i == 0) {
            EXPECT_EQ(vector[0], nullptr) << "slot 0 must stay empty";
            continue;
        }
        args.push_back(vector[i]);
        free(vector[i]);
    }
    free(vector);
    return args;
}

struct split_case {
    const char *text;
    std::vector<std::string> args;
};

TEST(SplitCommandLine, SplitsByTheRules)
{
    const split_case cases[] = {
        {"a \"b c\" d", {"a", "b c", "d"}},
        {"-Dx=\"a b\"", {"-Dx=\"a b\""}},            // quotes inside an argument stay
        {"a  b", {"a", "", "b"}},                     // two spaces: an empty argument between
        {"a ", {"a"}},
        {"   ", {""}},                                // spaces alone: one empty argument
        {"\"a b\"c", {"a b\""}},                      // first and last character dropped
        {"\"\" x", {"", "x"}},
        {"\"C:\\Program Files\\app data\" x", {"C:\\Program Files\\app data", "x"}},
        {"a\tb\tc", {"a\tb\tc"}},                     // tabs do not separate
        {"  lead", {"lead"}},
        {"\"", {""}},                                 // a lone double quote: empty argument
        {"a \" b", {"a", " "}},                       // unbalanced quote runs to the end
        {"x \"y z ", {"x"}},                          // ends in a quoted space: no last argument
        {"c:\\dir\\ x", {"c:\\dir\\", "x"}},          // backslashes are ordinary characters
        {"50% %%", {"50%", "%%"}},
        // UTF-8: bytes of a character are never a space or a quote.
        {"5€ café \"Жук 日本語\" 😀", {"5€", "café", "Жук 日本語", "😀"}},
    };
    for (const split_case &c : cases) {
        EXPECT_EQ(split(c.text, false), c.args) << "text: [" << c.text << "]";
        EXPECT_EQ(split(c.text, true), c.args) << "reserved, text: [" << c.text << "]";
    }
}

TEST(SplitCommandLine, CountsTheReservedSlot)
{
    const struct {
        const char *text;
        bool reserve;
        int count;
    } cases[] = {
        {nullptr, false, 0}, {"", false, 0}, {nullptr, true, 1}, {"", true, 1},
        {"-install", true, 2}, {"-install x", true, 3}, {"   ", true, 2},
    };
    for (const auto &c : cases) {
        int count;
        split(c.text, c.reserve, &count);
        EXPECT_EQ(count, c.count) << "text: [" << (c.text ? c.text : "(null)") << "]";
    }
}

// The C runtime's rule: the cases its documentation gives, the edges of its quotes, and
// which arguments hold a wildcard outside quotes ('1' per argument that does). Where the rule
// of CommandLineToArgvW (which the launcher followed before) splits otherwise, before says how.
TEST(SplitCommandLine, SplitsByTheCRuntimesRule)
{
    const struct {
        const char *text;
        std::vector<std::string> args;
        const char *wild;
        std::vector<std::string> before;
    } cases[] = {
        {"\"a b c\" d e", {"a b c", "d", "e"}, "000", {}},
        {"\"ab\\\"c\" \"\\\\\" d", {"ab\"c", "\\", "d"}, "000", {}},
        {"a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}, "000", {}},
        {"a\\\\\\\"b c d", {"a\\\"b", "c", "d"}, "000", {}},          // a\\\"b: 3 backslashes, quote
        {"a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}, "000", {}}, // a\\\\"b: 4 backslashes, quote
        {"a\"b\"\" c d", {"ab\" c d"}, "0", {"ab\"", "c", "d"}},          // "" in quotes: a quote
        {"\"a \"\"b\"\" c\" d", {"a \"b\" c", "d"}, "00", {"a \"b", "c d"}},
        {"\"C:\\dir with space\\\\\" x", {"C:\\dir with space\\", "x"}, "00", {}},
        {"c:\\dir\\ x\\", {"c:\\dir\\", "x\\"}, "00", {}},      // backslashes alone are characters
        {"a\tb \t c\t", {"a", "b", "c"}, "000", {}},                  // tabs separate like spaces
        {"a  b", {"a", "b"}, "00", {}},                                  // runs of blanks: no empty argument
        {"\"\"", {""}, "0", {}},
        {"\"\" x \"\"", {"", "x", ""}, "000", {}},
        {"\"\"\"", {"\""}, "0", {}},
        {"\"\"\"\"", {"\""}, "0", {}},
        {"\"\"\"\"\" x", {"\"\" x"}, "0", {"\"", "x"}},
        {"\\\"a", {"\"a"}, "0", {}},
        {"a\\\"\\\"b \\\"\\\"", {"a\"\"b", "\"\""}, "00", {}},  // two escaped quotes in a row
        {"a\"b c\"d", {"ab cd"}, "0", {}},
        {"x \"y z ", {"x", "y z "}, "00", {}},                          // unclosed quote runs to the end
        {"*.sql \"*.sql\" a\"*\"? \"x y\"z?.txt \\\"*", {"*.sql", "*.sql", "a*?", "x yz?.txt", "\"*"},
         "10111", {}},
        {"  \t ", {}, "", {}},
        {"5\u20ac \"Жук 日本語\" 😀", {"5\u20ac", "Жук 日本語", "😀"}, "000", {}},
    };
    for (const auto &c : cases) {
        std::string wild, reserved;
        EXPECT_EQ(split(c.text, false, nullptr, &wild), c.args) << "text: [" << c.text << "]";
        EXPECT_EQ(split(c.text, true, nullptr, &reserved), c.args) << "reserved: [" << c.text << "]";
        EXPECT_EQ(wild, c.wild) << "text: [" << c.text << "]";
        EXPECT_EQ(reserved, c.wild) << "text: [" << c.text << "]";
        if (!c.before.empty()) {
            EXPECT_NE(c.args, c.before) << "the rules agree on [" << c.text << "]";
        }
    }
    int count;
    std::string wild;
    split(nullptr, true, &count, &wild);
    EXPECT_EQ(count, 1);
    split(" ", false, &count, &wild);
    EXPECT_EQ(count, 0);
}

TEST(SplitCommandLine, KeepsLongArgumentsWhole)
{
    std::string longer(5000, 'x');
    std::string text = "\"" + longer + " y\" z";
    EXPECT_EQ(split(text.c_str(), false), (std::vector<std::string>{longer + " y", "z"}));
}

} // namespace
