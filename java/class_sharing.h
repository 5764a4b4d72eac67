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

#include "config/settings.h"
#include "java/jvm_options.h"
#include "os/guard.h"

// Adds to list the options sharing needs on this run, before the user's own so that theirs
// win where both name a setting; the archive is made for list's options and class path.
// library is the runtime library about to be created; a guarded run (guard) keeps the
// archives in the machine's private folder, a service's trusting its own account. Nothing is
// added when settings.class_sharing is "off", for runtimes and options that sharing cannot
// serve safely, or when the archive folder cannot be made private and writable. Reports
// nothing.
void add_class_sharing_options(const launcher_settings &settings, const char *library,
                               const run_guard &guard, jvm_option_list *list);

// Once the virtual machine has ended (its exit hook, or after DestroyJavaVM): makes the archive
// that this run had written complete under its own name and writes its fingerprint; on Java 8,
// first has the runtime's own java program dump the archive from the class list, in another
// process. Does nothing when this run made no archive, and nothing after its first call.
void finish_class_sharing();

// True when text, a piece of the virtual machine's own output, is the line it prints on
// having recorded this run's classes for the ahead-of-time cache: the launcher's doing, not
// the application's, and left out of its output.
bool is_class_sharing_remark(const char *text);
