// Centring the splash window.
#include "ui/splash_position.h"

void splash_position(int screen_width, int screen_height, int width, int height, int *x, int *y)
{
    *x = (screen_width - width) / 2;
    *y = (screen_height - height) / 2;
}
