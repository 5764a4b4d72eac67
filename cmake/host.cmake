# The host build: the portable core tested natively with sanitizers, and the Java side.
enable_testing()
find_package(GTest REQUIRED)
find_package(Java 17 REQUIRED COMPONENTS Development)
include(UseJava)

set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra -g)

set(HOST_EDGE_SOURCES jvm/platform_posix.cpp tests/host/fake_report.cpp tests/host/fake_launcher.cpp)
add_library(trevalo_core STATIC ${CORE_SOURCES} ${BUILDER_CORE_SOURCES} ${HOST_EDGE_SOURCES})
target_include_directories(trevalo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(trevalo_core PUBLIC ${SANITIZE})
target_link_options(trevalo_core PUBLIC ${SANITIZE})

add_executable(host_tests
    tests/host/archive_test.cpp
    tests/host/jvm_options_test.cpp
    tests/host/runtime_search_test.cpp
    tests/host/splash_position_test.cpp
    tests/host/dependency_list_test.cpp
    tests/host/string_list_test.cpp
    tests/host/command_line_test.cpp
    tests/host/setting_codec_test.cpp
    tests/host/builder_config_test.cpp
    tests/host/builder_pack_test.cpp
)
target_link_libraries(host_tests PRIVATE trevalo_core GTest::gtest_main)
add_test(NAME host_tests COMMAND host_tests)

# The JNI code against the real virtual machine of this machine, without the sanitizers, whose
# signal handling and memory reservations do not mix with the virtual machine's.
find_package(JNI REQUIRED)
add_jar(trevalo-fixtures
    SOURCES
        tests/host/fixtures/trevalo/fixture/Args.java
        tests/host/fixtures/trevalo/fixture/Exit.java
        tests/host/fixtures/trevalo/fixture/NoMain.java
        tests/host/fixtures/trevalo/fixture/Stoppable.java
        tests/host/fixtures/trevalo/fixture/Throws.java)
get_target_property(FIXTURES_JAR trevalo-fixtures JAR_FILE)
add_executable(jvm_tests tests/host/jvm_test.cpp ${CORE_SOURCES} ${JNI_SOURCES} ${HOST_EDGE_SOURCES})
target_include_directories(jvm_tests PRIVATE ${CMAKE_SOURCE_DIR} ${JNI_INCLUDE_DIRS})
target_compile_definitions(jvm_tests PRIVATE
    TREVALO_LIBJVM="${JAVA_JVM_LIBRARY}" TREVALO_FIXTURES_JAR="${FIXTURES_JAR}")
target_link_libraries(jvm_tests PRIVATE GTest::gtest dl pthread)
add_dependencies(jvm_tests trevalo-fixtures)
add_test(NAME jvm_tests COMMAND jvm_tests)

# The sample application that the sample launcher runs.
add_jar(trevalo-sample
    SOURCES resources/sample-app/trevalo/sample/SampleApp.java
    ENTRY_POINT trevalo.sample.SampleApp)

# Tests that run Windows programs under Wine, registered when the win32 build is known.
if(TREVALO_WIN32_DIR)
    include(cmake/wine-tests.cmake)
endif()

# Fuzzing the archive reader with libFuzzer (clang), for a bounded time in the test suite.
find_program(CLANGXX NAMES clang++ clang++-14 REQUIRED)
set(FUZZ_SOURCES ${CMAKE_SOURCE_DIR}/tests/fuzz/archive_fuzz.cpp
                 ${CMAKE_SOURCE_DIR}/launcher/archive.cpp)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/archive_fuzz
    COMMAND ${CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${CMAKE_SOURCE_DIR} ${FUZZ_SOURCES} -o ${CMAKE_BINARY_DIR}/archive_fuzz
    DEPENDS ${FUZZ_SOURCES} ${CMAKE_SOURCE_DIR}/launcher/archive.h)
add_custom_target(archive_fuzz ALL DEPENDS ${CMAKE_BINARY_DIR}/archive_fuzz)
# New inputs go to the build's corpus; the committed seeds are only read.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/archive_corpus)
add_test(NAME archive_fuzz
    COMMAND ${CMAKE_BINARY_DIR}/archive_fuzz -max_total_time=30 -max_len=4096
            ${CMAKE_BINARY_DIR}/archive_corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/archive_corpus)
