// Class-data sharing set up by the launcher. Portable: files, folders, processes and the
// environment are reached through the system seam.
#include "java/class_sharing.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <atomic>

#include "base/archive.h"
#include "base/memory.h"
#include "base/string_list.h"
#include "base/text.h"
#include "java/jvm_options.h"
#include "java/runtime_search.h"
#include "os/guard.h"
#include "os/os.h"

namespace {

// Archives not used for this long are removed, and the oldest beyond the cap: a FILETIME
// counts 100 ns steps.
const uint64_t UNUSED_LIMIT = 60ULL * 24 * 3600 * 10000000;
const uint64_t CACHE_CAP = 1024ULL * 1024 * 1024;
// A class-path jar's central directory is hashed whole; a larger one is not shared.
const uint32_t LARGEST_DIRECTORY = 64u * 1024 * 1024;
// The name of an archive's files: 16 hexadecimal digits, then a suffix.
const size_t KEY_LENGTH = 16;
// A day in FILETIME steps: a failed ahead-of-time cache is tried again after it.
const uint64_t RETRY_AFTER = 24ULL * 3600 * 10000000;

// Kept here, not handed along: finish_class_sharing also runs from the virtual machine's exit
// hook, which carries no pointer of the launcher's; finished lets it run once.
sharing_made pending;
std::atomic<bool> finished;
// The line the virtual machine prints once it has recorded this run's classes, which is not
// the application's output; kept apart from pending, since the output hook may read it on any
// thread of the virtual machine.
char *recording_remark;

bool ends_with(const char *text, const char *suffix)
{
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && strcasecmp(text + n - m, suffix) == 0;
}

bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// The folder part of path (up to its last "\" or "/") into buffer; false when it has none.
bool parent_folder(const char *path, char *buffer, size_t size)
{
    const char *slash = strrchr(path, '\\'), *other = strrchr(path, '/');
    if (!slash || (other && other > slash))
        slash = other;
    size_t n = slash ? (size_t)(slash - path) : 0;
    if (n == 0 || n >= size)
        return false;
    memcpy(buffer, path, n);
    buffer[n] = '\0';
    return true;
}

// Appends value as 16 hexadecimal digits.
void append_number(string_list *text, uint64_t value)
{
    char digits[17];
    for (int i = 15; i >= 0; i--, value >>= 4)
        digits[i] = "0123456789abcdef"[value & 15];
    digits[16] = '\0';
    string_list_append(text, digits);
}

// The stamp of path as fingerprint text: " size time", or " missing".
void append_stamp(string_list *text, const char *path)
{
    file_stamp stamp;
    if (!read_file_stamp(path, &stamp)) {
        string_list_append(text, " missing");
        return;
    }
    string_list_append(text, " ");
    append_number(text, stamp.size);
    string_list_append(text, " ");
    append_number(text, (uint64_t)stamp.time_high << 32 | stamp.time_low);
}

uint32_t little_endian(const unsigned char *p, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--)
        value = value << 8 | p[i];
    return value;
}

// The hash of a jar's central directory, which holds every entry's name, size and CRC-32: a
// class changed in place, with the jar's size and time kept, still changes it. False when the
// file is not a zip archive the launcher can read this way.
bool central_directory_hash(const char *path, uint64_t size, uint64_t *hash)
{
    // The end record (22 bytes and a comment of up to 65535) closes the file.
    const uint32_t tail_size = 22 + 65535;
    if (size < 22 || size > 0xFFFFFFFFu)
        return false;
    uint32_t tail_start = size > tail_size ? (uint32_t)(size - tail_size) : 0;
    uint32_t tail_length = (uint32_t)size - tail_start;
    unsigned char *tail = (unsigned char *)must_alloc(tail_length);
    bool ok = read_file_part(path, tail_start, tail, tail_length) == (int)tail_length;
    uint32_t directory_size = 0, directory_offset = 0;
    bool found = false;
    for (int64_t i = (int64_t)tail_length - 22; ok && i >= 0 && !found; i--) {
        const unsigned char *p = tail + i;
        found = p[0] == 'P' && p[1] == 'K' && p[2] == 5 && p[3] == 6;
        if (found) {
            directory_size = little_endian(p + 12, 4);
            directory_offset = little_endian(p + 16, 4);
        }
    }
    free(tail);
    // Zip64 archives mark the record's fields 0xFFFFFFFF; they are not read here.
    if (!found || directory_size == 0 || directory_size > LARGEST_DIRECTORY ||
        (uint64_t)directory_offset + directory_size > size)
        return false;
    unsigned char *directory = (unsigned char *)must_alloc(directory_size);
    ok = read_file_part(path, directory_offset, directory, directory_size) == (int)directory_size &&
         little_endian(directory, 4) == 0x02014B50;
    if (ok)
        *hash = archive_hash(directory, directory_size);
    free(directory);
    return ok;
}

