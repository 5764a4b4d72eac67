// Class-data sharing that the launcher sets up: an archive of the application's classes that
// the virtual machine maps instead of loading them, made on one run and used on the next ones.
//
// Beside each archive the launcher keeps a fingerprint of what it was made from (the runtime
// library, its base archive or rt.jar, the options, each class-path jar's path, size, time and
// central directory) and passes the archive only while the fingerprint matches; otherwise it
// removes it and has the virtual machine make a new one on that run. Archives are written
// under a temporary name and renamed once complete; only then is the fingerprint written. When
// anything is in doubt the application starts without sharing.
//
// On JDK 25 and later the archive is the ahead-of-time cache: the first run records the
// classes the application uses, and once it has ended the runtime's java program creates the
// cache from that record in a process of its own that nobody waits for; the next start takes
// the cache when it is complete. Until then, and for options that the cache's creation cannot
// follow, the runtime's dynamic archive serves as on earlier runtimes.
#pragma once

#include <stdint.h>

#include "config/settings.h"
#include "java/jvm_options.h"
#include "java/runtime_search.h"
#include "os/guard.h"

// How a runtime makes and maps an archive of the application's classes.
enum sharing_kind {
    SHARING_NONE,
    SHARING_CLASS_LIST,  // Java 8: a class list on one run, then "java -Xshare:dump"
    SHARING_AT_EXIT,     // 13 to 18: -XX:ArchiveClassesAtExit
    SHARING_AUTO_CREATE, // 19 and later: -XX:+AutoCreateSharedArchive
    SHARING_AHEAD,       // 25 and later: the ahead-of-time cache, recorded and then created
};

// A runtime library's folders as sharing reads them.
struct sharing_runtime {
    bool hotspot;          // the library is in a "server" or "client" folder
    bool client;           // in a "client" one
    java_version version;  // from the release file; all zero when none was read
    bool rt_jar;           // Java 8's lib\rt.jar
    bool base_archive;     // classes.jsa beside the library
    bool nocoops_archive;  // classes_nocoops.jsa beside it
    bool java_program;     // bin\java.exe, which creates an ahead-of-time cache
    char folder[RUNTIME_PATH_SIZE]; // the library's folder
    char root[RUNTIME_PATH_SIZE];   // the runtime's top folder (bin, lib, release)
};

// A file of the archive folder as listed.
struct sharing_file {
    char *name;
    file_stamp stamp;
};

// An archive's fingerprint file as found: its text (null: there is none) and the first line
// it would have if written for the archive there now ("archive" and the archive's stamp).
struct sharing_record {
    char *recorded;
    char *stamp;
};

// What the system reports for a run's sharing, gathered in this order, each part only while
// what came before leaves sharing possible.
struct class_sharing_facts {
    bool off;                // the class_sharing setting is "off"
    sharing_runtime runtime;
    char *fingerprint;       // null: sharing cannot follow the options or the class path
    char *folder;            // the archive folder, private and held; null: it cannot be
    char key[17];            // the application's archives' name on this runtime
    unsigned process;        // this process's number, in its temporary files' names
    uint64_t now;            // the folder's time, by a file made there; 0: it took none
    sharing_record cache;    // the ahead-of-time cache
    bool cache_promoted;     // a creation completed at this start made the cache current
    bool creation_running;   // a creation started less than a day ago still runs
    uint64_t last_attempt;   // the cache log's time: when a cache was last tried; 0: never
    char *creation;          // the command creating a cache from this run's record; null:
                             // the runtime's java program cannot be given it
    sharing_record archive;  // today's archive (the dynamic archive, or Java 8's)
    bool archive_used;       // its ".used" file is there: its first use was checked
    sharing_file *files;     // the folder's files, listed when an archive may be made
    int file_count;
};

// What a run makes, finished once its virtual machine has ended.
struct sharing_made {
    sharing_kind kind; // SHARING_NONE: nothing
    char *made;        // the file the virtual machine writes (the class list on Java 8)
    char *archive;     // the archive's own name
    char *fingerprint; // the fingerprint file's name
    char *text;        // the fingerprint
    char *java;        // Java 8: the runtime's java program and the virtual machine to dump;
                       // the ahead-of-time cache: the whole command that creates it
    char *lock;        // the ahead-of-time cache: the file its creating process holds
    char *log;         // the ahead-of-time cache: its log, which also dates the last attempt
};

// What sharing does on a run, decided before anything is loaded and done, in this order,
// before the virtual machine is created: files removed, the log's line, the used file's time;
// finish_class_sharing completes what the run made.
struct class_sharing_action {
    char *options[6];  // before the user's, so that theirs win where both name a setting
    int option_count;  // 0: no sharing on this run
    char **removed;    // a stale archive's fingerprint file first, then the archive, then
    int removed_count; // the other archives unused for long or beyond the folder's cap
    char *noted;       // the cache's log, which gets the line that this run records
    char *touched;     // the file whose time tells when the archive in use was last used
    sharing_made made;
    char *remark;      // the line the virtual machine prints on having recorded the classes
};

// Decides class sharing from facts: the options, the files removed and what the run makes.
// Nothing when the setting is off, for runtimes and options that sharing cannot serve
// safely, or when the archive folder cannot be made private and writable.
void decide_class_sharing(const class_sharing_facts &facts, class_sharing_action *action);

// Gathers the facts for a run of library with list's options and class path; a guarded run
// (guard) keeps the archives in the machine's private folder, a service's trusting its own
// account. Before reading what the archive folder holds it makes the folder and holds it (its
// files are trusted only once no other account can change them), and completes the
// ahead-of-time caches whose creation has ended (each claimed by a rename, so that of two
// starts at once only one takes it), which the facts then show.
void gather_class_sharing_facts(const launcher_settings &settings, const char *library,
                                const run_guard &guard, const jvm_option_list &list,
                                class_sharing_facts *facts);
void free_class_sharing_facts(class_sharing_facts *facts);

// Plans sharing for a run (gathered, decided) and adds its options to the front of list. A
// path in them that the runtime cannot read in its code page leaves the run without
// sharing, though its stale files still go. Reports nothing.
void plan_class_sharing(const launcher_settings &settings, const char *library,
                        const run_guard &guard, jvm_option_list *list,
                        class_sharing_action *action);

// Does what action says, before the virtual machine is created, and keeps what the run makes
// for finish_class_sharing.
void carry_out_class_sharing(const class_sharing_action &action);
void free_class_sharing_action(class_sharing_action *action);

// Once the virtual machine has ended (its exit hook, or after DestroyJavaVM): makes the archive
// that this run had written complete under its own name and writes its fingerprint; on Java 8,
// first has the runtime's own java program dump the archive from the class list, in another
// process. Does nothing when this run made no archive, and nothing after its first call.
void finish_class_sharing();

// True when text, a piece of the virtual machine's own output, is the line it prints on
// having recorded this run's classes for the ahead-of-time cache: the launcher's doing, not
// the application's, and left out of its output.
bool is_class_sharing_remark(const char *text);
