// Class-data sharing that the launcher sets up: an archive of the application's classes that
// the virtual machine maps instead of loading them, made on one run and used on the next ones.
//
// Beside each archive the launcher keeps a fingerprint of what it was made from (the runtime
// library, its base archive or rt.jar, the options, each class-path jar's path, size, time and
// central directory) and passes the archive only while the fingerprint matches; otherwise it
// removes it and has the virtual machine make a new one on that run. Archives are written
// under a temporary name and renamed once complete; only then is the fingerprint written. When
// anything is in doubt the application starts without sharing.
#pragma once

#include "config/settings.h"

// Adds to the option list (*count texts in *options, a heap vector of heap texts, as
// split_command_line makes it) the options sharing needs on this run, before the user's own so
// that theirs win where both name a setting. library is the runtime library about to be
// created; service selects the service's private folder for the archives. Nothing is added
// when settings.class_sharing is "off", for runtimes and options that sharing cannot serve
// safely, or when the archive folder cannot be made private and writable. Reports nothing.
void add_class_sharing_options(const launcher_settings &settings, const char *library,
                               bool service, int *count, char ***options);

// Once the virtual machine has ended (its exit hook, or after DestroyJavaVM): makes the archive
// that this run had written complete under its own name and writes its fingerprint; on Java 8,
// first has the runtime's own java program dump the archive from the class list, in another
// process. Does nothing when this run made no archive, and nothing after its first call.
void finish_class_sharing();