// Reads how library's runtime can share classes: a HotSpot library ("server" or "client"
// folder) whose release file gives the version, with the base archives beside it or rt.jar.
void read_sharing_runtime(const char *library, sharing_runtime *runtime)
{
    *runtime = {};
    char *folder = runtime->folder, bin[RUNTIME_PATH_SIZE];
    runtime->hotspot = parent_folder(library, folder, sizeof runtime->folder) &&
                       (ends_with(folder, "server") || ends_with(folder, "client")) &&
                       parent_folder(folder, bin, sizeof bin) &&
                       parent_folder(bin, runtime->root, sizeof runtime->root);
    if (!runtime->hotspot)
        return;
    runtime->client = ends_with(folder, "client");
    if (!read_release_version(runtime->root, &runtime->version)) {
        // A Java 8 development kit: jre\bin\server\jvm.dll, its release file a level up.
        char kit[RUNTIME_PATH_SIZE];
        if (!ends_with(runtime->root, "jre") || !parent_folder(runtime->root, kit, sizeof kit) ||
            !read_release_version(kit, &runtime->version))
            return;
    }
    unsigned feature = runtime->version.part[0];
    const struct {
        bool *found;
        const char *base, *name;
        bool read;
    } files[] = {
        {&runtime->rt_jar, runtime->root, "\\lib\\rt.jar", feature == 8},
        {&runtime->base_archive, folder, "\\classes.jsa", feature != 8},
        {&runtime->nocoops_archive, folder, "\\classes_nocoops.jsa", feature >= 15 && feature < 19},
        {&runtime->java_program, runtime->root, "\\bin\\java.exe", feature >= 25},
    };
    for (const auto &file : files) {
        if (!file.read)
            continue;
        char *path = join_text(file.base, file.name);
        *file.found = path_attributes(path) == 0;
        free(path);
    }
}

// How runtime shares classes: Java 8 from 8u40 with rt.jar; 15 and later with the base
// archive. Before 19, a creating run whose base archive cannot be mapped ends the process:
// both base archives must be there (runtimes for 32 bits, which have one, can fail to map it;
// 13 and 14 have no archive for heaps without compressed pointers).
sharing_kind sharing_kind_of(const sharing_runtime &runtime)
{
    unsigned feature = runtime.version.part[0];
    if (!runtime.hotspot)
        return SHARING_NONE;
    if (feature == 8 && runtime.version.part[2] >= 40)
        return runtime.rt_jar ? SHARING_CLASS_LIST : SHARING_NONE;
    if (feature < 15 || !runtime.base_archive)
        return SHARING_NONE;
    if (feature >= 19)
        return SHARING_AUTO_CREATE;
    return runtime.nocoops_archive ? SHARING_AT_EXIT : SHARING_NONE;
}

// The ahead-of-time cache needs no base archive (it holds the runtime's classes too), but the
// runtime's own java program makes it.
bool records_ahead(const sharing_runtime &runtime)
{
    return runtime.hotspot && runtime.version.part[0] >= 25 && runtime.java_program;
}

// Options that leave the archive to the user, that the fingerprint cannot follow (an agent,
// another boot class path, modules, options read from a file), or with which the base archive
// cannot be mapped: with any of them, no sharing.
bool option_allows_sharing(const char *option)
{
    static const char *const refused[] = {
        "-XX:-UseCompressedClassPointers", "-XX:ObjectAlignmentInBytes", "-XX:SharedBaseAddress",
        "-Xshare", "-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit",
        "-XX:+AutoCreateSharedArchive", "-XX:SharedClassListFile", "-XX:DumpLoadedClassList",
        "-XX:AOT", "-XX:+AOT", "-XX:-AOT", "-XX:+RecordDynamicDumpInfo", "-XX:Flags",
        "-XX:VMOptionsFile", "-XX:+UseAppCDS", "-Xbootclasspath", "-javaagent", "-agentlib",
        "-agentpath", "-Djdk.module.", "--patch-module", "--module-path", "--upgrade-module-path",
    };
    for (const char *prefix : refused)
        if (starts_with(option, prefix))
            return false;
    return true;
}

bool is_relative(const char *path)
{
    bool drive = path[0] && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return !drive && path[0] != '\\' && path[0] != '/';
}

// Appends each class-path entry of list with its stamp and the hash of its central directory.
// False when an entry is a folder (the virtual machine refuses to archive with a non-empty
// one, and cannot check its classes) or a file that is not a jar.
bool append_class_path(string_list *text, const jvm_option_list &list)
{
    bool ok = true, relative = false;
    for (int i = 0; i < list.class_path_count; i++) {
        const char *entry = list.class_path[i];
        relative = relative || is_relative(entry);
        string_list_append(text, "class-path ");
        string_list_append(text, entry);
        file_stamp stamp;
        if (!read_file_stamp(entry, &stamp)) {
            string_list_append(text, " missing\n");
            continue;
        }
        uint64_t hash;
        if (stamp.is_directory || !central_directory_hash(entry, stamp.size, &hash)) {
            ok = false;
            break;
        }
        append_stamp(text, entry);
        string_list_append(text, " ");
        append_number(text, hash);
        string_list_append(text, "\n");
    }
    // A relative entry names another file from another current directory.
    if (ok && relative) {
        char *directory = current_directory();
        ok = directory != nullptr;
        string_list_append(text, "directory ");
        string_list_append(text, ok ? directory : "");
        string_list_append(text, "\n");
        free(directory);
    }
    return ok;
}

