// The splash screen of an interactive launch: the splash bitmap in a borderless window, centred,
// on a thread of its own, until the application shows a window or for a fixed time.
#pragma once

// Starts the splash thread, showing text as the window's name, until the application shows a
// window (until_window) or else for seconds (0: until the process ends); returns once the
// splash window is made.
void start_splash_screen(const char *text, bool until_window, int seconds);
