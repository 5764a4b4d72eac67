// Where the splash window goes: centred on the screen. Portable arithmetic.
#pragma once

// Centres a window of the given size on a screen of the given size, in signed arithmetic with
// division truncating towards zero: a window larger than the screen gets negative coordinates
// and overhangs both sides alike.
void splash_position(int screen_width, int screen_height, int width, int height, int *x, int *y);
