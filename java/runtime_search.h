// Finding the Java runtime library: configured paths, the runtimes and development kits
// registered in the registry, the JAVA_HOME and PATH variables and a runtime shipped beside the
// launcher, in the order the search_order setting gives.
#pragma once

#include <stddef.h>

#include "os/os.h"

// A runtime's home and library path hold up to MAX_PATH (260) UTF-16 units in UTF-8 (or 779
// ASCII characters): the system loads a library, and the library its own, within that.
enum {
    RUNTIME_HOME_SIZE = 3 * 260,
    RUNTIME_PATH_SIZE = 3 * 260,
    KEY_PATH_SIZE = 256,
    VERSION_NAME_SIZE = 256,
    SEARCH_NOTE_SIZE = 4096,
};

// Machine types of a PE header: the processor a runtime library was built for.
enum { MACHINE_X86 = 0x014C, MACHINE_X64 = 0x8664, MACHINE_ARM64 = 0xAA64 };

// The machine type of the libraries this build of the launcher can load.
#ifdef __aarch64__
#define LAUNCHER_MACHINE MACHINE_ARM64
#else
#define LAUNCHER_MACHINE (sizeof(void *) == 4 ? MACHINE_X86 : MACHINE_X64)
#endif

// A Java version as feature, interim, update and patch numbers: "21.0.6" is 21.0.6.0,
// "1.8.0_392" is 8.0.392.0. All zero when the version is unknown.
struct java_version {
    unsigned part[4];
};

// Reads a version from length bytes of text: a name such as "zulu-17" or "jdk-21" counts from
// its first digit, and whatever follows the numbers ("+12", "-ea") is ignored. False, leaving
// the version unknown, when the text holds no such version.
bool parse_java_version(const char *text, size_t length, java_version *version);

// Negative, zero or positive as a is older than, the same as, or newer than b.
int compare_java_versions(const java_version &a, const java_version &b);

// The version that the release file in the runtime's home gives in its JAVA_VERSION line (read
// from the file's first 4 KB); false when the file or the line is missing or holds no version.
bool read_release_version(const char *home, java_version *version);

// Whether the runtime at home can open the class path archive at path. A runtime before
// version 9 (or of a version its release file does not give) opens an archive only by a path
// of fewer than RUNTIME_ARCHIVE_PATH_BYTES bytes in the system's code page, and passes over a
// longer one as if it were not there; it takes the path's long form even when given the short
// one. A folder, an entry that is not there, or a runtime of 9 or later: true.
enum { RUNTIME_ARCHIVE_PATH_BYTES = 1024 };
bool runtime_opens_archive(const char *path, const char *home);

// The machine type in the PE header of the library at path; 0 when the file cannot be read or
// is not a PE image.
unsigned library_machine(const char *path);

// What a search is asked for, from the settings of the same names: the method digits in order,
// the configured paths (";"-separated), the lowest version (java_version: major in the high,
// minor in the low 16 bits) and the highest feature version (0 or less: no bound). guarded:
// the launcher runs with rights the user's other processes lack (elevated, or as a service),
// so the search leaves out what they control: the user's registry keys and environment
// variables (only the machine's values of JAVA_HOME and Path count), and every library whose
// folders others may change; own_account trusts the process's own account in those folders
// (a service's account, not an elevated user's).
struct runtime_request {
    const char *search_order;
    const char *runtime_paths;
    unsigned required_version;
    int max_java_version;
    bool guarded;
    bool own_account;
};

// Why a runtime was passed over, the most useful to a user first.
enum passed_reason {
    PASSED_VERSION,         // its version lies outside the bounds
    PASSED_UNKNOWN_VERSION, // its version cannot be read while a minimum is set
    PASSED_OTHER_PROCESSOR, // its library is built for another processor
    PASSED_NO_LIBRARY,      // its home holds no runtime library
    PASSED_NO_FOLDER,       // JAVA_HOME names a folder that is not there
};

enum { MOST_PASSED = 5 };

// A runtime home or library passed over: the reason, the feature version (a version outside
// the bounds) or machine type (another processor's library) it had, and its path.
struct passed_runtime {
    passed_reason reason;
    unsigned number;
    char path[RUNTIME_PATH_SIZE];
};

// What a search passed over: the first folder a guarded search refused as not private (empty:
// none), and at most MOST_PASSED runtimes, each path once, the most useful first (of more, the
// earliest found of equal use are kept).
struct passed_over {
    char refused[RUNTIME_PATH_SIZE];
    passed_runtime runtimes[MOST_PASSED];
    int count;
};

// What a search found. found: a method found a runtime library, whose path is library; home is
// the home of the runtime found, what "%JAVA_HOME%" in the JVM options stands for (a registry
// method may leave the home of a version it looked at there when nothing is found). passed:
// what was passed over, whether or not a runtime was found.
struct runtime_search_outcome {
    bool found;
    char library[RUNTIME_PATH_SIZE];
    char home[RUNTIME_HOME_SIZE];
    passed_over passed;
};

// Runs the search methods of request in order, looking for libraries of type machine, until
// one finds a runtime library; what it found and passed over goes to outcome. Returns
// outcome->found. Reports nothing.
bool find_runtime_library(const runtime_request &request, unsigned machine,
                          runtime_search_outcome *outcome);

// The lowest feature version that required (the java_version setting) allows: 0x00010008
// ("1.8") is 8, 0x00110000 is 17.
unsigned minimum_feature_version(unsigned required);