// The fingerprint of this run as a new heap text; null when sharing cannot serve it.
char *make_fingerprint(const char *library, const sharing_runtime &runtime, bool java8,
                       const jvm_option_list &list)
{
    string_list text = {};
    string_list_append(&text, "trevalo class sharing 1\nruntime ");
    string_list_append(&text, library);
    append_stamp(&text, library);
    string_list_append(&text, "\n");
    const char *folder = runtime.folder;
    // What the archive is made on top of: the runtime's base archives and class library, or
    // Java 8's boot class path, whose change ends the process at the next start.
    static const char *const modular[] = {"\\classes.jsa", "\\classes_nocoops.jsa",
                                          "\\lib\\modules", nullptr};
    static const char *const boot[] = {"\\lib\\rt.jar", "\\lib\\resources.jar",
                                       "\\lib\\jsse.jar", "\\lib\\jce.jar",
                                       "\\lib\\charsets.jar", "\\lib\\jfr.jar",
                                       "\\lib\\sunrsasign.jar", nullptr};
    for (const char *const *base = java8 ? boot : modular; *base; base++) {
        // "\lib\..." is in the runtime's top folder, the rest beside the library.
        char *path = join_text(starts_with(*base, "\\lib\\") ? runtime.root : folder, *base);
        string_list_append(&text, "base ");
        string_list_append(&text, path);
        append_stamp(&text, path);
        string_list_append(&text, "\n");
        free(path);
    }
    // The virtual machine reads these two variables as options too.
    static const char *const variables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"};
    for (const char *name : variables) {
        char *value = environment_value(name);
        if (value) {
            string_list_append(&text, "environment ");
            string_list_append(&text, name);
            string_list_append(&text, "=");
            string_list_append(&text, value);
            string_list_append(&text, "\n");
        }
        bool ok = !value || option_allows_sharing(value);
        free(value);
        if (!ok) {
            free(text.text);
            return nullptr;
        }
    }
    bool ok = true;
    for (int i = 0; i < list.count && ok; i++) {
        ok = option_allows_sharing(list.options[i]);
        string_list_append(&text, "option ");
        string_list_append(&text, list.options[i]);
        string_list_append(&text, "\n");
    }
    // Without a class path the virtual machine takes the current folder, a folder.
    ok = ok && list.class_path_count > 0 && append_class_path(&text, list);
    if (!ok) {
        free(text.text);
        return nullptr;
    }
    return text.text;
}

// Makes one level of the archive folder privately, or takes it when it exists and others
// cannot change it; either way it is held open while the process runs and is no link.
// own_account: whether the process's own account may change it too (a service's; not an
// elevated user's, whose other, unelevated processes share that account).
bool private_level(const char *path, bool own_account)
{
    return create_private_directory(path, own_account) != FOLDER_FAILED &&
           hold_private_directory(path, own_account) == FOLDER_HELD;
}

// The archive folder as a new heap text: for a service, and for a process with rights the
// user's other processes lack (an archive is code it runs), under the machine's private
// program-data folder; otherwise in the user's local application data. Null when it cannot be
// made private.
char *archive_folder(const launcher_settings &settings, const run_guard &guard)
{
    bool privately = guard.guarded;
    bool service = guard.own_account;
    char *path = nullptr;
    if (privately) {
        char *failed;
        bool refused;
        path = private_root_folder(service, &failed, &refused);
        free(failed);
        if (!path)
            return nullptr;
    } else {
        char *base = environment_value("LOCALAPPDATA");
        if (!base || !base[0]) {
            free(base);
            base = temp_directory();
            if (!base)
                return nullptr;
            // The temporary folder ends with a separator; every level after it gets one.
            base[strlen(base) - 1] = '\0';
        }
        path = join_text(base, "\\Trevalo");
        free(base);
        if (!private_level(path, true)) {
            free(path);
            return nullptr;
        }
    }
    const char *levels[] = {privately ? settings.main_class_encoded : nullptr, "class-sharing"};
    for (const char *level : levels) {
        if (!level || !level[0])
            continue;
        char *next = join_text(path, "\\", level);
        free(path);
        path = next;
        if (!private_level(path, service || !privately)) {
            free(path);
            return nullptr;
        }
    }
    return path;
}

uint64_t stamp_time(const file_stamp &stamp)
{
    return (uint64_t)stamp.time_high << 32 | stamp.time_low;
}

// The newest time among the files of files[i]'s key still in: when that archive was last used.
uint64_t last_use(const sharing_file *files, const bool *in, size_t count, size_t i)
{
    uint64_t used = 0;
    for (size_t j = 0; j < count; j++)
        if (in[j] && strncmp(files[j].name, files[i].name, KEY_LENGTH) == 0 &&
            stamp_time(files[j].stamp) > used)
            used = stamp_time(files[j].stamp);
    return used;
}

// Adds path (taken: a heap text) to the files action removes.
void remove_file(class_sharing_action *action, char *path)
{
    action->removed = (char **)must_realloc(action->removed,
                                            ((size_t)action->removed_count + 1) * sizeof(char *));
    action->removed[action->removed_count++] = path;
}

// Removes the archives of the folder not used for UNUSED_LIMIT before now, then the least
// recently used while all take more than CACHE_CAP; the files of key itself stay, but for what
// runs that never finished left behind (".new-"). A folder holds a few archives' files: plain
// loops serve.
void decide_trim(const class_sharing_facts &facts, class_sharing_action *action)
{
    const sharing_file *files = facts.files;
    size_t count = (size_t)facts.file_count;
    bool *in = (bool *)must_alloc(count + 1);
    uint64_t total = 0;
    for (size_t i = 0; i < count; i++) {
        const char *name = files[i].name;
        in[i] = strlen(name) > KEY_LENGTH && name[KEY_LENGTH] == '.' &&
                !(strncmp(name, facts.key, KEY_LENGTH) == 0 && !strstr(name, ".new-"));
        if (in[i])
            total += files[i].stamp.size;
    }
    for (;;) {
        size_t oldest = count;
        uint64_t oldest_use = 0;
        for (size_t i = 0; i < count; i++) {
            uint64_t use = in[i] ? last_use(files, in, count, i) : 0;
            if (in[i] && (oldest == count || use < oldest_use)) {
                oldest = i;
                oldest_use = use;
            }
        }
        if (oldest == count || (oldest_use + UNUSED_LIMIT >= facts.now && total <= CACHE_CAP))
            break;
        const char *prefix = files[oldest].name;
        for (size_t i = 0; i < count; i++) {
            if (!in[i] || strncmp(files[i].name, prefix, KEY_LENGTH) != 0)
                continue;
            remove_file(action, join_text(facts.folder, "\\", files[i].name));
            in[i] = false;
            total -= files[i].stamp.size;
        }
    }
    free(in);
}

