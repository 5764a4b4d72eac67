// The Java fixture's application window, through JNI (the tests' Java 8 runtime has no AWT):
// of a class of its own, as the launcher takes a top-level static control for its splash, and
// titled with its process's id. Runs shown once it is there, then the window's message loop.
#include <windows.h>

#include <jni.h>

#include <stdio.h>

extern "C" JNIEXPORT void JNICALL Java_trevalo_fixture_Handover_runWindow(JNIEnv *env, jclass,
                                                                        jobject shown)
{
    WNDCLASSW type = {0, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr)};
    type.lpszClassName = L"TrevaloTestApplication";
    RegisterClassW(&type);
    wchar_t title[32];
    swprintf(title, 32, L"Handover %lu", GetCurrentProcessId());
    CreateWindowExW(0, type.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                    200, nullptr, nullptr, type.hInstance, nullptr);
    env->CallVoidMethod(shown, env->GetMethodID(env->GetObjectClass(shown), "run", "()V"));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}
