# The test runtime: a jvm.dll for tests only, standing in for a Java runtime that cannot be
# installed on the test machines. Included by the win32 build. It lands in
# ${CMAKE_BINARY_DIR}/test-runtime/bin/client/jvm.dll, so a test can register
# ${CMAKE_BINARY_DIR}/test-runtime as the JavaHome of a runtime.

# Only jni.h is taken from the JDK of the build machine: its companion jni_md.h describes the
# build machine, so the project's own 32-bit Windows one comes first on the include path.
set(TREVALO_JNI_INCLUDE /usr/lib/jvm/java-17-openjdk-amd64/include
    CACHE PATH "Folder holding the JDK's jni.h")
if(NOT EXISTS ${TREVALO_JNI_INCLUDE}/jni.h)
    message(FATAL_ERROR "jni.h not found in ${TREVALO_JNI_INCLUDE} (set TREVALO_JNI_INCLUDE)")
endif()

add_library(test_runtime SHARED
    ${CMAKE_SOURCE_DIR}/tests/runtime/runtime.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/jni_env.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/world.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/scripted.cpp
)
target_include_directories(test_runtime PRIVATE
    ${CMAKE_SOURCE_DIR}/jvm/include-win32
    ${CMAKE_SOURCE_DIR}
    ${TREVALO_JNI_INCLUDE}
)
target_compile_options(test_runtime PRIVATE -O2 -Wall -Wextra)
# -static: libgcc, libstdc++ and winpthread are linked in, so the DLL imports only system DLLs.
# --kill-at: the __stdcall entry points are exported as JNI_CreateJavaVM, not
# JNI_CreateJavaVM@12, as a real jvm.dll exports them.
target_link_options(test_runtime PRIVATE -static -Wl,--kill-at)
target_link_libraries(test_runtime PRIVATE user32 gdi32)
set_target_properties(test_runtime PROPERTIES
    OUTPUT_NAME jvm
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-runtime/bin/client
    # The import library is of no use to anyone (the launcher loads the DLL by path); keep it
    # out of the runtime's folder.
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-runtime/lib
)
