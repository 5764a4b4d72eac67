// The command-line splitter against the splitting rules, one table of cases.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/command_line.h"

namespace {

std::vector<std::string> split(const char *text, bool reserve, int *count_out = nullptr)
{
    int count = -1;
    char **vector = reinterpret_cast<char **>(1);
    split_command_line(text, &count, &vector, reserve);
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

TEST(SplitCommandLine, KeepsLongArgumentsWhole)
{
    std::string longer(5000, 'x');
    std::string text = "\"" + longer + " y\" z";
    EXPECT_EQ(split(text.c_str(), false), (std::vector<std::string>{longer + " y", "z"}));
}

} // namespace
