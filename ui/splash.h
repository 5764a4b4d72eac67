// The splash screen of an interactive launch: the splash bitmap in a borderless window, centred,
// on a thread of its own, until the application shows a window or for a fixed time.
#pragma once

// Starts the splash thread; nobody waits for it.
void start_splash_screen();
