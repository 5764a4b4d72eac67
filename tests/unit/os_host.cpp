// The system seam for the host build: real files, folders, environment and libraries; an
// in-memory registry and listing failures that tests set; reports recorded for the tests.
// Paths use "\" as the launcher writes them; here each "\" stands for "/".
#include "os/os.h"
#include "base/command_line.h"
#include "base/memory.h"
#include "base/resource_ids.h"
#include "base/text.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/fake_report.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <limits.h>
#include <time.h>
#include <sys/stat.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdarg.h>
#include <stdint.h>

#include <atomic>
#include <map>
#include <string>

namespace {

struct fake_value {
    bool is_text;
    std::string text;
};

struct lower_less {
    bool operator()(const std::string &a, const std::string &b) const
    {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

// Per root: key path -> (value name -> value); every key of a table is listed, parents
// included.
typedef std::map<std::string, std::map<std::string, fake_value, lower_less>, lower_less>
    registry_table;
registry_table tables[2];

registry_table &table_of(registry_root root)
{
    return tables[root == REGISTRY_USER ? 1 : 0];
}

void add_key_and_parents(registry_table &table, const std::string &key)
{
    for (size_t pos = key.find('\\'); pos != std::string::npos; pos = key.find('\\', pos + 1))
        table[key.substr(0, pos)];
    table[key];
}

std::string failing_listing;
std::string held_file; // a file that another process holds: it cannot be moved or deleted
bool failing_at_start;

} // namespace

std::atomic<int> fail_countdown;

bool fake_call_fails(unsigned error)
{
    int left = fail_countdown;
    while (left > 0 && !fail_countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left != 1)
        return false;
    set_last_error(error);
    return true;
}

namespace {

std::string host_path(const char *path)
{
    std::string p = path;
    for (char &c : p)
        if (c == '\\')
            c = '/';
    return p;
}

} // namespace

void fake_registry_set_text(const char *key, const char *value, const char *text,
                            registry_root root)
{
    add_key_and_parents(table_of(root), key);
    table_of(root)[key][value] = {true, text};
}

void fake_registry_set_number(const char *key, const char *value, unsigned number,
                              registry_root root)
{
    add_key_and_parents(table_of(root), key);
    table_of(root)[key][value] = {false, std::to_string(number)};
}

void fake_registry_add_key(const char *key, registry_root root)
{
    add_key_and_parents(table_of(root), key);
}

void fake_listing_failure(const char *directory, bool at_start)
{
    failing_listing = directory ? host_path(directory) : "";
    failing_at_start = at_start;
}

void fake_registry_clear()
{
    tables[0].clear();
    tables[1].clear();
}

void fake_registry_remove_key(const char *key)
{
    tables[0].erase(key);
}

int query_registry_text(registry_root root, const char *key, const char *value, char *buffer,
                        size_t capacity)
{
    const registry_table &table = table_of(root);
    auto k = table.find(key);
    if (k == table.end())
        return -1;
    auto v = k->second.find(value);
    if (v == k->second.end() || !v->second.is_text || v->second.text.size() + 1 > capacity) {
        if (capacity > 0)
            buffer[0] = '\0';
        return 1;
    }
    memcpy(buffer, v->second.text.c_str(), v->second.text.size() + 1);
    return 0;
}

struct registry_key {
    registry_root root;
    std::string path;
};

registry_key *open_registry_key(registry_root root, const char *key)
{
    if (table_of(root).find(key) == table_of(root).end())
        return nullptr;
    return new registry_key{root, key};
}

subkey_step enum_registry_subkey(registry_key *key, unsigned index, char *name,
                                 size_t capacity)
{
    std::string prefix = key->path + "\\";
    unsigned seen = 0;
    for (const auto &entry : table_of(key->root)) {
        const std::string &path = entry.first;
        if (path.size() <= prefix.size() || strncasecmp(path.c_str(), prefix.c_str(), prefix.size()) != 0 ||
            path.find('\\', prefix.size()) != std::string::npos)
            continue;
        if (seen++ != index)
            continue;
        std::string child = path.substr(prefix.size());
        if (child.size() + 1 > capacity)
            return SUBKEY_SKIPPED;
        memcpy(name, child.c_str(), child.size() + 1);
        return SUBKEY_NAME;
    }
    return SUBKEY_END;
}

void close_registry_key(registry_key *key)
{
    delete key;
}

bool create_registry_key(const char *key)
{
    if (fake_call_fails(EACCES))
        return false;
    add_key_and_parents(tables[0], key);
    return true;
}

bool set_registry_expand_string(const char *key, const char *value, const char *text)
{
    auto k = tables[0].find(key);
    if (k == tables[0].end() || fake_call_fails(EACCES))
        return false;
    k->second[value] = {true, text};
    return true;
}

bool set_registry_dword(const char *key, const char *value, unsigned number)
{
    auto k = tables[0].find(key);
    if (k == tables[0].end() || fake_call_fails(EACCES))
        return false;
    k->second[value] = {false, std::to_string(number)};
    return true;
}

bool file_exists(const char *path)
{
    // Windows cannot open a folder as a file; here fopen could.
    if (path_attributes(path) != 0)
        return false;
    FILE *file = fopen(host_path(path).c_str(), "r");
    if (!file)
        return false;
    fclose(file);
    return true;
}

// A file's identity here is its device and inode.
bool same_file(const char *a, const char *b)
{
    struct stat first, second;
    return stat(host_path(a).c_str(), &first) == 0 && stat(host_path(b).c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int read_file_part(const char *path, uint32_t offset, void *buffer, uint32_t size)
{
    if (path_attributes(path) != 0 || fake_call_fails(EACCES))
        return -1;
    FILE *file = fopen(host_path(path).c_str(), "rb");
    if (!file)
        return -1;
    size_t count = fseek(file, (long)offset, SEEK_SET) == 0 ? fread(buffer, 1, size, file) : 0;
    bool failed = ferror(file) != 0;
    fclose(file);
    return failed ? -1 : (int)count;
}

int path_attributes(const char *path)
{
    struct stat info;
    if (stat(host_path(path).c_str(), &info) != 0)
        return -1;
    return S_ISDIR(info.st_mode) ? 1 : 0;
}

bool create_directory(const char *path)
{
    return !fake_call_fails(EACCES) && mkdir(host_path(path).c_str(), 0700) == 0;
}

static void fill_stamp(const struct stat &info, file_stamp *stamp)
{
    stamp->is_directory = S_ISDIR(info.st_mode);
    stamp->size = (uint64_t)info.st_size;
    // A FILETIME counts 100 ns steps from 1601; the host's times count from 1970.
    uint64_t time = ((uint64_t)info.st_mtim.tv_sec + 11644473600ULL) * 10000000ULL +
                    (uint64_t)info.st_mtim.tv_nsec / 100;
    stamp->time_low = (uint32_t)time;
    stamp->time_high = (uint32_t)(time >> 32);
}

bool read_file_stamp(const char *path, file_stamp *stamp)
{
    struct stat info;
    if (stat(host_path(path).c_str(), &info) != 0)
        return false;
    fill_stamp(info, stamp);
    return true;
}

std::string shared_folder;

void fake_shared_folder(const char *path)
{
    shared_folder = path ? host_path(path) : "";
}

private_folder create_private_directory(const char *path, bool)
{
    if (fake_call_fails(EACCES))
        return FOLDER_FAILED;
    if (mkdir(host_path(path).c_str(), 0755) == 0)
        return FOLDER_CREATED;
    return errno == EEXIST ? FOLDER_EXISTS : FOLDER_FAILED;
}

// A symbolic link stands for a reparse point.
held_folder hold_private_directory(const char *path, bool)
{
    struct stat info;
    if (fake_call_fails(EACCES) || lstat(host_path(path).c_str(), &info) != 0)
        return FOLDER_UNOPENED;
    bool refused = S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) || host_path(path) == shared_folder;
    return refused ? FOLDER_REFUSED : FOLDER_HELD;
}

bool elevated;

void fake_elevated(bool is_elevated)
{
    elevated = is_elevated;
}

bool process_is_elevated()
{
    return elevated;
}

std::string program_data;

void fake_program_data(const char *path)
{
    program_data = path;
}

char *program_data_directory()
{
    if (program_data.empty() || fake_call_fails(ENOENT))
        return nullptr;
    return join_text(program_data.c_str(), "\\");
}

char *temp_directory()
{
    const char *temp = getenv("TMPDIR");
    return fake_call_fails(ENOENT) ? nullptr : join_text(temp ? temp : "/tmp", "\\");
}

std::string executable;

void fake_executable_path(const char *path)
{
    executable = path ? path : "";
}

char *executable_path()
{
    if (fake_call_fails(ENAMETOOLONG))
        return nullptr;
    if (!executable.empty())
        return must_copy(executable.c_str());
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 && (size_t)n < sizeof buffer ? copy_text(buffer, (size_t)n) : nullptr;
}

// ASCII letters only: enough for the tests' names.
char *upper_case_name(const char *text)
{
    char *upper = must_copy(text);
    for (char *c = upper; *c; c++)
        *c = *c >= 'a' && *c <= 'z' ? (char)(*c - 'a' + 'A') : *c;
    return upper;
}

os_file *create_file(const char *path)
{
    return fake_call_fails(EACCES) ? nullptr : (os_file *)fopen(host_path(path).c_str(), "wb");
}

unsigned milliseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (unsigned)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void close_file(os_file *file)
{
    fclose((FILE *)file);
}

os_file *append_to_file(const char *path)
{
    return fake_call_fails(EACCES) ? nullptr : (os_file *)fopen(host_path(path).c_str(), "ab");
}

// The host's runtime prints with the host's own C library.
bool find_runtime_c_streams(void *, runtime_c_streams *streams)
{
    *streams = {stdout, stderr,
                [](const void *d, size_t s, size_t n, void *f) { return fwrite(d, s, n, (FILE *)f); }};
    return true;
}

output_open open_output_file(const char *path, bool checked, bool *append)
{
    std::string name = host_path(path);
    struct stat info;
    if (checked && lstat(name.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || info.st_nlink != 1))
        return OUTPUT_NOT_REGULAR;
    *append = *append || held_file == name; // a held file cannot be emptied either
    if (fake_call_fails(EACCES))
        return OUTPUT_UNOPENED;
    FILE *file = fopen(name.c_str(), *append ? "ab" : "wb");
    return file && fclose(file) == 0 ? OUTPUT_OPENED : OUTPUT_UNOPENED;
}

void fake_held_file(const char *path)
{
    held_file = path ? host_path(path) : "";
}

bool set_file_time(os_file *, uint32_t, uint32_t)
{
    return !fake_call_fails(EACCES);
}

bool write_file(os_file *file, const void *data, uint32_t size)
{
    return !fake_call_fails(ENOSPC) && fwrite(data, 1, size, (FILE *)file) == size;
}

struct directory_listing {
    DIR *dir;
    std::string path;
    int entries_read;
};

static listing_step read_entry(directory_listing *listing, directory_entry *entry)
{
    if (fake_call_fails(EIO))
        return LISTING_FAILED;
    if (!failing_at_start && !failing_listing.empty() && listing->path == failing_listing &&
        listing->entries_read++ > 0)
        return LISTING_FAILED;
    errno = 0;
    struct dirent *found = readdir(listing->dir);
    if (!found)
        return errno ? LISTING_FAILED : LISTING_END;
    snprintf(entry->name, sizeof entry->name, "%s", found->d_name);
    struct stat info = {};
    std::string full = listing->path + "/" + found->d_name;
    stat(full.c_str(), &info);
    fill_stamp(info, &entry->stamp);
    entry->is_directory = entry->stamp.is_directory;
    struct stat link = {};
    entry->is_link = lstat(full.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    return LISTING_ENTRY;
}

listing_step open_directory_listing(const char *directory, directory_listing **listing,
                                    directory_entry *entry)
{
    std::string path = host_path(directory);
    if ((failing_at_start && path == failing_listing) || fake_call_fails(EACCES))
        return LISTING_FAILED;
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return errno == ENOENT ? LISTING_END : LISTING_FAILED;
    *listing = new directory_listing{dir, path, 0};
    listing_step step = read_entry(*listing, entry);
    if (step != LISTING_ENTRY) {
        close_directory_listing(*listing);
        return step;
    }
    return LISTING_ENTRY;
}

listing_step next_directory_entry(directory_listing *listing, directory_entry *entry)
{
    return read_entry(listing, entry);
}

void close_directory_listing(directory_listing *listing)
{
    closedir(listing->dir);
    delete listing;
}

// The host's resources are those a test sets: the string table and the archive.
std::map<unsigned, std::string> string_table;

char *load_string(unsigned id)
{
    auto found = string_table.find(id);
    return strdup(found == string_table.end() ? "" : found->second.c_str());
}

std::string archive_resource;

void fake_archive_resource(const std::string &bytes)
{
    archive_resource = bytes;
}

const unsigned char *find_resource_data(unsigned id, size_t *size)
{
    *size = archive_resource.size();
    bool present = id == RESOURCE_ARCHIVE && !archive_resource.empty();
    return present ? (const unsigned char *)archive_resource.data() : nullptr;
}

// The host's code page is UTF-8: a file read here is taken as it is, without a mark.
char *read_text_file(const char *path)
{
    FILE *file = fake_call_fails(EACCES) ? nullptr : fopen(host_path(path).c_str(), "rb");
    if (!file)
        return nullptr;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    return strdup(text.c_str());
}

bool latin1_runtime;
std::map<std::string, std::string> short_paths;

void fake_latin1_runtime(bool latin1)
{
    latin1_runtime = latin1;
}

void fake_short_path(const char *path, const char *short_form)
{
    if (path)
        short_paths[path] = short_form;
    else
        short_paths.clear();
}

char *runtime_option_text(const char *option)
{
    // The host's virtual machine reads paths with "/" and separates class-path entries with
    // ':'.
    static const char class_path[] = "-Djava.class.path=";
    if (!latin1_runtime) {
        char *text = strdup(host_path(option).c_str());
        if (strncmp(option, class_path, sizeof class_path - 1) == 0)
            for (char *p = text + sizeof class_path - 1; *p; p++)
                if (*p == ';')
                    *p = ':';
        return text;
    }
    // Lead bytes from 0xC4 on start characters past U+00FF.
    for (const char *p = option; latin1_runtime && *p; p++)
        if ((unsigned char)*p >= 0xC4)
            return nullptr;
    return strdup(option);
}

char *short_path_name(const char *path)
{
    auto found = short_paths.find(path);
    return found == short_paths.end() ? nullptr : strdup(found->second.c_str());
}

// A file that another process holds can be neither removed nor renamed.
std::string undeleted;

bool delete_file(const char *path)
{
    if (fake_call_fails(EACCES))
        return (undeleted = host_path(path), false);
    if (!held_file.empty() && held_file == host_path(path))
        return (errno = EACCES, false);
    return unlink(host_path(path).c_str()) == 0;
}

bool replace_file(const char *from, const char *to)
{
    if (fake_call_fails(EACCES))
        return false;
    // The shared folder goes with its name, as the folder's own access list would.
    if (!shared_folder.empty() && host_path(from) == shared_folder)
        shared_folder = host_path(to);
    if (!held_file.empty() && held_file == host_path(from))
        return (errno = EACCES, false);
    return rename(host_path(from).c_str(), host_path(to).c_str()) == 0;
}

std::vector<std::string> processes_run;
int process_status;
std::string process_writes;

void fake_process(int status, const char *writes)
{
    processes_run.clear();
    process_status = status;
    process_writes = writes ? host_path(writes) : "";
}

int run_process(const char *command_line)
{
    processes_run.push_back(command_line);
    if (fake_call_fails(ENOMEM))
        return -1;
    if (!process_writes.empty()) {
        FILE *file = fopen(process_writes.c_str(), "wb");
        if (file) {
            fputs("an archive", file);
            fclose(file);
        }
    }
    return process_status;
}

// A real process, as the Windows side starts it: its own session, nice, standard streams on
// /dev/null, no descriptor of ours but the lock, whose flock it holds until it ends; its
// arguments read as the runtime reads options. run_process's list records the command line.
bool start_background_process(const char *command_line, const char *lock_path)
{
    processes_run.push_back(command_line);
    if (fake_call_fails(EAGAIN))
        return false;
    int count;
    char **argv;
    split_windows_command_line(command_line, &count, &argv, false);
    argv = (char **)realloc(argv, ((size_t)count + 1) * sizeof *argv);
    for (int i = 0; i < count; i++) {
        char *converted = runtime_option_text(argv[i]);
        free(argv[i]);
        argv[i] = converted;
    }
    argv[count] = nullptr;
    int lock = open(host_path(lock_path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    bool ready = count > 0 && access(argv[0], X_OK) == 0 && flock(lock, LOCK_EX) == 0;
    pid_t child = ready ? fork() : -1;
    if (child == 0 && fork() == 0) { // orphaned at once: nobody waits for it
        setsid();
        setpriority(PRIO_PROCESS, 0, 10);
        for (int fd = 0; fd < 1024; fd++)
            if (fd != lock)
                close(fd);
        open("/dev/null", O_RDWR); // 0, then 1 and 2
        dup(0);
        dup(0);
        execv(argv[0], argv);
    }
    if (child == 0)
        _exit(0);
    bool started = child > 0 && waitpid(child, nullptr, 0) == child;
    close(lock);
    if (!started)
        unlink(host_path(lock_path).c_str());
    for (int i = 0; i < count; i++)
        free(argv[i]);
    free(argv);
    return started;
}

bool background_process_running(const char *lock_path)
{
    int lock = open(host_path(lock_path).c_str(), O_RDONLY);
    if (lock < 0)
        return false;
    bool held = flock(lock, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(lock);
    return held;
}

void wait_for_background_processes(const char *folder)
{
    DIR *listing = opendir(host_path(folder).c_str());
    while (dirent *entry = listing ? readdir(listing) : nullptr)
        while (strstr(entry->d_name, ".lock") &&
               background_process_running((host_path(folder) + "/" + entry->d_name).c_str()))
            usleep(10 * 1000);
    if (listing)
        closedir(listing);
}

unsigned process_id()
{
    return (unsigned)getpid();
}

void set_process_priority(unsigned)
{
}

char *environment_value(const char *name)
{
    size_t n = strlen(name);
    for (char **variable = environ; *variable; variable++)
        if (strncasecmp(*variable, name, n) == 0 && (*variable)[n] == '=')
            return strdup(*variable + n + 1);
    return nullptr;
}

void *load_runtime_library(const char *path)
{
    return dlopen(host_path(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void *find_library_symbol(void *library, const char *name)
{
    return dlsym(library, name);
}

void free_runtime_library(void *library)
{
    dlclose(library);
}

// A shared object's calls cannot be redirected here: HotSpot on Linux ends a failed start
// through the "abort" hook or its own exit, which the tests see as the process's end.
bool replace_library_import(void *, const char *, void *, void **original)
{
    *original = nullptr;
    return false;
}

char *current_directory()
{
    if (fake_call_fails(EACCES))
        return nullptr;
    char *directory = getcwd(nullptr, 0);
    char *text = directory ? must_copy(directory) : nullptr;
    free(directory);
    return text;
}

bool set_current_directory(const char *path)
{
    return chdir(host_path(path).c_str()) == 0;
}

void write_standard_error(const char *text, size_t length)
{
    fwrite(text, 1, length, stderr);
}

void open_process_console()
{
    // A host process has its standard streams already.
}

unsigned last_error()
{
    return (unsigned)errno;
}

void set_last_error(unsigned code)
{
    errno = (int)code;
}

void system_error_text(unsigned, char *buffer, size_t size)
{
    snprintf(buffer, size, "(reason)");
}

int format_text(char *buffer, size_t size, const char *format, va_list args)
{
    int n = vsnprintf(buffer, size, format, args);
    return n < 0 || (size_t)n >= size ? (int)size - 1 : n;
}

std::vector<std::string> reported;
bool report_echo;

// A question is recorded as a report and answered No: no address is ever opened here.
bool ask_question(const char *text)
{
    show_message_box(true, text);
    return false;
}

void open_address(const char *)
{
}

void show_message_box(bool, const char *text)
{
    // Showing a message box changes the last error, as it does on Windows.
    errno = 0;
    reported.push_back(text);
    if (!report_echo)
        return;
    std::string line;
    for (const char *c = text; *c; c++)
        line += *c == '\n' ? std::string("\\n") : std::string(1, *c);
    printf("reported: %s\n", line.c_str());
    fflush(stdout);
}

bool wine;

void fake_under_wine(bool is_wine)
{
    wine = is_wine;
}

bool under_wine()
{
    return wine;
}

bool remove_environment_variable(const char *name)
{
    bool set = getenv(name) != nullptr;
    unsetenv(name);
    return set;
}

held_folder hold_base_directory(const char *path, bool own_account)
{
    return hold_private_directory(path, own_account);
}

// The folder refused as the file's path gives it; a link is no regular file.
char *read_private_text_file(const char *path, bool own_account, char **refused)
{
    *refused = nullptr;
    struct stat info;
    if (lstat(host_path(path).c_str(), &info) != 0)
        return nullptr;
    std::string folder = path;
    size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    if (!S_ISREG(info.st_mode) || hold_private_directory(folder.c_str(), own_account) != FOLDER_HELD) {
        *refused = strdup(S_ISREG(info.st_mode) ? folder.c_str() : path);
        return nullptr;
    }
    return read_text_file(path);
}

std::vector<std::string> handover_channels_made;
std::vector<fake_handover_client> handover_clients;
std::string handover_answers;

// The client served (its index + 1) and how much of its bytes it has read.
struct handover_server {
    size_t client, read;
};

char *process_user_sid() { return must_copy("S-1-5-21-7-8-9-1001"); }
unsigned process_session_id() { return 2; }
void close_handover_server(handover_server *server) { delete server; }

handover_server *create_handover_server(const char *name, const char *security)
{
    handover_channels_made.push_back(std::string(name) + " " + security);
    return new handover_server{0, 0};
}

handover_client wait_for_handover_client(handover_server *server)
{
    server->read = 0;
    return server->client >= handover_clients.size() ? HANDOVER_CLOSED
           : handover_clients[server->client++].same ? HANDOVER_CLIENT
                                                      : HANDOVER_FOREIGN_CLIENT;
}

bool read_handover_bytes(handover_server *server, void *buffer, size_t size)
{
    const std::string &bytes = handover_clients[server->client - 1].bytes;
    if (bytes.size() - server->read < size)
        return false;
    memcpy(buffer, bytes.data() + server->read, size);
    server->read += size;
    return true;
}

void end_handover_client(handover_server *, char answer)
{
    handover_answers += answer ? answer : '-';
}

uint64_t fake_memory, fake_free_block;
void fake_machine(uint64_t memory, uint64_t free_block)
{
    fake_memory = memory;
    fake_free_block = free_block;
}
uint64_t physical_memory() { return fake_memory; }
bool largest_free_block(uint64_t *bytes) { return (*bytes = fake_free_block) != 0; }
bool set_app_user_model_id(const char *) { return true; }