// Lists the archive folder's files (not its folders) into facts.
void list_folder(class_sharing_facts *facts)
{
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(facts->folder, &listing, &entry);
    bool opened = step == LISTING_ENTRY;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        if (entry.is_directory)
            continue;
        size_t count = (size_t)facts->file_count;
        facts->files = (sharing_file *)must_realloc(facts->files, (count + 1) * sizeof(sharing_file));
        facts->files[facts->file_count++] = {must_copy(entry.name), entry.stamp};
    }
    if (opened)
        close_directory_listing(listing);
}

// key + suffix in folder, as a new heap text.
char *cache_path(const char *folder, const char *key, const char *suffix)
{
    char *name = join_text(key, suffix);
    char *path = join_text(folder, "\\", name);
    free(name);
    return path;
}

// The fingerprint file's text: the archive's stamp on its first line, then the fingerprint.
char *recorded_text(const char *archive, const char *fingerprint)
{
    string_list text = {};
    string_list_append(&text, "archive");
    append_stamp(&text, archive);
    string_list_append(&text, "\n");
    string_list_append(&text, fingerprint);
    return text.text;
}

bool write_text_file(const char *path, const char *text)
{
    os_file *file = create_file(path);
    if (!file)
        return false;
    bool ok = write_file(file, text, (uint32_t)strlen(text));
    close_file(file);
    return ok;
}

// Adds option (taken: a heap text) to action's options.
void add(class_sharing_action *action, char *option)
{
    action->options[action->option_count++] = option;
}

// Frees what made holds and empties it.
// The texts of a sharing_made.
char *sharing_made::*const made_texts[] = {
    &sharing_made::made, &sharing_made::archive, &sharing_made::fingerprint, &sharing_made::text,
    &sharing_made::java, &sharing_made::lock, &sharing_made::log,
};

void forget(sharing_made *made)
{
    for (char *sharing_made::*text : made_texts)
        free(made->*text);
    *made = {};
}

void forget_pending()
{
    forget(&pending);
}

// The names of a process's temporary files: key, ".new-", the process's number, suffix.
char *temporary_path(const char *folder, const char *key, unsigned process, const char *suffix)
{
    string_list name = {};
    string_list_append(&name, ".new-");
    append_number(&name, process);
    string_list_append(&name, suffix);
    char *path = cache_path(folder, key, name.text);
    free(name.text);
    return path;
}

// The time now as the folder's file system gives it, by a file of this run made there and
// removed; 0 when the folder does not take it (the virtual machine could not write there
// either).
uint64_t folder_time(const char *folder, const char *key, unsigned process)
{
    char *probe = temporary_path(folder, key, process, ".probe");
    os_file *file = create_file(probe);
    file_stamp now = {};
    bool written = file && (close_file(file), read_file_stamp(probe, &now));
    delete_file(probe);
    free(probe);
    return written ? stamp_time(now) : 0;
}

// Whether record is the fingerprint file of the archive there now, made for fingerprint.
bool record_matches(const sharing_record &record, const char *fingerprint)
{
    size_t n = record.stamp ? strlen(record.stamp) : 0;
    return record.recorded && n && strncmp(record.recorded, record.stamp, n) == 0 &&
           strcmp(record.recorded + n, fingerprint) == 0;
}

// Reads the fingerprint file record of the archive at path.
void read_record(const char *path, const char *record, sharing_record *found)
{
    found->recorded = read_text_file(record);
    found->stamp = recorded_text(path, "");
}

