// The one system seam: every operating-system service that the portable layers (config/,
// java/) use. os_win32.cpp implements it for the launcher; the host build links its own
// implementation from the tests, where the registry is an in-memory table and "\" in paths
// means "/". Functions that fail leave the system's last error for the report.
//
// Every text that crosses the seam is UTF-8, paths and names included; the Windows side
// converts to and from UTF-16 at each call, so that no character is lost to a code page.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Paths have no length limit here: the seam gives them as heap texts, and takes a path of
// any length, giving Windows a long one in the form that lifts its old limit of MAX_PATH (260)
// units. PATH_SIZE holds a name within a folder (at most 255 UTF-16 units) in UTF-8: at most
// three bytes a unit (a pair of units, four bytes, stands for one character).
enum { PATH_SIZE = 3 * 260 };

// --- Registry. ---

// Where keys are read: HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, each in the launcher's own
// registry view (a 32-bit launcher sees the 32-bit view, a 64-bit one the 64-bit view).
// Keys are created and written under HKEY_LOCAL_MACHINE only.
enum registry_root { REGISTRY_MACHINE, REGISTRY_USER };

// Reads value of key into buffer (capacity bytes). Returns -1 when the key cannot be opened,
// 0 when the value was read and is a text (REG_SZ, or REG_EXPAND_SZ returned unexpanded),
// 1 otherwise: the value is absent, longer than the capacity, or not a text.
int query_registry_text(registry_root root, const char *key, const char *value, char *buffer,
                        size_t capacity);

struct registry_key;

// Opens key for reading; null when it cannot be opened.
registry_key *open_registry_key(registry_root root, const char *key);

enum subkey_step { SUBKEY_NAME, SUBKEY_SKIPPED, SUBKEY_END };

// The name of sub-key number index into name (capacity bytes). SUBKEY_SKIPPED when that
// name does not fit (a name of 255 units takes up to 765 bytes): the sub-keys after it are
// still listed. SUBKEY_END at the end of the list, or on any other error.
subkey_step enum_registry_subkey(registry_key *key, unsigned index, char *name,
                                 size_t capacity);

void close_registry_key(registry_key *key);

// Creates key (or opens it when it exists); false on failure.
bool create_registry_key(const char *key);

// Writes a REG_EXPAND_SZ or REG_DWORD value to an existing key; false when the key cannot be
// opened or the value not written. The last error is the registry's own status.
bool set_registry_expand_string(const char *key, const char *value, const char *text);
bool set_registry_dword(const char *key, const char *value, unsigned number);

// --- Files and folders. ---

// A file or folder as a listing or an attribute read gives it.
struct file_stamp {
    bool is_directory;
    uint64_t size;
    uint32_t time_low, time_high; // last-write time, as a FILETIME's two halves
};

// True when the file can be opened for reading; it is closed again at once.
bool file_exists(const char *path);

// Reads up to size bytes from offset of the file at path into buffer, sharing the file with
// every other opener (a runtime library in use stays readable), and closes it again. Returns
// the count read (fewer at the end of the file), or -1 when the file cannot be opened or read.
int read_file_part(const char *path, uint32_t offset, void *buffer, uint32_t size);

// -1 when the path's attributes cannot be read (it does not exist), 1 for a directory, 0 else.
int path_attributes(const char *path);

// Creates a folder; false when it cannot be made (it may exist already).
bool create_directory(const char *path);

// The stamp of the file or folder at path, without opening it; false when it does not exist
// or cannot be read.
bool read_file_stamp(const char *path, file_stamp *stamp);

enum private_folder { FOLDER_CREATED, FOLDER_EXISTS, FOLDER_FAILED };

// Creates path as a folder that only the system, administrators and, with own_account, the
// process's own account may change (others may read), its files inheriting that.
// FOLDER_EXISTS when something of that name is there already.
private_folder create_private_directory(const char *path, bool own_account);

enum held_folder { FOLDER_HELD, FOLDER_REFUSED, FOLDER_UNOPENED };

// Opens the existing folder at path and checks the folder opened: FOLDER_HELD when it is no
// link or junction (a reparse point, which could be pointed elsewhere after the check), it
// belongs to the system, administrators or (with own_account) the process's own account, and
// its access list lets no other account change it, or what is created in it. A held folder
// stays open to the process's end without sharing its removal, so that it can be neither
// removed, renamed nor replaced while its files are used: what was checked is what is run.
// FOLDER_REFUSED otherwise; FOLDER_UNOPENED when it cannot be opened (the last error says
// why).
held_folder hold_private_directory(const char *path, bool own_account);

