// Benchmark helper: a Windows GUI program that does nothing, the baseline of a process start.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
