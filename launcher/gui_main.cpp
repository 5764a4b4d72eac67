// The entry point of the GUI launcher: messages in message boxes.
#include <windows.h>

#include "base/command_line.h"
#include "launcher/launch.h"
#include "os/wide.h"

// The arguments come from the UTF-16 command line: the one WinMain is given is in the ANSI
// code page, which has no place for most of the world's characters.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return launch(skip_program_name(from_wide(GetCommandLineW())), false);
}
