// A DLL that one variant of the test runtime imports, placed only in the runtime's bin folder;
// built a second time as a planted copy of the same name that refuses to load, so that a
// runtime which takes it from anywhere else cannot start.
#include <windows.h>

extern "C" __declspec(dllexport) int trevalo_runtime_dependency()
{
    return 1;
}

#ifdef TREVALO_PLANTED_DEPENDENCY
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    return reason != DLL_PROCESS_ATTACH;
}
#endif
