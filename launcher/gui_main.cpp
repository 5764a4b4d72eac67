// The entry point of the GUI launcher: messages in message boxes.
#include <windows.h>

#include "launcher/launch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int)
{
    return launch(command_line, false);
}
