// The string list's growth rule and contents.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/string_list.h"

namespace {

TEST(StringList, GrowsByFourTimesTheTextOrAKilobyte)
{
    const struct {
        std::vector<size_t> appends;  // lengths of the texts appended in turn
        int capacity;
    } cases[] = {
        {{300}, 1200},
        {{10}, 1024},
        {{256}, 1024},
        {{257}, 1028},
        {{1000}, 4000},
        {{256, 767}, 1024},          // 1023 characters still fit 1024 bytes
        {{256, 768}, 4096},          // one more: a step of four times 768
        {{200, 900, 10}, 1024 + 3600},
        {{200, 900, 3000}, 1024 + 3600},  // 4100 characters fit 4624 bytes
        {{100, 2000}, 9024},         // a big text grows by four times its length
        {{0, 5}, 1024},              // the empty text allocates nothing
    };
    for (const auto &c : cases) {
        string_list list = {};
        std::string expected;
        for (size_t i = 0; i < c.appends.size(); i++) {
            std::string text(c.appends[i], (char)('a' + i));
            string_list_append(&list, text.c_str());
            expected += text;
        }
        EXPECT_EQ(list.capacity, c.capacity);
        EXPECT_EQ(list.length, (int)expected.size());
        EXPECT_EQ(list.text ? std::string(list.text) : std::string(), expected);
        free(list.text);
    }
}

TEST(StringList, EmptyAndNullChangeNothing)
{
    string_list list = {};
    string_list_append(&list, nullptr);
    string_list_append(&list, "");
    EXPECT_EQ(list.text, nullptr);
    string_list_append(&list, "a;");
    string_list_append(&list, "");
    string_list_append(&list, nullptr);
    EXPECT_STREQ(list.text, "a;");
    EXPECT_EQ(list.length, 2);
    EXPECT_EQ(list.capacity, 1024);
    free(list.text);
}

TEST(StringList, ManyAppendsKeepEverything)
{
    string_list list = {};
    std::string expected;
    for (int i = 0; i < 5000; i++) {
        std::string part = "C:\\temp\\folder\\file" + std::to_string(i) + ".jar;";
        string_list_append(&list, part.c_str());
        expected += part;
    }
    EXPECT_EQ(std::string(list.text), expected);
    EXPECT_LT(list.length, list.capacity);
    free(list.text);
}

} // namespace
