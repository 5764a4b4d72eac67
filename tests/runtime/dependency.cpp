// A DLL that one variant of the test runtime imports, placed only in the runtime's bin folder.
extern "C" __declspec(dllexport) int trevalo_runtime_dependency()
{
    return 1;
}
