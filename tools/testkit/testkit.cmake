# Windows-side test kit: reads and answers the message boxes of a program under test and
# reports its exact exit code. Included by the win32 build; paths are relative to the
# source root.
add_library(trevalo_testkit STATIC ${CMAKE_SOURCE_DIR}/tools/testkit/testkit.cpp)
target_include_directories(trevalo_testkit PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(trevalo_testkit PRIVATE -Wall -Wextra)
target_link_libraries(trevalo_testkit PUBLIC gdi32 user32)

# trevalo-run.exe [--timeout MS] COMMAND_LINE...: prints "box: caption | icon | text" per
# message box and "exit: 0x%08X".
add_executable(trevalo-run ${CMAKE_SOURCE_DIR}/tools/testkit/run.cpp)
target_compile_options(trevalo-run PRIVATE -Wall -Wextra)
target_link_libraries(trevalo-run PRIVATE trevalo_testkit)
target_link_options(trevalo-run PRIVATE -static)
