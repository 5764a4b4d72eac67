# Windows-side test helpers and tests, run under Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(tools/testkit/testkit.cmake)
include(tests/runtime/runtime.cmake)

# Probes: the launcher's own code under a console entry point that prints what it did. They
# carry the launcher's resources so that the builder accepts them as stubs.
foreach(probe settings_probe report_probe runtime_probe)
    add_executable(${probe} tools/probes/${probe}.cpp resources/launcher.rc)
    target_link_libraries(${probe} PRIVATE trevalo_launcher)
    target_link_options(${probe} PRIVATE -static)
    add_dependencies(${probe} images)
endforeach()
target_sources(settings_probe PRIVATE tools/probes/fault_injection.cpp)

configure_file(resources/sample.cfg ${CMAKE_BINARY_DIR}/sample.cfg COPYONLY)

add_executable(win32_tests
    tests/win32/harness.cpp
    tests/win32/builder_test.cpp
    tests/win32/embedded_files_test.cpp
    tests/win32/jvm_run_test.cpp
    tests/win32/launcher_test.cpp
    tests/win32/report_test.cpp
    tests/win32/runtime_search_test.cpp
    tests/win32/service_test.cpp
    tests/win32/settings_test.cpp
    tests/win32/splash_test.cpp
)
target_link_libraries(win32_tests PRIVATE trevalo_testkit trevalo_core gtest_main)
target_compile_definitions(win32_tests PRIVATE _WIN32_WINNT=0x0601)
target_link_options(win32_tests PRIVATE -static)
add_dependencies(win32_tests trevalo-stub trevalo-build sample-rc settings_probe report_probe
    runtime_probe copy_probe list_probe nothing test_runtime test_runtime_nodefault test_runtime_dep)

add_executable(copy_probe tools/probes/copy_probe.cpp)
target_link_options(copy_probe PRIVATE -static)
add_executable(list_probe tools/probes/list_probe.cpp)
target_link_options(list_probe PRIVATE -static)
add_executable(nothing WIN32 tools/probes/nothing.cpp)
target_link_options(nothing PRIVATE -static -s)
