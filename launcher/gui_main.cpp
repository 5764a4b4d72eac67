// The entry point of the GUI launcher: messages in message boxes.
#include <windows.h>

#include <stdlib.h>

#include "base/command_line.h"
#include "launcher/launch.h"
#include "os/wide.h"

// The program's entry point, under the name the linker gives a GUI program's entry (the stub
// is linked without the C runtime's start-up code, which it does not need: see
// launcher/CMakeLists.txt). The arguments come from the UTF-16 command
// line: the one WinMain would be given is in the ANSI code page, which has no place for most of
// the world's characters. exit, not a return, so that the C runtime's streams are flushed.
extern "C" ENTRY_POINT void WinMainCRTStartup()
{
    _pei386_runtime_relocator();
    __set_app_type(GUI_PROGRAM);
    exit(launch(skip_program_name(from_wide(GetCommandLineW())), false));
}
