// The command-line splitter against the splitting rules, one table of cases.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/command_line.h"

namespace {

std::vector<std::string> split(const char *text, bool reserve, int *count_out = nullptr,
                               bool windows = false)
{
    int count = -1;
    char **vector = reinterpret_cast<char **>(1);
    (windows ? split_windows_command_line : split_command_line)(text, &count, &vector, reserve);
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

// The Windows convention: the cases CommandLineToArgvW's and the C runtime's documentation
// give, and the edges of its quote counting.
TEST(SplitCommandLine, SplitsByTheWindowsConvention)
{
    const split_case cases[] = {
        {"\"abc\" d e", {"abc", "d", "e"}},
        {"a\\\\b d\"e f\"g h", {"a\\\\b", "de fg", "h"}},
        {"a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},                  // a\\\"b: 3 backslashes, quote
        {"a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},      // a\\\\"b: 4 backslashes, quote
        {"a\"b\"\" c d", {"ab\"", "c", "d"}},                   // "" in quotes: a quote, quoting ends
        {"\"C:\\dir with space\\\\\" x", {"C:\\dir with space\\", "x"}},
        {"c:\\dir\\ x\\", {"c:\\dir\\", "x\\"}},             // backslashes alone are characters
        {"a\tb \t c\t", {"a", "b", "c"}},                           // tabs separate like spaces
        {"a  b", {"a", "b"}},                                      // runs of blanks: no empty argument
        {"\"\"", {""}},
        {"\"\" x \"\"", {"", "x", ""}},
        {"\"\"\"", {"\""}},
        {"\"\"\"\"", {"\""}},
        {"\\\"a", {"\"a"}},
        {"a\\\"\\\"b \\\"\\\"", {"a\"\"b", "\"\""}},                  // two escaped quotes in a row
        {"a\"b c\"d", {"ab cd"}},
        {"x \"y z ", {"x", "y z "}},                               // unclosed quote runs to the end
        {"  \t ", {}},
        {"5\u20ac \"Жук 日本語\" 😀", {"5\u20ac", "Жук 日本語", "😀"}},
    };
    for (const split_case &c : cases) {
        EXPECT_EQ(split(c.text, false, nullptr, true), c.args) << "text: [" << c.text << "]";
        EXPECT_EQ(split(c.text, true, nullptr, true), c.args) << "reserved: [" << c.text << "]";
    }
    int count;
    split(nullptr, true, &count, true);
    EXPECT_EQ(count, 1);
    split(" ", false, &count, true);
    EXPECT_EQ(count, 0);
}

TEST(SplitCommandLine, KeepsLongArgumentsWhole)
{
    std::string longer(5000, 'x');
    std::string text = "\"" + longer + " y\" z";
    EXPECT_EQ(split(text.c_str(), false), (std::vector<std::string>{longer + " y", "z"}));
}

} // namespace