// True when the process has rights that other processes of its account lack: it runs
// elevated (a full administrators' token beside the account's limited one), or as the
// system. Such a process neither trusts the user's temporary folder, which those others may
// change, nor its own account in a private folder's access list.
bool process_is_elevated();

// The machine's folder for programs' data, as the system keeps it (the known folder, never
// the process's environment), with a trailing "\", as a new heap text; null when it cannot be
// read.
char *program_data_directory();

// The user's temporary folder, with its trailing "\", as a new heap text; null when it cannot
// be read.
char *temp_directory();

// The full path of the running executable as a new heap text; null when it cannot be read
// whole (a cut path would name another file).
char *executable_path();

// text upper-cased as the system compares names (every letter it folds, beyond ASCII too), as
// a new heap text: two spellings of one path give one text.
char *upper_case_name(const char *text);

struct os_file;

// Creates the file at path afresh (emptied when it exists) for writing, shared with nobody;
// null on failure.
os_file *create_file(const char *path);
void close_file(os_file *file);

// Opens the file at path for writing at its end, creating it when it does not exist and
// sharing it for reading and writing as a log is shared; null on failure.
os_file *append_to_file(const char *path);

enum output_open { OUTPUT_OPENED, OUTPUT_NOT_REGULAR, OUTPUT_UNOPENED };

// Opens the file at path for a run's output, creating it when it does not exist and emptying
// it unless *append, shared for reading and writing as a log is shared. A file that cannot be
// emptied because another process holds it mapped is appended to instead (*append set). With
// checked, the file itself is opened, never where a link leads, anything but a regular file
// with one name is refused (OUTPUT_NOT_REGULAR, left untouched), and the file stays open to the
// process's end without sharing its removal, so that it can be neither renamed nor replaced
// before the run opens it again by path; otherwise it is closed at once. OUTPUT_UNOPENED when
// it cannot be opened (the last error says why).
output_open open_output_file(const char *path, bool checked, bool *append);

// True when the existing files at a and b are one file, however each path is written (relative
// or full, short or long names, through a link); false when they differ or either cannot be
// read.
bool same_file(const char *a, const char *b);

// Sets the last-write time, as a FILETIME's two halves.
bool set_file_time(os_file *file, uint32_t low, uint32_t high);

// Writes size bytes; false unless all were written.
bool write_file(os_file *file, const void *data, uint32_t size);

// Removes the file at path; false when it is not there or cannot be removed (in use).
bool delete_file(const char *path);

// Gives the file at from the name to, replacing a file of that name in one step; false when
// it cannot (the file at to is in use, say), leaving both as they were.
bool replace_file(const char *from, const char *to);

enum listing_step { LISTING_ENTRY, LISTING_END, LISTING_FAILED };

struct directory_entry {
    char name[PATH_SIZE];
    bool is_directory;
    bool is_link;  // a reparse point: a symbolic link or junction, which may lead anywhere
    file_stamp stamp;
};

struct directory_listing;

// Starts listing every entry of directory ("." and ".." included). LISTING_END: nothing to
// list (the system answered "no more files" or "file not found"); LISTING_FAILED: any other
// failure. On LISTING_ENTRY, *entry holds the first entry and *listing must be closed.
listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry);

// The next entry; LISTING_END after the last, LISTING_FAILED on any other failure.
listing_step next_directory_entry(directory_listing *listing, directory_entry *entry);

// Closes the listing, keeping the last error as it stood.
void close_directory_listing(directory_listing *listing);

// --- The launcher's own resources and its INI file. ---

// String id of the launcher's string table as a new heap text, however long it is; a missing
// string gives the empty text. Null when the table is damaged: the block that holds the string
// lies outside the launcher's image, or a length in it runs past the block.
char *load_string(unsigned id);

// The bytes of RCDATA resource id of the launcher and their count; null when it has none, or
// when they would lie outside the launcher's image (a damaged resource directory).
const unsigned char *find_resource_data(unsigned id, size_t *size);

