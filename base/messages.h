// The launcher's fixed texts: messages that have no setting of their own, and the subjects
// that the file/directory message names when no path is at hand.
#pragma once

// A class path directory could not be listed, at its start or part-way through.
#define MSG_LISTING_FAILED "Internal error RC000001 listing the folder %s"
#define MSG_LISTING_NEXT_FAILED "Internal error RC000002 listing the folder %s"
// The service's connection to the Service Control Manager, its done event or its worker
// thread could not be made.
#define MSG_DISPATCHER_FAILED "Internal error RC000003"
#define MSG_DONE_EVENT_FAILED "Internal error RC000004"
#define MSG_WORKER_THREAD_FAILED "Internal error RC000005"
// The folder of the unpacked files could not be listed; every file is written again.
#define MSG_UNPACKED_UNLISTED "Internal error RC000006"
// The embedded-file archive does not hold what its count and sizes say.
#define MSG_ARCHIVE_MALFORMED "Internal error RC000007: the embedded file archive is damaged."

// An allocation failed; the process ends after this report.
#define MSG_OUT_OF_MEMORY "Internal error RC000008: out of memory."

// A private folder for unpacked files (a service's, an elevated run's) exists and others may
// change it, or it is a link.
#define MSG_FOLDER_NOT_PRIVATE                                                                  \
    "The folder %s can be changed by accounts other than the system, administrators and the " \
    "program's own, or is a link to another folder, so the program does not run files from " \
    "it. Remove the folder, or let only those accounts change it."
// An unpacked file's name is taken by a folder.
#define REASON_FOLDER_IN_THE_WAY "Reason: a folder of this name is in the way."
// The service manager refused one optional setting of an install (the setting's name is the
// subject); the service is installed and works without it.
#define MSG_SETTING_NOT_APPLIED \
    "The service is installed, but the service manager did not accept its %s setting."

// The record of a service whose application ended with a status other than 0 after the
// service had started; the status and a full stop follow.
#define MSG_SERVICE_APPLICATION_ENDED "The %s service's application ended with status "

// The service switches' answers. An install over this launcher's own service (brought up to
// date); a service that did not stop, so it stays; the service's state (for a stopped one, the
// exit code of its last run and a full stop follow; one that has not run since the system
// started has none).
#define MSG_SERVICE_UPDATED "Service updated: %s"
#define MSG_SERVICE_NOT_STOPPED "The %s service did not stop; it was not removed."
#define MSG_SERVICE_RUNNING "The %s service is running."
#define MSG_SERVICE_STARTING "The %s service is starting."
#define MSG_SERVICE_STOPPING "The %s service is stopping."
#define MSG_SERVICE_STOPPED "The %s service is stopped; last exit code "
#define MSG_SERVICE_NOT_RUN "The %s service is stopped; it has not run yet."

// The line after the no-runtime message when the search passed over a runtime library built
// for another processor than the launcher's: "%s" is the library's path.

// The lines after the no-runtime message, one for each runtime the search passed over, and
// the versions the application needs. These are printf formats of the search's own.
// A runtime whose version lies outside the bounds: its feature version, its home, and the
// versions accepted ("17 or later", "8 to 11", "11 or earlier").
#define MSG_RUNTIME_VERSION_OUTSIDE "Java %u at %s: this application needs %s"
// A runtime home whose version cannot be read while a minimum is set.
#define MSG_RUNTIME_VERSION_UNKNOWN "%s: version unknown (no release file with JAVA_VERSION)"
// A runtime home without a runtime library where one belongs.
#define MSG_RUNTIME_NO_LIBRARY "%s: no jvm.dll in its bin\\server or bin\\client folder"
#define MSG_RUNTIME_NEEDED "This application needs Java %s."
// After the no-runtime report when download_url is set ("%s" is the address): the question of
// a GUI launcher (Yes opens the address), and the line of the other sinks.
#define MSG_DOWNLOAD_QUESTION "Open %s to download Java?"
#define MSG_DOWNLOAD_AT "Java can be downloaded from %s"
// A runtime library built for another processor than the launcher's: "%s" is its path. For
// an x86 or x64 library the width line, with the library's width, its path and the other
// width ("A 64-bit ... needs a 32-bit one."): one text for both ways round.
#define MSG_RUNTIME_OTHER_WIDTH \
    "A %d-bit Java runtime was found at %s; this launcher needs a %d-bit one."
#define MSG_RUNTIME_OTHER_PROCESSOR \
    "A Java runtime for another processor was found at %s; this launcher cannot load it."

// A JVM option (the subject), not a property, or an existing class path entry, holds
// characters that the runtime cannot be given: outside the system's code page, and not in a
// path that has a short form.
#define MSG_OPTION_NOT_REPRESENTABLE                                                          \
    "The Java runtime cannot be given this option, because it has characters outside the "    \
    "system's code page and no short form of its paths avoids them:\n%s"

// The line after a missing main class's exception: "%s" is the class path the virtual
// machine searched.
#define MSG_CLASS_PATH_SEARCHED "Class path searched: %s"

// The user's options file (its path, and for a malformed file the line and what is wrong
// with it, is the subject): the run goes on without its options, as the text says.
#define MSG_USER_OPTIONS_UNREADABLE \
    "The options file %s cannot be read; the application starts without its options."
#define MSG_USER_OPTIONS_MALFORMED \
    "The options file cannot be used, so the application starts without its options: %s"

// The notice at the start after a run that did not end as a run ends: the virtual machine
// crashed and wrote its report (the subject); it ended through its abort, which writes none;
// the process ended while the virtual machine was being created.
#define MSG_LAST_RUN_CRASHED \
    "The last run of this application ended when the Java virtual machine crashed. Its " \
    "report: %s"
#define MSG_LAST_RUN_ABORTED \
    "The last run of this application ended when the Java virtual machine aborted, which " \
    "leaves no crash report."
#define MSG_LAST_RUN_NOT_STARTED \
    "The last run of this application ended while the Java virtual machine was being " \
    "created, and left no crash report."

#define SUBJECT_CURRENT_DIR "CURRENT_DIR"
#define MAIN_METHOD "main(java/lang/String[])"
#define SUBJECT_CURRENT_EXE "CURRENT_EXE"
#define SUBJECT_TEMP_PATH "TEMP_PATH"
#define SUBJECT_PROGRAM_DATA "PROGRAM_DATA"
