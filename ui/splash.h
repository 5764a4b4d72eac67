// The splash screen of an interactive launch.
#pragma once

// Starts the splash thread; nobody waits for it.
void start_splash_screen();
