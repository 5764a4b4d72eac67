# Fails the build of a stub that holds what the C runtime's start-up code, which the stubs leave
# out, would have had to set up: thread-local data or its callbacks (.tls) and the C runtime's
# tables of initialisers and callbacks (.CRT). The entry points do only what the stub needs of
# that code (the relocator, the kind of program); a toolchain or a change that brings in more
# must be seen here, not as a launcher that misbehaves at start-up.
# cmake -DOBJDUMP=<objdump> -DSTUB=<program> -P check_start_up.cmake
execute_process(COMMAND ${OBJDUMP} -h ${STUB} OUTPUT_VARIABLE sections RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${STUB}")
endif()
string(REGEX MATCHALL "\n +[0-9]+ (\\.tls|\\.CRT)[^\n]*" found "${sections}")
if(found)
    message(FATAL_ERROR "${STUB} needs the C runtime's start-up code, which the stubs leave "
        "out (see launcher/CMakeLists.txt):${found}")
endif()
