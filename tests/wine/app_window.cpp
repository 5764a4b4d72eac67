// The Java fixture's application window, through JNI: the real Java 8 runtime of the tests has
// no AWT. A window of its own class (the launcher takes a top-level static control for its
// splash), shown by a thread that runs its message loop.
#include <windows.h>

#include <jni.h>

static DWORD WINAPI window_thread(LPVOID made)
{
    WNDCLASSW type = {};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"TrevaloTestApplication";
    RegisterClassW(&type);
    CreateWindowExW(0, type.lpszClassName, L"Handover fixture", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    10, 10, 300, 200, nullptr, nullptr, type.hInstance, nullptr);
    SetEvent((HANDLE)made);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// Returns once the window is there.
extern "C" JNIEXPORT void JNICALL Java_trevalo_fixture_Handover_showWindow(JNIEnv *, jclass)
{
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(CreateThread(nullptr, 0, window_thread, made, 0, nullptr));
    WaitForSingleObject(made, INFINITE);
    CloseHandle(made);
}
