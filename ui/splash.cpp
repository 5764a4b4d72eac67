// The splash screen. Not shown yet.
#include "ui/splash.h"

void start_splash_screen()
{
}
