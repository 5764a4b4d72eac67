// The host build's system seam, as tests set it up: an in-memory registry (a table per root)
// whose key paths are compared without regard to case, as Windows does, and whose sub-keys are
// enumerated in name order; listing failures; the archive resource; the program-data folder
// and which folders others may change; the executable's path.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "os/os.h"

// Sets value of key (creating the key and its parents) to a text.
void fake_registry_set_text(const char *key, const char *value, const char *text,
                            registry_root root = REGISTRY_MACHINE);

// Sets value of key to a number (not a text: reads of it answer 1).
void fake_registry_set_number(const char *key, const char *value, unsigned number,
                              registry_root root = REGISTRY_MACHINE);

// Creates key (and its parents) without values.
void fake_registry_add_key(const char *key, registry_root root = REGISTRY_MACHINE);

// Empties the tables of both roots; removes key (of the machine root) without its sub-keys.
void fake_registry_clear();
void fake_registry_remove_key(const char *key);

// Makes path the running executable's path (null: the test program's own).
void fake_executable_path(const char *path);

// Makes the listing of directory fail: at its start, or at the first step after it (null:
// no failure).
void fake_listing_failure(const char *directory, bool at_start);

// The launcher's string table, id -> text (a missing id reads as the empty text).
extern std::map<unsigned, std::string> string_table;

// Makes bytes the launcher's archive resource (empty: none).
void fake_archive_resource(const std::string &bytes);

// The machine's folder for programs' data (empty: it cannot be read).
void fake_program_data(const char *path);

// Makes the runtime read its options in Latin-1 (characters up to U+00FF), rather than in the
// host's UTF-8 that holds every character.
void fake_latin1_runtime(bool latin1);

// Gives path the short form short_form (null path: no path has one).
void fake_short_path(const char *path, const char *short_form);

// Makes the process one that runs elevated, or not.
void fake_elevated(bool elevated);

// Makes the existing folder at path one that others may change (null: none).
void fake_shared_folder(const char *path);

// Makes the file at path one that another process holds, so that it cannot be moved or
// deleted (null: none).
void fake_held_file(const char *path);

// The command lines run_process was given since the last call, which sets the status the next
// ones end with and the file they write (null: none).
extern std::vector<std::string> processes_run;
void fake_process(int status, const char *writes);

// Waits until no process that start_background_process gave a lock file in folder runs.
void wait_for_background_processes(const char *folder);

// Makes under_wine() answer wine.
void fake_under_wine(bool wine);

// The hand-over channel: the channels made ("name security"); the clients that connect in turn
// (same: of this account and session) and their bytes; their answers ('-': none).
struct fake_handover_client { bool same; std::string bytes; };
extern std::vector<std::string> handover_channels_made;
extern std::vector<fake_handover_client> handover_clients;
extern std::string handover_answers;

// The machine's physical memory and the largest free block of the address space, in bytes
// (0: a 64-bit process, whose address space is no limit).
void fake_machine(uint64_t memory, uint64_t free_block);

// Counted faults: while the countdown is above 0, every call of this seam and of the service
// manager that opens, makes, writes, moves or removes something, or runs a process, counts it
// down, and the call that brings it to 0 fails with a plausible system error (queries of what
// is there answer as they find). True when this call is that one; the last error is then error.
extern std::atomic<int> fail_countdown;
bool fake_call_fails(unsigned error);

// The file that the failing call was to remove, and left (empty: none).
extern std::string undeleted;