// The text of the file at path as a new heap text in UTF-8: files starting with the UTF-8
// byte-order mark or valid as UTF-8 are taken as UTF-8, files starting with a UTF-16
// byte-order mark as UTF-16 of that byte order, any other in the ANSI code page. The mark is
// dropped; a NUL character becomes U+FFFD, so that nothing after it is lost. Null when the
// file cannot be read.
char *read_text_file(const char *path);

// --- Environment and process. ---

// The value of the environment variable name as a new heap text, the name compared without
// regard to case as Windows does; null when it is not set.
char *environment_value(const char *name);

// A clock in milliseconds, for time differences only.
unsigned milliseconds();

// Runs command_line (the program's path first, in double quotes) as another process with no
// window and no standard streams, and waits for it to end. Returns its exit status, or -1
// when it could not be started.
int run_process(const char *command_line);

// Starts command_line (the program's path first, in double quotes) as a process of its own
// that outlives this one and that nobody waits for: detached from any console, without a
// window, at below-normal priority, its standard streams on the null device, outside the
// launcher's job where the job allows it, with this process's rights, environment and current
// folder. The file at lock_path is made afresh and held open, shared with nobody, by that
// process alone until it ends, so that background_process_running can tell. False when it
// could not be started; the lock file is then removed.
bool start_background_process(const char *command_line, const char *lock_path);

// True while the process that start_background_process gave lock_path still runs; false once
// it has ended, and when no such file is there.
bool background_process_running(const char *lock_path);

// The identifier of the running process.
unsigned process_id();

// Sets the priority class of the whole process.
void set_process_priority(unsigned priority_class);

// The current directory as a new heap text; null when it cannot be read.
char *current_directory();

// Makes path the current directory; false on failure.
bool set_current_directory(const char *path);

// Writes length bytes of text to the process's standard error (the console, or wherever the
// starting process sent it); nothing when the process has none.
void write_standard_error(const char *text, size_t length);

// Gives the process a console, answers a logoff there as handled so that it does not end the
// process, and points the standard output and error streams at it. Results are not examined.
void open_process_console();

// --- The machine. ---

// The machine's physical memory in bytes; 0 when it cannot be read.
uint64_t physical_memory();

// The largest free block of the process's address space in bytes (whole MB), as one
// reservation can take it, into *bytes. False when the address space is no limit worth
// measuring: a 64-bit process.
bool largest_free_block(uint64_t *bytes);

// Sets the process's explicit application user model id, which groups its windows, pinned
// icons and shortcuts under one taskbar button; false when the system has no such id (before
// Windows 7) or refuses it.
bool set_app_user_model_id(const char *id);

// --- The runtime library. ---

// option in the encoding a runtime reads its creation options in (the ANSI code page on
// Windows) as a new heap text; null when a character of it has no place in that encoding.
char *runtime_option_text(const char *option);

// The short (8.3) form of the existing path as a new heap text; null when it has none.
char *short_path_name(const char *path);

// Loads the runtime library by its full path; null when it cannot be loaded. Its imports come
// from its own folder, the folder above it (a runtime's bin folder, which holds the C runtime
// that the library imports) and the system's, never from the launcher's folder.
void *load_runtime_library(const char *path);

// The address of the exported function name of library; null when it has none.
void *find_library_symbol(void *library, const char *name);

void free_runtime_library(void *library);

// The C runtime library that the loaded library prints with (an msvcr*.dll, or the universal C
// runtime): its standard output and error streams (its FILE pointers) and its fwrite.
struct runtime_c_streams {
    void *out, *err;
    size_t (*write)(const void *data, size_t size, size_t count, void *stream);
};

// Fills *streams for library; false when it imports no C runtime of those.
bool find_runtime_c_streams(void *library, runtime_c_streams *streams);

// Sends every call that the loaded library makes to the function name it imports from another
// library (by name) to replacement, and gives the function it called before in *original.
// False, *original null, when it imports no such function or the import cannot be changed.
bool replace_library_import(void *library, const char *name, void *replacement,
                            void **original);

// --- Errors and text. ---

unsigned last_error();
void set_last_error(unsigned code);

// The system's text for code into buffer (size bytes), or a text naming the code when the
// system has none.
void system_error_text(unsigned code, char *buffer, size_t size);

// Formats into buffer (size bytes), cut at its end and always terminated; returns the length
// of the text in buffer.
int format_text(char *buffer, size_t size, const char *format, va_list args);

// Shows text in a message box: the error caption and icon, or the information ones.
void show_message_box(bool error, const char *text);