// Today's archive (the dynamic archive, or Java 8's): used while its fingerprint matches;
// otherwise, when may_make, the stale one removed and a new one made on this run.
void decide_archive(const class_sharing_facts &facts, sharing_kind kind, bool may_make,
                    class_sharing_action *action)
{
    const char *folder = facts.folder, *key = facts.key;
    char *archive = cache_path(folder, key, ".jsa");
    char *record = cache_path(folder, key, ".fingerprint");
    char *used = cache_path(folder, key, ".used");
    if (record_matches(facts.archive, facts.fingerprint)) {
        if (kind == SHARING_CLASS_LIST)
            add(action, must_copy("-XX:+UnlockDiagnosticVMOptions"));
        add(action, join_text("-XX:SharedArchiveFile=", archive));
        add(action, must_copy("-Xshare:auto"));
        // A new archive is checked once, on its first use.
        if (!facts.archive_used)
            add(action, must_copy("-XX:+VerifySharedSpaces"));
        action->touched = used;
        used = nullptr;
    } else if (may_make) {
        // Stale or missing: the fingerprint goes first, so that the archive is never taken
        // again, then the archive; a new one is made on this run, under a name of this
        // process, so that two instances never write one file.
        remove_file(action, must_copy(record));
        remove_file(action, must_copy(archive));
        remove_file(action, used);
        used = nullptr;
        // The folder must take the file: a virtual machine that cannot write it changes the
        // exit status.
        if (facts.now != 0) {
            char *made = temporary_path(folder, key, facts.process,
                                        kind == SHARING_CLASS_LIST ? ".classlist" : ".jsa");
            decide_trim(facts, action);
            if (kind == SHARING_CLASS_LIST) {
                add(action, join_text("-XX:DumpLoadedClassList=", made));
            } else if (kind == SHARING_AUTO_CREATE) {
                add(action, must_copy("-XX:+AutoCreateSharedArchive"));
                add(action, join_text("-XX:SharedArchiveFile=", made));
            } else {
                add(action, join_text("-XX:ArchiveClassesAtExit=", made));
            }
            // The dump is made by the same virtual machine (client or server) that maps it.
            action->made = {kind, made, archive, record, must_copy(facts.fingerprint),
                            join_text(facts.runtime.root, "\\bin\\java.exe\" -",
                                      facts.runtime.client ? "client" : "server"),
                            nullptr, nullptr};
            archive = record = nullptr;
        }
    }
    free(archive);
    free(record);
    free(used);
}

// --- The ahead-of-time cache. ---
//
// The first run under a fingerprint records the classes the application uses
// (-XX:AOTMode=record) into key.new-<process>.aotconf. Once the application has ended, the
// runtime's java program creates the cache from that record (-XX:AOTMode=create) in a process
// of its own that nobody waits for, as key.new-<process>.aot, holding key.new-<process>.lock
// while it runs; key.new-<process>.request holds the fingerprint the cache is made for. The
// next start finds it complete (its creator ended, the cache whole, the fingerprint still
// this run's), renames it key.aot, writes key.aot-fingerprint last, and uses it; later starts
// pass only -XX:AOTCache. A creation that failed leaves a line in key.aot-log, whose time
// also keeps the next recording at least a day away; meanwhile today's archive serves.

// Options the creating process leaves out: they write files (logs, recordings, dumps), open a
// management port or run commands, which would be done over the application's own. None of
// them changes what the cache holds.
bool left_out_of_creation(const char *option)
{
    static const char *const left_out[] = {
        "-Xlog", "-verbose", "-XX:StartFlight", "-XX:FlightRecorder", "-XX:+FlightRecorder",
        "-XX:ErrorFile", "-XX:HeapDumpPath", "-XX:+HeapDump",
        "-XX:OnError", "-XX:OnOutOfMemory", "-XX:LogFile", "-XX:+LogVMOutput",
        "-XX:+LogCompilation", "-XX:+PerfDataSave", "-XX:PerfDataSave",
        "-Dcom.sun.management.",
    };
    for (const char *prefix : left_out)
        if (starts_with(option, prefix))
            return true;
    return false;
}

// Appends " \"text\"" to command; false when text cannot be quoted so (a double quote in it,
// or a backslash at its end, which would escape the closing one).
bool append_quoted(string_list *command, const char *first, const char *second = "")
{
    char *text = join_text(first, second);
    size_t length = strlen(text);
    bool ok = !strchr(text, '"') && (length == 0 || text[length - 1] != '\\');
    string_list_append(command, " \"");
    string_list_append(command, text);
    string_list_append(command, "\"");
    free(text);
    return ok;
}

// The command that creates the cache made from configuration as made, with the options of
// this run, as a new heap text; null when the runtime's java program could not be given
// them as they are (the program reads its command line in the system's code page, and reads
// JDK_JAVA_OPTIONS, which the recording run never saw).
char *creation_command(const char *root, const char *configuration, const char *made,
                       const jvm_option_list &list)
{
    char *extra = environment_value("JDK_JAVA_OPTIONS");
    bool ok = !extra || !extra[0];
    free(extra);
    string_list command = {};
    string_list_append(&command, "\"");
    string_list_append(&command, root);
    string_list_append(&command, "\\bin\\java.exe\" -XX:AOTMode=create");
    ok = append_quoted(&command, "-XX:AOTConfiguration=", configuration) && ok;
    ok = append_quoted(&command, "-XX:AOTCache=", made) && ok;
    string_list_append(&command, " -Xlog:aot*=off -Xlog:cds*=off");
    for (int i = 0; i < list.count; i++)
        if (!left_out_of_creation(list.options[i]))
            ok = append_quoted(&command, list.options[i]) && ok;
    char *class_path;
    class_path_option(list, false, &class_path);
    if (class_path)
        ok = append_quoted(&command, class_path) && ok;
    free(class_path);
    char *converted = ok ? runtime_option_text(command.text) : nullptr;
    ok = converted != nullptr;
    free(converted);
    if (!ok) {
        free(command.text);
        return nullptr;
    }
    return command.text;
}

// Appends a line to the cache's log: that the cache was not made, and why; null: that this run
// records for a cache.
void note(const char *log, const char *why)
{
    os_file *file = append_to_file(log);
    if (file) {
        char *line = why ? join_text("the ahead-of-time cache was not made: ", why, "\n") : nullptr;
        const char *text = line ? line : "recording the classes for an ahead-of-time cache\n";
        write_file(file, text, (uint32_t)strlen(text));
        free(line);
        close_file(file);
    }
}

