// Centring the splash window, larger-than-screen bitmaps included.
#include <gtest/gtest.h>

#include "ui/splash_position.h"

namespace {

TEST(SplashPosition, CentresWithTruncatingDivision)
{
    const struct {
        int screen_width, screen_height, width, height, x, y;
    } cases[] = {
        {1024, 768, 128, 128, 448, 320},
        {1025, 769, 128, 128, 448, 320},   // odd remainders truncate
        {1024, 768, 1024, 768, 0, 0},
        {800, 600, 1001, 601, -100, 0},    // -201 / 2 and -1 / 2 truncate towards zero
        {800, 600, 1200, 900, -200, -150},
    };
    for (const auto &c : cases) {
        int x = 12345, y = 12345;
        splash_position(c.screen_width, c.screen_height, c.width, c.height, &x, &y);
        EXPECT_EQ(x, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(y, c.y) << c.width << "x" << c.height;
    }
}

} // namespace
