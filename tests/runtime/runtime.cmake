# The test runtime: a jvm.dll for tests only, standing in for a Java runtime that cannot be
# installed on the test machines. Included by the win32 build. It lands in
# ${CMAKE_BINARY_DIR}/test-runtime/bin/client/jvm.dll, so a test can register
# ${CMAKE_BINARY_DIR}/test-runtime as the JavaHome of a runtime. Two variants serve the
# launcher's failure paths: test-runtime-nodefault lacks JNI_GetDefaultJavaVMInitArgs, and
# test-runtime-dep imports a DLL that lies only in its bin folder.

set(TEST_RUNTIME_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/runtime/runtime.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/jni_env.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/world.cpp
    ${CMAKE_SOURCE_DIR}/tests/runtime/scripted.cpp
)

# A jvm.dll target in ${CMAKE_BINARY_DIR}/<home>/bin/client.
function(add_test_runtime target home)
    add_library(${target} SHARED ${TEST_RUNTIME_SOURCES})
    # Only jni.h comes from the JDK: its companion header describes the build machine, so the
    # project's own 32-bit Windows one comes first.
    target_include_directories(${target} PRIVATE ${JNI_WIN32_INCLUDES} ${CMAKE_SOURCE_DIR})
    target_compile_options(${target} PRIVATE -O2 -Wall -Wextra)
    # -static: libgcc, libstdc++ and winpthread are linked in, so the DLL imports only system
    # DLLs. --kill-at: the __stdcall entry points are exported as JNI_CreateJavaVM, not
    # JNI_CreateJavaVM@12, as a real jvm.dll exports them.
    target_link_options(${target} PRIVATE -static -Wl,--kill-at)
    target_link_libraries(${target} PRIVATE user32 gdi32)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME jvm
        PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${home}/bin/client
        # The import library is of no use (the launcher loads the DLL by path).
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${home}/lib)
endfunction()

add_test_runtime(test_runtime test-runtime)

add_test_runtime(test_runtime_nodefault test-runtime-nodefault)
target_compile_definitions(test_runtime_nodefault PRIVATE TREVALO_RUNTIME_WITHOUT_DEFAULT_ARGS)

add_library(test_runtime_dependency SHARED ${CMAKE_SOURCE_DIR}/tests/runtime/dependency.cpp)
target_link_options(test_runtime_dependency PRIVATE -static)
set_target_properties(test_runtime_dependency PROPERTIES
    OUTPUT_NAME trevalo_rtdep
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-runtime-dep/bin
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-runtime-dep/lib)
add_test_runtime(test_runtime_dep test-runtime-dep)
target_compile_definitions(test_runtime_dep PRIVATE TREVALO_RUNTIME_NEEDS_DEPENDENCY)
target_link_libraries(test_runtime_dep PRIVATE test_runtime_dependency)