// The cache at path is whole: its creator writes the header, which opens with the archive's
// magic number (0xf00baba2, little-endian), only after everything else.
bool cache_complete(const char *path)
{
    unsigned char magic[4];
    return read_file_part(path, 0, magic, 4) == 4 && little_endian(magic, 4) == 0xF00BABA2u;
}

// The ahead-of-time cache's files of one key.
struct ahead_names {
    char *cache, *record, *used, *log;
};

// Gives the complete cache made the cache's name and writes its fingerprint, last and under a
// temporary name too; today's archive of the key goes, as the cache replaces it.
bool promote(const ahead_names &names, const char *made, const char *folder, const char *key,
             const char *fingerprint)
{
    delete_file(names.record);
    if (!replace_file(made, names.cache))
        return false;
    char *text = recorded_text(names.cache, fingerprint);
    char *written = join_text(names.record, ".new");
    bool ok = write_text_file(written, text) && replace_file(written, names.record);
    if (!ok)
        delete_file(written);
    free(written);
    free(text);
    delete_file(names.log);
    static const char *const today[] = {".fingerprint", ".jsa", ".used"};
    for (const char *suffix : today) {
        char *path = cache_path(folder, key, suffix);
        delete_file(path);
        free(path);
    }
    return ok;
}

// Completes the creations of key that have ended: the first whole cache made for fingerprint
// becomes the key's cache (true); the files of each other go, a line in the log telling of a
// creation for this fingerprint that failed. *running: a creation started less than a day
// before now still runs.
bool complete_creations(const ahead_names &names, const char *folder, const char *key,
                        const char *fingerprint, uint64_t now, bool *running)
{
    bool promoted = false;
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(folder, &listing, &entry);
    bool opened = step == LISTING_ENTRY;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        if (entry.is_directory || strncmp(entry.name, key, KEY_LENGTH) != 0 ||
            !starts_with(entry.name + KEY_LENGTH, ".new-") || !ends_with(entry.name, ".request"))
            continue;
        // key.new-<process>.request -> key.new-<process>
        entry.name[strlen(entry.name) - strlen(".request")] = '\0';
        char *base = join_text(folder, "\\", entry.name);
        char *request = join_text(base, ".request");
        char *lock = join_text(base, ".lock");
        char *claimed = join_text(base, ".claimed");
        if (background_process_running(lock)) {
            *running = *running || stamp_time(entry.stamp) + RETRY_AFTER > now;
        } else if (replace_file(request, claimed)) {
            // Claimed by renaming it, so that of two starts at once only one goes on.
            char *made = join_text(base, ".aot");
            char *configuration = join_text(base, ".aotconf");
            char *text = read_text_file(claimed);
            bool complete = false;
            if (text && strcmp(text, fingerprint) == 0 && !promoted) {
                complete = cache_complete(made);
                promoted = complete && promote(names, made, folder, key, fingerprint);
                if (!complete)
                    note(names.log, "its creation ended without it");
            }
            // A whole cache that could not take the name (the old one is mapped by a running
            // instance) waits for a later start.
            if (complete && !promoted) {
                replace_file(claimed, request);
            } else {
                const char *left[] = {made, configuration, claimed, lock};
                for (const char *path : left)
                    delete_file(path);
            }
            free(text);
            free(configuration);
            free(made);
        }
        free(claimed);
        free(lock);
        free(request);
        free(base);
    }
    if (opened)
        close_directory_listing(listing);
    return promoted;
}

enum ahead_step {
    AHEAD_USED,        // the cache is mapped
    AHEAD_RECORDING,   // this run records the classes for a cache
    AHEAD_CREATING,    // a cache is being made: today's archive only when it is current
    AHEAD_UNAVAILABLE, // no cache on this run: today's archive serves
};

ahead_names ahead_names_of(const char *folder, const char *key)
{
    return {cache_path(folder, key, ".aot"), cache_path(folder, key, ".aot-fingerprint"),
            cache_path(folder, key, ".aot-used"), cache_path(folder, key, ".aot-log")};
}

void free_ahead_names(ahead_names *names)
{
    free(names->cache);
    free(names->record);
    free(names->used);
    free(names->log);
}

// What the ahead-of-time cache does on this run, and its part of action.
ahead_step decide_ahead(const class_sharing_facts &facts, class_sharing_action *action)
{
    const char *folder = facts.folder, *key = facts.key;
    ahead_names names = ahead_names_of(folder, key);
    ahead_step step = AHEAD_UNAVAILABLE;
    if (facts.cache_promoted || record_matches(facts.cache, facts.fingerprint)) {
        add(action, join_text("-XX:AOTCache=", names.cache));
        // A cache is used read-only: this file's time tells when it was last used.
        action->touched = names.used;
        names.used = nullptr;
        step = AHEAD_USED;
    } else if (facts.creation_running) {
        step = AHEAD_CREATING;
    } else if (facts.now != 0 && facts.creation &&
               !(facts.last_attempt != 0 && facts.last_attempt + RETRY_AFTER > facts.now)) {
        // The stale cache goes, its fingerprint first. The log dates this attempt: until its
        // cache is made, the next recording waits a day.
        remove_file(action, names.record);
        remove_file(action, names.cache);
        remove_file(action, names.used);
        decide_trim(facts, action);
        action->noted = must_copy(names.log);
        char *configuration = temporary_path(folder, key, facts.process, ".aotconf");
        add(action, must_copy("-XX:AOTMode=record"));
        add(action, join_text("-XX:AOTConfiguration=", configuration));
        action->made = {SHARING_AHEAD,
                        configuration,
                        temporary_path(folder, key, facts.process, ".aot"),
                        temporary_path(folder, key, facts.process, ".request"),
                        must_copy(facts.fingerprint),
                        must_copy(facts.creation),
                        temporary_path(folder, key, facts.process, ".lock"),
                        names.log};
        names = {};
        step = AHEAD_RECORDING;
    }
    free_ahead_names(&names);
    return step;
}

