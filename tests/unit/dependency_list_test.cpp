// The service's dependency list.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string.h>

#include <string>

#include "service/dependency_list.h"

namespace {

TEST(DependencyList, SeparatesNamesWithNulsAndClosesWithTwo)
{
    const struct {
        const char *names;
        std::string list;  // with its closing NULs
    } cases[] = {
        {"Alpha;Beta", std::string("Alpha\0Beta\0\0", 12)},
        {"Alpha", std::string("Alpha\0\0", 7)},
        {"Alpha;;Beta", std::string("Alpha\0\0", 7)},  // an empty entry ends the list
        {";Alpha", std::string("\0\0", 2)},
        {"Alpha;", std::string("Alpha\0\0", 7)},
    };
    for (const auto &c : cases) {
        char *list = dependency_list(c.names);
        ASSERT_NE(list, nullptr);
        // The list as the manager reads it: names up to the first empty one.
        const char *end = list;
        while (*end)
            end += strlen(end) + 1;
        std::string read(list, (size_t)(end - list) + 1);
        if (read.size() == 1)
            read += '\0';  // no name at all: the two closing NULs
        EXPECT_EQ(read, c.list) << c.names;
        free(list);
    }
    EXPECT_EQ(dependency_list(""), nullptr);
}

} // namespace
