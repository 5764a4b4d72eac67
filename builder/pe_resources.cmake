# The PE resource module in the host build: its library, its unit test and its fuzz target.
#
#   include(builder/pe_resources.cmake)
#
# from the host build, after enable_testing() and find_package(GTest). The unit test needs
# TREVALO_WIN32_DIR (the win32 build: the stub, sample-rc and the icon), the MinGW compilers
# for both architectures, wrestool (icoutils) and Wine with the project's prefix; without
# TREVALO_WIN32_DIR only the library and the fuzz target are added.
get_filename_component(PE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(NOT DEFINED SANITIZE)
    set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
endif()

add_library(trevalo_pe STATIC ${PE_ROOT}/builder/pe_resources.cpp)
target_include_directories(trevalo_pe PUBLIC ${PE_ROOT})
target_compile_options(trevalo_pe PUBLIC ${SANITIZE})
target_link_options(trevalo_pe PUBLIC ${SANITIZE})

if(TREVALO_WIN32_DIR)
    find_program(PE_WRESTOOL wrestool REQUIRED)
    find_program(PE_WINE wine REQUIRED)
    find_program(PE_OBJDUMP32 i686-w64-mingw32-objdump REQUIRED)
    find_program(PE_OBJDUMP64 x86_64-w64-mingw32-objdump REQUIRED)
    # The probe, a Windows program with a string table, an icon and named resources, built as
    # a stripped 32-bit program and an unstripped 64-bit one (debugging sections and a symbol
    # table after its resources).
    set(PE_PROBES)
    foreach(arch i686 x86_64)
        set(probe ${CMAKE_CURRENT_BINARY_DIR}/pe_probe_${arch}.exe)
        set(strip)
        if(arch STREQUAL i686)
            set(strip -s)
        endif()
        add_custom_command(OUTPUT ${probe}
            COMMAND ${arch}-w64-mingw32-windres -I ${TREVALO_WIN32_DIR}/images
                    ${PE_ROOT}/tests/unit/pe_probe.rc -O coff -o ${probe}.res.o
            COMMAND ${arch}-w64-mingw32-g++ -municode -Os -static ${strip}
                    ${PE_ROOT}/tests/unit/pe_probe.cpp ${probe}.res.o -limagehlp -o ${probe}
            DEPENDS ${PE_ROOT}/tests/unit/pe_probe.cpp ${PE_ROOT}/tests/unit/pe_probe.rc
                    ${TREVALO_WIN32_DIR}/images/trevalo.ico)
        list(APPEND PE_PROBES ${probe})
    endforeach()
    add_custom_target(pe_probes DEPENDS ${PE_PROBES})

    set(PE_TEST_OUT ${CMAKE_CURRENT_BINARY_DIR}/pe_test_out)
    file(MAKE_DIRECTORY ${PE_TEST_OUT})
    add_executable(pe_resources_test ${PE_ROOT}/tests/unit/pe_resources_test.cpp)
    target_link_libraries(pe_resources_test PRIVATE trevalo_pe GTest::gtest_main)
    target_compile_definitions(pe_resources_test PRIVATE
        PE_TEST_STUB="${TREVALO_WIN32_DIR}/trevalo-stub.exe"
        PE_TEST_SAMPLE="${TREVALO_WIN32_DIR}/sample-rc.exe"
        PE_TEST_PROBE32="${CMAKE_CURRENT_BINARY_DIR}/pe_probe_i686.exe"
        PE_TEST_PROBE64="${CMAKE_CURRENT_BINARY_DIR}/pe_probe_x86_64.exe"
        PE_TEST_OUT="${PE_TEST_OUT}" PE_TEST_WRESTOOL="${PE_WRESTOOL}" PE_TEST_WINE="${PE_WINE}"
        PE_TEST_OBJDUMP32="${PE_OBJDUMP32}" PE_TEST_OBJDUMP64="${PE_OBJDUMP64}")
    add_dependencies(pe_resources_test pe_probes)
    add_test(NAME pe_resources_test COMMAND pe_resources_test)
    # The project's Wine prefix, as scripts/wine-env.sh sets it up.
    set(PE_WINE_ENVIRONMENT WINEPREFIX=${PE_ROOT}/build/wineprefix WINEARCH=win32
        WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
    set_tests_properties(pe_resources_test PROPERTIES ENVIRONMENT "${PE_WINE_ENVIRONMENT}")
endif()

# Fuzzing the reader and the writer with libFuzzer (clang), for a bounded time in the suite.
find_program(CLANGXX NAMES clang++ clang++-14 REQUIRED)
set(PE_FUZZ_SOURCES ${PE_ROOT}/tests/fuzz/pe_fuzz.cpp ${PE_ROOT}/builder/pe_resources.cpp)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/pe_fuzz
    COMMAND ${CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${PE_ROOT} ${PE_FUZZ_SOURCES} -o ${CMAKE_BINARY_DIR}/pe_fuzz
    DEPENDS ${PE_FUZZ_SOURCES} ${PE_ROOT}/builder/pe_resources.h)
add_custom_target(pe_fuzz ALL DEPENDS ${CMAKE_BINARY_DIR}/pe_fuzz)
# New inputs go to the build's corpus; the committed seeds are only read.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/pe_corpus)
add_test(NAME pe_fuzz
    COMMAND ${CMAKE_BINARY_DIR}/pe_fuzz -max_total_time=30 -max_len=8192
            ${CMAKE_BINARY_DIR}/pe_corpus ${PE_ROOT}/tests/fuzz/pe_corpus)
