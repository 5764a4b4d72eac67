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

// The launcher was altered or damaged after it was built: what is wrong is the subject.
#define MSG_LAUNCHER_DAMAGED                                                                    \
    "This program is damaged (%s). Build it again, or get it again from where it came from."
#define SUBJECT_STRING_TABLE "its settings run past their resource"
#define SUBJECT_STORED_NAME "a stored setting used as a name is not one"

// An allocation failed; the process ends after this report.
#define MSG_OUT_OF_MEMORY "Internal error RC000008: out of memory."

// A private folder for unpacked files (a service's, an elevated run's) exists and others may
// change it, or it is a link.
#define MSG_FOLDER_NOT_PRIVATE                                                                  \
    "The folder %s can be changed by accounts other than the system, administrators and the " \
    "program's own, or is a link to another folder, so the program does not run files from " \
    "it. Remove the folder, or let only those accounts change it."
// A guarded run's output file (the subject) is a link, a folder, a device or a file with more
// than one name.
#define MSG_OUTPUT_NOT_A_FILE                                                                   \
    "%s is not a plain file of its own (it is a link, a folder, a device or a file with more " \
    "than one name), so the program does not write its output there."
// The same refusal by a launcher that runs with administrator rights, which trusts its own
// account no more than others: that is why a folder of the user's is refused.
#define MSG_FOLDER_NOT_PRIVATE_ELEVATED                                                         \
    "The program runs with administrator rights, and the folder %s can be changed by "         \
    "accounts other than the system and administrators, or is a link to another folder, so "  \
    "the program does not run files from it. Start it without administrator rights, or let "  \
    "only those accounts change the folder."
// Which of the two a guarded run (a service, own_account; or an elevated launcher) reports.
#define folder_refusal(own_account) \
    ((own_account) ? MSG_FOLDER_NOT_PRIVATE : MSG_FOLDER_NOT_PRIVATE_ELEVATED)
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
// The manager's code for "not started since the system started" (1077) is also what it keeps
// after some runs that ended by themselves: only the state is certain.
#define MSG_SERVICE_NOT_RUN "The %s service is stopped."
// A -start whose run ended cleanly before the answer was read (a quick job); after a run that
// failed, where the run recorded why; a service of that name that does not exist (the text
// goes between its name and the install switch); another program's service of that name,
// which -uninstall leaves alone.
#define MSG_SERVICE_ENDED_CLEANLY "The %s service started, ran and has ended; last exit code 0."
#define MSG_SERVICE_REASON_RECORDED " The Application event log's records of it say why."
#define MSG_SERVICE_NOT_INSTALLED " service is not installed; the launcher installs it with "
#define MSG_SERVICE_NOT_OURS "The %s service runs another program; it was not removed."

// The line after the no-runtime message when the search passed over a runtime library built
// for another processor than the launcher's: "%s" is the library's path.

// The lines after the no-runtime message, one for each runtime the search passed over, and
// the versions the application needs. These are printf formats of the search's own.
// A runtime whose version lies outside the bounds: its feature version and its home (the
// versions accepted follow in MSG_RUNTIME_NEEDED).
#define MSG_RUNTIME_VERSION_OUTSIDE "Java %u at %s: a version this application does not take"
// A JAVA_HOME that names a folder that is not there.
#define MSG_RUNTIME_NO_FOLDER "%s (JAVA_HOME): no such folder"
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
// An ARM64 library passed over by an x86 or x64 launcher; an x86 or x64 one ("x86", "x64") by
// the ARM64 launcher.
#define MSG_RUNTIME_NEEDS_ARM64_LAUNCHER \
    "An ARM64 Java runtime was found at %s; this launcher cannot load it: the application's " \
    "ARM64 launcher can."
#define MSG_RUNTIME_NOT_ARM64 \
    "An %s Java runtime was found at %s; this ARM64 launcher needs an ARM64 one."
#define MSG_RUNTIME_OTHER_PROCESSOR \
    "A Java runtime for another processor was found at %s; this launcher cannot load it."

// A JVM option (the subject), not a property, or an existing class path entry, holds
// characters that the runtime cannot be given: outside the system's code page, and not in a
// path that has a short form.
#define MSG_OPTION_NOT_REPRESENTABLE                                                          \
    "The Java runtime cannot be given this option, because it has characters outside the "    \
    "system's code page and no short form of its paths avoids them:\n%s"

// A class path entry (the subject) whose path holds ';', the class path's separator, and has
// no short form without one.
#define MSG_CLASS_PATH_SEPARATOR                                                              \
    "The Java runtime cannot be given this class path entry, because its path holds ';', "    \
    "which separates the entries of a class path, and it has no short form without one:\n%s"

// A class path archive (the subject) whose path is longer than the runtime opens.
#define MSG_CLASS_PATH_TOO_LONG                                                               \
    "The Java runtime cannot open this class path entry, because its path is longer than "    \
    "this runtime's version opens (1023 bytes in the system's code page); a runtime of "      \
    "version 9 or later opens it:\n%s"

// The line after a missing main class's exception: "%s" is the class path the virtual
// machine searched.
#define MSG_CLASS_PATH_SEARCHED "Class path searched: %s"
// Before each class path entry that is not there, on a line of its own after that.
#define MSG_CLASS_PATH_MISSING "Missing: "
// A main class (the subject) that was found but whose static initialiser threw: the
// exception follows, and how the virtual machine's text of it begins.
#define MSG_CLASS_INITIALISER_FAILED "The class %s was found, but its static initialiser failed."
#define INITIALISER_ERROR "java.lang.ExceptionInInitializerError"

// A launcher without a main class runs the Main-Class of the manifest of the jar (the
// subject) that starts its class path: the jar has no manifest, or its manifest names no
// main class; the line after a missing main class's exception that says where it was named.
#define MSG_JAR_NO_MANIFEST \
    "The jar %s has no manifest (META-INF/MANIFEST.MF), so it names no main class to run."
#define MSG_JAR_NO_MAIN_CLASS "The manifest of the jar %s names no Main-Class to run."
#define MSG_NAMED_BY_MANIFEST "Named by the Main-Class of the manifest of %s"

// A second start of a single-instance launcher whose arguments could not be handed to the
// running instance: too long for one message, refused by it, its channel another account's
// ("%s" the channel), or no answer within the time ("%s" its seconds).
#define MSG_HANDOVER_TOO_LONG                                                                \
    "The arguments are too long to hand to the running instance of this program (at most " \
    "65536 bytes with the working folder)."
#define MSG_HANDOVER_REFUSED "The running instance of this program refused the arguments."
#define MSG_HANDOVER_FOREIGN                                                                   \
    "The channel %s of this program belongs to another account's program, so the arguments " \
    "were not handed to it."
#define MSG_HANDOVER_NO_ANSWER                                                                  \
    "This program is already running, but the running instance did not take the arguments " \
    "within %s seconds."

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
