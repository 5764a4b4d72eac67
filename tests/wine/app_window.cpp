// The Java fixture's application window, through JNI (the tests' Java 8 runtime has no AWT):
// a top-level button (not a static control, which the launcher takes for its splash) titled
// with its process's id. Runs shown once it is there, then the window's message loop.
#include <windows.h>

#include <jni.h>

#include <stdio.h>

extern "C" JNIEXPORT void JNICALL Java_trevalo_fixture_Handover_runWindow(JNIEnv *env, jclass,
                                                                        jobject shown)
{
    wchar_t title[32];
    swprintf(title, 32, L"Handover %lu", GetCurrentProcessId());
    CreateWindowExW(0, L"Button", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                    nullptr, nullptr, nullptr, nullptr);
    env->CallVoidMethod(shown, env->GetMethodID(env->GetObjectClass(shown), "run", "()V"));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}
