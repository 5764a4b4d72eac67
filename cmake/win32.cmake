# The win32 build: the stub, the launcher builder, the Windows-side test helpers and tests.
enable_language(RC)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# jni.h comes from the JDK of the build machine; its companion header is the project's own,
# with the 32-bit Windows types and calling convention.
find_path(JDK_INCLUDE_DIR jni.h PATHS /usr/lib/jvm/default-java/include
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(JNI_WIN32_INCLUDES ${CMAKE_SOURCE_DIR}/jvm/include-win32 ${JDK_INCLUDE_DIR})

set(IMAGES_DIR ${CMAKE_BINARY_DIR}/images)
add_custom_command(
    OUTPUT ${IMAGES_DIR}/trevalo.ico ${IMAGES_DIR}/splash.bmp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${IMAGES_DIR}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_images.py
            ${IMAGES_DIR}/trevalo.ico ${IMAGES_DIR}/splash.bmp
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_images.py)
add_custom_target(images DEPENDS ${IMAGES_DIR}/trevalo.ico ${IMAGES_DIR}/splash.bmp)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${IMAGES_DIR} -I ${CMAKE_SOURCE_DIR}/resources")
set_source_files_properties(resources/launcher.rc resources/sample.rc PROPERTIES
    OBJECT_DEPENDS "${IMAGES_DIR}/trevalo.ico;${IMAGES_DIR}/splash.bmp")

# The stub is prepended to every application a user ships: small, no C++ runtime machinery,
# only Windows system DLLs imported.
set(STUB_COMPILE_OPTIONS -Os -Wall -Wextra -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections -D__USE_MINGW_ANSI_STDIO=0)
set(STUB_LINK_OPTIONS -static -s -Wl,--gc-sections)

add_library(trevalo_core STATIC ${CORE_SOURCES})
target_include_directories(trevalo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(trevalo_core PRIVATE ${STUB_COMPILE_OPTIONS})

# Everything of the launcher but its entry point, so that test helpers can link the real code.
# The portable core is part of it: it calls back into the reporting and platform functions.
add_library(trevalo_launcher STATIC
    ${CORE_SOURCES}
    ${JNI_SOURCES}
    launcher/embedded_files.cpp
    launcher/settings.cpp
    launcher/startup.cpp
    jvm/platform_win32.cpp
    service/service_install.cpp
    service/service_runtime.cpp
    ui/report.cpp
    ui/splash.cpp
)
target_include_directories(trevalo_launcher PUBLIC ${CMAKE_SOURCE_DIR} ${JNI_WIN32_INCLUDES})
target_compile_options(trevalo_launcher PRIVATE ${STUB_COMPILE_OPTIONS})

add_executable(trevalo-stub WIN32 launcher/main.cpp resources/launcher.rc)
target_compile_options(trevalo-stub PRIVATE ${STUB_COMPILE_OPTIONS})
target_link_libraries(trevalo-stub PRIVATE trevalo_launcher)
target_link_options(trevalo-stub PRIVATE ${STUB_LINK_OPTIONS})
add_dependencies(trevalo-stub images)

# The sample application's launcher made from a resource script, as a resource compiler makes
# one: the reference the builder's output is compared with.
add_executable(sample-rc WIN32 launcher/main.cpp resources/sample.rc)
target_compile_options(sample-rc PRIVATE ${STUB_COMPILE_OPTIONS})
target_link_libraries(sample-rc PRIVATE trevalo_launcher)
target_link_options(sample-rc PRIVATE ${STUB_LINK_OPTIONS})
add_dependencies(sample-rc images)

add_executable(trevalo-build tools/builder/main.cpp ${BUILDER_CORE_SOURCES})
target_link_libraries(trevalo-build PRIVATE trevalo_core)
target_link_options(trevalo-build PRIVATE -static -s)

include(cmake/win32-tests.cmake)
