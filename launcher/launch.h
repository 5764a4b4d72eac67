// The launch shared by the GUI and the console launcher.
#pragma once

// Runs the launcher for command_line (the arguments after the program's name): a service
// switch, or the application. A console launcher shows no splash screen. Returns the
// process's exit status.
int launch(const char *command_line, bool console);

// msvcrt.dll's record of the kind of program (1 console, 2 GUI), which decides where its own
// messages (an abort's) go; the start-up code the stubs leave out would have set it.
extern "C" __declspec(dllimport) void __cdecl __set_app_type(int type);
enum { CONSOLE_PROGRAM = 1, GUI_PROGRAM = 2 };

// The C runtime library's fix-up of data the program reaches in DLLs without dllimport (the
// linker asks for it once link-time optimisation has run); the entry points call it first,
// as the start-up code they leave out would.
extern "C" void _pei386_runtime_relocator(void);

// What the entry points are: they never return, and on x86 and x64 they align the stack
// themselves, as the start-up code they leave out would. ARM64 enters with it aligned.
#ifdef __aarch64__
#define ENTRY_POINT __attribute__((noreturn))
#else
#define ENTRY_POINT __attribute__((force_align_arg_pointer, noreturn))
#endif