// The ahead-of-time cache's facts: whether its fingerprint matches; if not, the creations
// ended completed (one may make it current), whether one still runs, when one was last tried,
// and the command a new one would take.
void gather_ahead(const jvm_option_list &list, class_sharing_facts *facts)
{
    const char *folder = facts->folder, *key = facts->key;
    ahead_names names = ahead_names_of(folder, key);
    read_record(names.cache, names.record, &facts->cache);
    if (!record_matches(facts->cache, facts->fingerprint)) {
        facts->now = folder_time(folder, key, facts->process);
        if (facts->now != 0)
            facts->cache_promoted = complete_creations(names, folder, key, facts->fingerprint,
                                                       facts->now, &facts->creation_running);
        file_stamp tried;
        if (read_file_stamp(names.log, &tried))
            facts->last_attempt = stamp_time(tried);
        if (facts->now != 0 && !facts->cache_promoted && !facts->creation_running) {
            char *configuration = temporary_path(folder, key, facts->process, ".aotconf");
            char *made = temporary_path(folder, key, facts->process, ".aot");
            facts->creation = creation_command(facts->runtime.root, configuration, made, list);
            free(configuration);
            free(made);
        }
    }
    free_ahead_names(&names);
}

// Once the recording run has ended: starts the creation of the cache from its record, which
// nobody waits for; a run that recorded nothing, or whose creation cannot start, leaves a line
// in the log.
void start_creation()
{
    file_stamp stamp;
    bool recorded = read_file_stamp(pending.made, &stamp) && !stamp.is_directory && stamp.size > 0;
    bool started = recorded && write_text_file(pending.fingerprint, pending.text) &&
                   start_background_process(pending.java, pending.lock);
    if (!started) {
        delete_file(pending.made);
        delete_file(pending.fingerprint);
        note(pending.log, recorded ? "its creation could not start"
                                   : "the recording run wrote nothing");
    }
}

} // namespace

void gather_class_sharing_facts(const launcher_settings &settings, const char *library,
                                const run_guard &guard, const jvm_option_list &list,
                                class_sharing_facts *facts)
{
    *facts = {};
    facts->off = strcasecmp(settings.class_sharing, "off") == 0;
    if (facts->off)
        return;
    read_sharing_runtime(library, &facts->runtime);
    sharing_kind kind = sharing_kind_of(facts->runtime);
    bool ahead = records_ahead(facts->runtime);
    if (kind == SHARING_NONE && !ahead)
        return;
    facts->fingerprint = make_fingerprint(library, facts->runtime, kind == SHARING_CLASS_LIST,
                                          list);
    if (facts->fingerprint)
        facts->folder = archive_folder(settings, guard);
    if (!facts->folder)
        return;
    // Two applications, or one on two runtimes, never share a name.
    char *self = executable_path();
    char *application = join_text(self ? self : "", "\n", settings.main_class_encoded);
    char *identity = join_text(application, "\n", library);
    free(application);
    free(self);
    string_list key_text = {};
    append_number(&key_text, archive_hash((const unsigned char *)identity, strlen(identity)));
    memcpy(facts->key, key_text.text, sizeof facts->key);
    free(key_text.text);
    free(identity);
    facts->process = process_id();
    if (ahead)
        gather_ahead(list, facts);
    bool cached = facts->cache_promoted || record_matches(facts->cache, facts->fingerprint);
    if (kind != SHARING_NONE && !cached) {
        // Today's archive, unless the cache serves: read after the caches' creations are
        // completed, as a cache made current removes it.
        char *archive = cache_path(facts->folder, facts->key, ".jsa");
        char *record = cache_path(facts->folder, facts->key, ".fingerprint");
        char *used = cache_path(facts->folder, facts->key, ".used");
        read_record(archive, record, &facts->archive);
        facts->archive_used = path_attributes(used) == 0;
        if (!ahead && !record_matches(facts->archive, facts->fingerprint))
            facts->now = folder_time(facts->folder, facts->key, facts->process);
        free(archive);
        free(record);
        free(used);
    }
    // What the folder holds, when this start may make an archive and trim the others.
    if (facts->now != 0 && !cached)
        list_folder(facts);
}

void free_class_sharing_facts(class_sharing_facts *facts)
{
    char *texts[] = {facts->fingerprint, facts->folder, facts->cache.recorded,
                     facts->cache.stamp, facts->creation, facts->archive.recorded,
                     facts->archive.stamp};
    for (char *text : texts)
        free(text);
    for (int i = 0; i < facts->file_count; i++)
        free(facts->files[i].name);
    free(facts->files);
    *facts = {};
}

