# The Windows programs of the win32 build, run under Wine with the environment test.sh sets
# up (prefix and display).
add_test(NAME win32_tests
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-wine-tests.sh ${TREVALO_WIN32_DIR}/win32_tests.exe)
