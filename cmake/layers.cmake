# What every folder of the product shares: the compiler flags of each build, and
# trevalo_layer(), which makes one folder's library.

# Every program lands in the build's top folder, where the tests look for the stub, the builder
# and the probes beside them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

if(WIN32)
    enable_language(RC)
    # The architecture a Windows build is for, as the launcher's names say it.
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
        set(TREVALO_ARCH arm64)
    elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(TREVALO_ARCH x64)
    else()
        set(TREVALO_ARCH x86)
    endif()
    # The stub is part of every application a user ships: small, no C++ runtime machinery,
    # only Windows system DLLs imported. Link-time optimisation lets the compiler inline and
    # drop across the layers' libraries: about 5 KB of each stub. -malign-data=abi gives static
    # data the alignment the ABI asks for and no more (not 32 bytes for every array of 32 bytes
    # or longer, which only older compilers' objects relied on): the padding cost each stub
    # about 150 bytes of read-only data.
    set(STUB_COMPILE_OPTIONS -Os -flto -Wall -Wextra -fno-exceptions -fno-rtti
        -fno-threadsafe-statics -ffunction-sections
        -fdata-sections -malign-data=abi -D__USE_MINGW_ANSI_STDIO=0)
    # x64 and ARM64 Windows unwind through tables: every function that is not a leaf carries
    # its entry in the exception directory, as the calling convention requires, so that
    # exception dispatch, debuggers, crash dumps and the JVM's error reports can walk through a
    # launcher frame. x86 Windows unwinds by frame chains and reads no table; there the tables
    # would be DWARF ones that only GCC's own unwinder reads, which the stub never starts.
    if(TREVALO_ARCH STREQUAL x86)
        list(APPEND STUB_COMPILE_OPTIONS -fno-asynchronous-unwind-tables)
    elseif(TREVALO_ARCH STREQUAL arm64)
        # clang: no -malign-data (it aligns static data as the ABI asks).
        list(REMOVE_ITEM STUB_COMPILE_OPTIONS -malign-data=abi)
    endif()
    set(STUB_LINK_OPTIONS -static -s -Os -flto -Wl,--gc-sections)
    # jni.h comes from the JDK of the build machine; its companion header is the project's
    # own, with the Windows types and calling convention.
    find_path(JDK_INCLUDE_DIR jni.h PATHS /usr/lib/jvm/default-java/include
              NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    set(JNI_INCLUDES ${PROJECT_SOURCE_DIR}/java/include-windows ${JDK_INCLUDE_DIR})
    set(IMAGES_DIR ${PROJECT_BINARY_DIR}/images)
    set(CMAKE_RC_FLAGS
        "${CMAKE_RC_FLAGS} -I ${IMAGES_DIR} -I ${PROJECT_SOURCE_DIR}/resources -I ${PROJECT_SOURCE_DIR}")
else()
    find_package(JNI REQUIRED)
    set(JNI_INCLUDES ${JNI_INCLUDE_DIRS})
    set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_compile_options(-Wall -Wextra -g)
endif()

# trevalo_layer(NAME [PORTABLE sources...] [WIN32 sources...] [DEPENDS layers...]) makes the
# library trevalo_NAME of one folder: the portable sources in both builds, the Windows ones
# only in the win32 build. The win32 build compiles it as the stub is compiled; the host build
# with the sanitizers, and records the portable sources for the tests that load the real JVM,
# which compile them once more without the sanitizers.
function(trevalo_layer name)
    cmake_parse_arguments(LAYER "" "" "PORTABLE;WIN32;DEPENDS" ${ARGN})
    set(sources ${LAYER_PORTABLE})
    if(WIN32)
        list(APPEND sources ${LAYER_WIN32})
    endif()
    add_library(trevalo_${name} STATIC ${sources})
    target_include_directories(trevalo_${name} PUBLIC ${PROJECT_SOURCE_DIR} ${JNI_INCLUDES})
    foreach(dependency ${LAYER_DEPENDS})
        target_link_libraries(trevalo_${name} PUBLIC trevalo_${dependency})
    endforeach()
    if(WIN32)
        target_compile_options(trevalo_${name} PRIVATE ${STUB_COMPILE_OPTIONS})
    else()
        target_compile_options(trevalo_${name} PUBLIC ${SANITIZE})
        target_link_options(trevalo_${name} PUBLIC ${SANITIZE})
        list(TRANSFORM LAYER_PORTABLE PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
        set_property(GLOBAL APPEND PROPERTY TREVALO_PORTABLE_SOURCES ${LAYER_PORTABLE})
    endif()
endfunction()

# Adds a resource script to target; the script's images are made first, and a change of them
# or of the manifest compiles it again.
function(trevalo_add_resources target script)
    target_sources(${target} PRIVATE ${script})
    set_source_files_properties(${script} PROPERTIES
        OBJECT_DEPENDS
        "${IMAGES_DIR}/trevalo.ico;${IMAGES_DIR}/splash.bmp;${PROJECT_SOURCE_DIR}/resources/launcher.manifest")
    add_dependencies(${target} images)
endfunction()