void decide_class_sharing(const class_sharing_facts &facts, class_sharing_action *action)
{
    *action = {};
    sharing_kind kind = sharing_kind_of(facts.runtime);
    bool ahead = records_ahead(facts.runtime);
    if (facts.off || (kind == SHARING_NONE && !ahead) || !facts.fingerprint || !facts.folder)
        return;
    ahead_step step = ahead ? decide_ahead(facts, action) : AHEAD_UNAVAILABLE;
    if (kind != SHARING_NONE && (step == AHEAD_UNAVAILABLE || step == AHEAD_CREATING))
        decide_archive(facts, kind, step == AHEAD_UNAVAILABLE, action);
    // What the virtual machine logs about archives would be the application's output.
    if (action->option_count > 0 && kind != SHARING_CLASS_LIST) {
        add(action, must_copy("-Xlog:cds*=off"));
        if (facts.runtime.version.part[0] >= 24)
            add(action, must_copy("-Xlog:aot*=off"));
    }
}

void plan_class_sharing(const launcher_settings &settings, const char *library,
                        const run_guard &guard, jvm_option_list *list,
                        class_sharing_action *action)
{
    class_sharing_facts facts;
    gather_class_sharing_facts(settings, library, guard, *list, &facts);
    decide_class_sharing(facts, action);
    free_class_sharing_facts(&facts);
    // A path the runtime cannot read in its code page (a file not made yet has no short form)
    // would fail the start: then no sharing.
    static const char configuration_option[] = "-XX:AOTConfiguration=";
    for (int i = 0; i < action->option_count; i++) {
        char *converted = runtime_option(action->options[i]);
        if (!converted) {
            for (int j = 0; j < action->option_count; j++)
                free(action->options[j]);
            action->option_count = 0;
            forget(&action->made);
            free(action->remark);
            action->remark = nullptr;
        } else if (starts_with(converted, configuration_option)) {
            // As the virtual machine prints it: "%s AOTConfiguration recorded: %s", with an
            // empty first text when the configuration is the one named.
            action->remark = join_text(" AOTConfiguration recorded: ",
                                       converted + sizeof configuration_option - 1, "\n");
        }
        free(converted);
    }
    int count = action->option_count;
    if (count == 0)
        return;
    char **merged = (char **)must_alloc(((size_t)list->count + (size_t)count + 1) * sizeof(char *));
    for (int i = 0; i < count; i++)
        merged[i] = must_copy(action->options[i]);
    if (list->count)
        memcpy(merged + count, list->options, (size_t)list->count * sizeof(char *));
    free(list->options);
    list->options = merged;
    list->count += count;
}

void carry_out_class_sharing(const class_sharing_action &action)
{
    for (int i = 0; i < action.removed_count; i++)
        delete_file(action.removed[i]);
    if (action.noted)
        note(action.noted, nullptr);
    if (action.touched) {
        os_file *touched = create_file(action.touched);
        if (touched)
            close_file(touched);
    }
    free(recording_remark);
    recording_remark = action.remark ? must_copy(action.remark) : nullptr;
    if (action.made.kind != SHARING_NONE) {
        // Kept for finish_class_sharing, which the virtual machine's exit hook also runs.
        forget_pending();
        finished = false;
        pending.kind = action.made.kind;
        for (char *sharing_made::*text : made_texts)
            pending.*text = action.made.*text ? must_copy(action.made.*text) : nullptr;
    }
}

void free_class_sharing_action(class_sharing_action *action)
{
    for (int i = 0; i < action->option_count; i++)
        free(action->options[i]);
    for (int i = 0; i < action->removed_count; i++)
        free(action->removed[i]);
    free(action->removed);
    free(action->noted);
    free(action->touched);
    forget(&action->made);
    free(action->remark);
    *action = {};
}

bool is_class_sharing_remark(const char *text)
{
    const char *remark = recording_remark;
    return remark && strcmp(text, remark) == 0;
}

void finish_class_sharing()
{
    if (!pending.made || finished.exchange(true))
        return;
    if (pending.kind == SHARING_AHEAD) {
        start_creation();
        forget_pending();
        return;
    }
    file_stamp stamp;
    bool made = read_file_stamp(pending.made, &stamp) && !stamp.is_directory && stamp.size > 0;
    char *archive = nullptr;
    if (made && pending.kind == SHARING_CLASS_LIST) {
        // The runtime's own java program dumps the classes of the list, in another process.
        archive = join_text(pending.made, ".jsa");
        string_list command = {};
        // The diagnostic option is the text the run's own list of options adds, kept once.
        const char *parts[] = {"\"", pending.java, " -Xshare:dump ",
                               "-XX:+UnlockDiagnosticVMOptions", " \"-XX:SharedClassListFile=",
                               pending.made, "\" \"-XX:SharedArchiveFile=", archive, "\""};
        for (const char *part : parts)
            string_list_append(&command, part);
        made = run_process(command.text) == 0 && read_file_stamp(archive, &stamp) &&
               stamp.size > 0;
        free(command.text);
        delete_file(pending.made);
    }
    const char *complete = archive ? archive : pending.made;
    if (made && replace_file(complete, pending.archive)) {
        // The fingerprint is written only now, and under a temporary name too: a fingerprint
        // file always stands beside the complete archive it describes.
        char *text = recorded_text(pending.archive, pending.text);
        char *written = join_text(pending.fingerprint, ".new");
        if (!write_text_file(written, text) || !replace_file(written, pending.fingerprint))
            delete_file(written);
        // Another instance may have replaced the archive meanwhile: then this fingerprint
        // does not describe it, and goes.
        char *now = recorded_text(pending.archive, pending.text);
        if (strcmp(now, text) != 0)
            delete_file(pending.fingerprint);
        free(now);
        free(written);
        free(text);
    } else {
        delete_file(complete);
    }
    free(archive);
    forget_pending();
}