// Shows text in a message box with the error caption and icon and the buttons Yes and No;
// true when Yes was chosen.
bool ask_question(const char *text);

// Opens address (a web address or a file) with the program the user has chosen for it.
void open_address(const char *address);

// --- What a guarded run (more rights than its user's other programs) takes. ---

// True when the process runs under Wine: its ntdll.dll exports wine_get_version. Wine keeps
// no separate accounts (every program of the session can change every file), so a run there
// has nobody to be guarded against.
bool under_wine();

// Removes the variable name from the process's environment, so that no library loaded later
// (the runtime's C library among them) reads it; true when it was set.
bool remove_environment_variable(const char *name);

// As hold_private_directory, for the folder the private folders hang under (the machine's
// program data): it may let others create entries in it, but it must be no link, belong to the
// system, administrators, the Windows installer or (own_account) the process's own account,
// and let no other account remove, rename or replace it or its entries, nor change its access
// list or owner. Held open to the process's end when it passes.
held_folder hold_base_directory(const char *path, bool own_account);

// Reads the text file at path as read_text_file does, through one open file: the file itself
// (never where a link leads) must be a regular file, and the folder that holds the file opened
// must pass hold_private_directory (and is held from then on), so that what was checked is
// what is read. Null when the file cannot be opened or read; *refused (a new heap text, else
// null) names the folder, or the file, that failed the check.
char *read_private_text_file(const char *path, bool own_account, char **refused);

// --- The hand-over channel: a second start's message to the running instance. ---

// The SID of the account the process runs as, in its text form ("S-1-5-21-..."), as a new heap
// text; null when it cannot be read.
char *process_user_sid();

// The logon session (Remote Desktop session) the process runs in.
unsigned process_session_id();

struct handover_server;

// Creates the channel called name (a named pipe's name, "\\.\pipe\...") as its first and only
// instance, with the access list of security (a security descriptor in its text form), for
// clients of this machine only. Null when the name is taken (by any process) or the channel
// cannot be made.
handover_server *create_handover_server(const char *name, const char *security);

enum handover_client { HANDOVER_CLIENT, HANDOVER_FOREIGN_CLIENT, HANDOVER_CLOSED, HANDOVER_FAILED };

// Waits for the next client. HANDOVER_CLIENT: one of this process's account and session is
// connected; HANDOVER_FOREIGN_CLIENT: one of another account or session, or one whose account
// cannot be read, is connected (end it without an answer); HANDOVER_CLOSED: stop_handover_server
// was called; HANDOVER_FAILED: the channel does not work.
handover_client wait_for_handover_client(handover_server *server);

// Reads exactly size bytes from the connected client; false when it disconnects, when
// stop_handover_server is called, or when the bytes do not all come within a few seconds (a
// client that stalls holds up the ones waiting behind it).
bool read_handover_bytes(handover_server *server, void *buffer, size_t size);

// Writes the answer byte (none when answer is 0) and disconnects the client.
void end_handover_client(handover_server *server, char answer);

// Makes the server's waiting call return (HANDOVER_CLOSED, or false), and every later one;
// from any thread.
void stop_handover_server(handover_server *server);

// Closes the channel, freeing its name, once no thread waits on it any more.
void close_handover_server(handover_server *server);

enum handover_send {
    HANDOVER_ANSWERED,     // *answer holds the server's answer
    HANDOVER_NO_CHANNEL,   // nobody listens on that name
    HANDOVER_BUSY,         // the channel served others for all of wait_ms
    HANDOVER_FOREIGN_SERVER, // its server runs as another account or in another session
    HANDOVER_BROKEN,       // the server closed the channel before it answered
    HANDOVER_NO_ANSWER,    // the server did not read the message or answer within wait_ms
};

// Connects to the channel called name, checks that its server runs as this process's account
// in its session, lets the server's process take the foreground (Windows lets a process come
// to the front only when the user's current process allows it), writes the size bytes of
// message and reads the one-byte answer into *answer, all within wait_ms.
handover_send send_handover_message(const char *name, const void *message, size_t size,
                                    unsigned wait_ms, char *answer);

// Restores the process's application window when it is minimised and makes it the foreground
// window: its topmost visible top-level window that has no owner and is neither the splash
// screen nor one of the launcher's message boxes. False when it shows none.
bool bring_application_window_to_front();
