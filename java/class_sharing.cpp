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
#include "os/os.h"

namespace {

// How a runtime makes and maps an archive of the application's classes.
enum sharing_kind {
    SHARING_NONE,
    SHARING_CLASS_LIST,  // Java 8: a class list on one run, then "java -Xshare:dump"
    SHARING_AT_EXIT,     // 13 to 18: -XX:ArchiveClassesAtExit
    SHARING_AUTO_CREATE, // 19 and later: -XX:+AutoCreateSharedArchive
};

// Archives not used for this long are removed, and the oldest beyond the cap: a FILETIME
// counts 100 ns steps.
const uint64_t UNUSED_LIMIT = 60ULL * 24 * 3600 * 10000000;
const uint64_t CACHE_CAP = 1024ULL * 1024 * 1024;
// A class-path jar's central directory is hashed whole; a larger one is not shared.
const uint32_t LARGEST_DIRECTORY = 64u * 1024 * 1024;
// The name of an archive's files: 16 hexadecimal digits, then a suffix.
const size_t KEY_LENGTH = 16;

// The runtime as sharing sees it.
struct runtime_facts {
    sharing_kind kind;
    unsigned feature;     // the Java feature version
    char root[PATH_SIZE]; // the runtime's top folder (bin, lib, release)
};

// What this run makes, for finish_class_sharing.
struct pending_archive {
    sharing_kind kind;
    char *made;        // the file the virtual machine writes (the class list on Java 8)
    char *archive;     // the archive's own name
    char *fingerprint; // the fingerprint file's name
    char *text;        // the fingerprint
    char *java;        // Java 8: the runtime's java program and the virtual machine to dump
};

// Kept here, not handed along: finish_class_sharing also runs from the virtual machine's exit
// hook, which carries no pointer of the launcher's; finished lets it run once.
pending_archive pending;
std::atomic<bool> finished;

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

// How library's runtime shares classes: a HotSpot library ("server" or "client" folder) whose
// release file gives the version, with the base archive beside it (13 and later) or rt.jar
// (Java 8, from 8u40).
runtime_facts runtime_of(const char *library)
{
    runtime_facts facts = {};
    char folder[PATH_SIZE], bin[PATH_SIZE];
    if (!parent_folder(library, folder, sizeof folder) ||
        !(ends_with(folder, "server") || ends_with(folder, "client")) ||
        !parent_folder(folder, bin, sizeof bin) || !parent_folder(bin, facts.root, sizeof facts.root))
        return facts;
    java_version version;
    if (!read_release_version(facts.root, &version)) {
        // A Java 8 development kit: jre\bin\server\jvm.dll, its release file a level up.
        char kit[PATH_SIZE];
        if (!ends_with(facts.root, "jre") || !parent_folder(facts.root, kit, sizeof kit) ||
            !read_release_version(kit, &version))
            return facts;
    }
    facts.feature = version.part[0];
    char *check = nullptr;
    if (facts.feature == 8 && version.part[2] >= 40) {
        check = join_text(facts.root, "\\lib\\rt.jar");
        facts.kind = SHARING_CLASS_LIST;
    } else if (facts.feature >= 15) {
        // Before 19, a creating run whose base archive cannot be mapped ends the process: both
        // base archives must be there (runtimes for 32 bits, which have one, can fail to map
        // it; 13 and 14 have no archive for heaps without compressed pointers).
        check = join_text(folder, facts.feature >= 19 ? "\\classes.jsa" : "\\classes_nocoops.jsa");
        facts.kind = facts.feature >= 19 ? SHARING_AUTO_CREATE : SHARING_AT_EXIT;
    }
    if (check && path_attributes(check) != 0)
        facts.kind = SHARING_NONE;
    free(check);
    char *base = join_text(folder, "\\classes.jsa");
    if (facts.kind != SHARING_CLASS_LIST && path_attributes(base) != 0)
        facts.kind = SHARING_NONE;
    free(base);
    return facts;
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

// Appends each class-path entry of value (";"-separated) with its stamp and the hash of its
// central directory. False when an entry is a folder (the virtual machine refuses to archive
// with a non-empty one, and cannot check its classes) or a file that is not a jar.
bool append_class_path(string_list *text, const char *value)
{
    char *entries = must_copy(value);
    char *cursor = nullptr;
    bool ok = true, relative = false;
    while (char *entry = next_token(entries, ";", &cursor)) {
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
    free(entries);
    // A relative entry names another file from another current directory.
    char directory[PATH_SIZE];
    if (ok && relative) {
        ok = get_current_directory(directory, sizeof directory);
        string_list_append(text, "directory ");
        string_list_append(text, ok ? directory : "");
        string_list_append(text, "\n");
    }
    return ok;
}

// The fingerprint of this run as a new heap text; null when sharing cannot serve it.
char *make_fingerprint(const char *library, const runtime_facts &facts, int count,
                       char **options)
{
    string_list text = {};
    string_list_append(&text, "trevalo class sharing 1\nruntime ");
    string_list_append(&text, library);
    append_stamp(&text, library);
    string_list_append(&text, "\n");
    char folder[PATH_SIZE];
    parent_folder(library, folder, sizeof folder);
    // What the archive is made on top of: the runtime's base archives and class library, or
    // Java 8's boot class path, whose change ends the process at the next start.
    static const char *const modular[] = {"\\classes.jsa", "\\classes_nocoops.jsa",
                                          "\\lib\\modules", nullptr};
    static const char *const boot[] = {"\\lib\\rt.jar", "\\lib\\resources.jar",
                                       "\\lib\\jsse.jar", "\\lib\\jce.jar",
                                       "\\lib\\charsets.jar", "\\lib\\jfr.jar",
                                       "\\lib\\sunrsasign.jar", nullptr};
    bool java8 = facts.kind == SHARING_CLASS_LIST;
    for (const char *const *base = java8 ? boot : modular; *base; base++) {
        // "\lib\..." is in the runtime's top folder, the rest beside the library.
        char *path = join_text(starts_with(*base, "\\lib\\") ? facts.root : folder, *base);
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
    static const char class_path_option[] = "-Djava.class.path=";
    const char *class_path = nullptr;
    bool ok = true;
    for (int i = 0; i < count && ok; i++) {
        ok = option_allows_sharing(options[i]);
        if (starts_with(options[i], class_path_option)) {
            class_path = options[i] + sizeof class_path_option - 1;
            continue;
        }
        string_list_append(&text, "option ");
        string_list_append(&text, options[i]);
        string_list_append(&text, "\n");
    }
    // Without a class path the virtual machine takes the current folder, a folder.
    ok = ok && class_path && append_class_path(&text, class_path);
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
char *archive_folder(const launcher_settings &settings, bool service)
{
    bool privately = service || process_is_elevated();
    char base[PATH_SIZE];
    char *user = privately ? nullptr : environment_value("LOCALAPPDATA");
    bool found = false;
    if (privately) {
        found = program_data_directory(base, sizeof base);
    } else if (user && user[0] && strlen(user) + 2 < sizeof base) {
        size_t length = strlen(user);
        memcpy(base, user, length);
        memcpy(base + length, "\\", 2);
        found = true;
    } else {
        found = temp_directory(base, sizeof base);
    }
    free(user);
    if (!found)
        return nullptr;
    const char *levels[] = {"Trevalo", privately ? settings.main_class_encoded : nullptr,
                            "class-sharing"};
    // The base ends with a separator; every level after it gets one.
    base[strlen(base) - 1] = '\0';
    char *path = must_copy(base);
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

struct cached_file {
    char *name; // null once removed
    file_stamp stamp;
};

// The newest time among the files of files[i]'s key: when that archive was last used.
uint64_t last_use(const cached_file *files, size_t count, size_t i)
{
    uint64_t used = 0;
    for (size_t j = 0; j < count; j++)
        if (files[j].name && strncmp(files[j].name, files[i].name, KEY_LENGTH) == 0 &&
            stamp_time(files[j].stamp) > used)
            used = stamp_time(files[j].stamp);
    return used;
}

// Removes the archives of folder not used for UNUSED_LIMIT before now, then the least recently
// used while all take more than CACHE_CAP; the files of key itself stay, but for what runs that
// never finished left behind. A folder holds a few archives' files: plain loops serve.
void trim_cache(const char *folder, const char *key, uint64_t now)
{
    cached_file *files = nullptr;
    size_t count = 0;
    uint64_t total = 0;
    directory_listing *listing;
    directory_entry entry;
    listing_step step = open_directory_listing(folder, &listing, &entry);
    bool opened = step == LISTING_ENTRY;
    for (; step == LISTING_ENTRY; step = next_directory_entry(listing, &entry)) {
        // Of key's own files, only what runs that never finished left (".new-").
        if (entry.is_directory || strlen(entry.name) <= KEY_LENGTH ||
            entry.name[KEY_LENGTH] != '.' ||
            (strncmp(entry.name, key, KEY_LENGTH) == 0 && !strstr(entry.name, ".new-")))
            continue;
        files = (cached_file *)must_realloc(files, (count + 1) * sizeof *files);
        files[count++] = {must_copy(entry.name), entry.stamp};
        total += entry.stamp.size;
    }
    if (opened)
        close_directory_listing(listing);
    for (;;) {
        size_t oldest = count;
        uint64_t oldest_use = 0;
        for (size_t i = 0; i < count; i++) {
            uint64_t use = files[i].name ? last_use(files, count, i) : 0;
            if (files[i].name && (oldest == count || use < oldest_use)) {
                oldest = i;
                oldest_use = use;
            }
        }
        if (oldest == count || (oldest_use + UNUSED_LIMIT >= now && total <= CACHE_CAP))
            break;
        char prefix[KEY_LENGTH];
        memcpy(prefix, files[oldest].name, KEY_LENGTH);
        for (size_t i = 0; i < count; i++) {
            if (!files[i].name || strncmp(files[i].name, prefix, KEY_LENGTH) != 0)
                continue;
            char *path = join_text(folder, "\\", files[i].name);
            delete_file(path);
            free(path);
            free(files[i].name);
            files[i].name = nullptr;
            total -= files[i].stamp.size;
        }
    }
    for (size_t i = 0; i < count; i++)
        free(files[i].name);
    free(files);
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

// Sharing's own options of this run, at most six.
struct added_options {
    char *option[6];
    int count;
};

void add(added_options *added, char *option)
{
    added->option[added->count++] = option;
}

// Puts the added options before the count options of *options.
void insert_options(const added_options &added, int *count, char ***options)
{
    if (added.count == 0)
        return;
    char **merged = (char **)must_alloc(((size_t)*count + (size_t)added.count + 1) * sizeof(char *));
    memcpy(merged, added.option, (size_t)added.count * sizeof(char *));
    memcpy(merged + added.count, *options, (size_t)*count * sizeof(char *));
    free(*options);
    *options = merged;
    *count += added.count;
}

void forget_pending()
{
    free(pending.made);
    free(pending.archive);
    free(pending.fingerprint);
    free(pending.text);
    free(pending.java);
    pending = {};
}

} // namespace

void add_class_sharing_options(const launcher_settings &settings, const char *library,
                               bool service, int *count, char ***options)
{
    if (strcasecmp(settings.class_sharing, "off") == 0)
        return;
    runtime_facts facts = runtime_of(library);
    char library_folder[PATH_SIZE];
    if (facts.kind == SHARING_NONE || !parent_folder(library, library_folder, sizeof library_folder))
        return;
    char *fingerprint = make_fingerprint(library, facts, *count, *options);
    if (!fingerprint)
        return;
    char *folder = archive_folder(settings, service);
    if (!folder) {
        free(fingerprint);
        return;
    }

    // Two applications, or one on two runtimes, never share a name.
    char self[PATH_SIZE];
    if (!executable_path(self, sizeof self))
        self[0] = '\0';
    char *identity = join_text(self, "\n", settings.main_class_encoded);
    char *full_identity = join_text(identity, "\n", library);
    string_list key_text = {};
    append_number(&key_text, archive_hash((const unsigned char *)full_identity,
                                          strlen(full_identity)));
    char *key = key_text.text;
    free(identity);
    free(full_identity);

    char *archive = cache_path(folder, key, ".jsa");
    char *record = cache_path(folder, key, ".fingerprint");
    char *used = cache_path(folder, key, ".used");
    char *expected = recorded_text(archive, fingerprint);
    char *recorded = read_text_file(record);
    bool current = recorded && strcmp(recorded, expected) == 0;
    free(recorded);
    free(expected);

    added_options added = {};
    if (current) {
        // A new archive is checked once, on its first use.
        bool first_use = path_attributes(used) != 0;
        if (facts.kind == SHARING_CLASS_LIST)
            add(&added, must_copy("-XX:+UnlockDiagnosticVMOptions"));
        add(&added, join_text("-XX:SharedArchiveFile=", archive));
        add(&added, must_copy("-Xshare:auto"));
        if (first_use)
            add(&added, must_copy("-XX:+VerifySharedSpaces"));
        os_file *touched = create_file(used);
        if (touched)
            close_file(touched);
    } else {
        // Stale or missing: the fingerprint goes first, so that the archive is never taken
        // again, then the archive; a new one is made on this run, under a name of this
        // process, so that two instances never write one file.
        delete_file(record);
        delete_file(archive);
        delete_file(used);
        string_list suffix = {};
        string_list_append(&suffix, ".new-");
        append_number(&suffix, process_id());
        string_list_append(&suffix, facts.kind == SHARING_CLASS_LIST ? ".classlist" : ".jsa");
        char *made = cache_path(folder, key, suffix.text);
        free(suffix.text);
        // The folder must take the file: a virtual machine that cannot write it changes the
        // exit status.
        os_file *probe = create_file(made);
        file_stamp now = {};
        bool writable = probe && (close_file(probe), read_file_stamp(made, &now));
        delete_file(made);
        if (writable) {
            trim_cache(folder, key, stamp_time(now));
            if (facts.kind == SHARING_CLASS_LIST) {
                add(&added, join_text("-XX:DumpLoadedClassList=", made));
            } else {
                if (facts.kind == SHARING_AUTO_CREATE) {
                    add(&added, must_copy("-XX:+AutoCreateSharedArchive"));
                    add(&added, join_text("-XX:SharedArchiveFile=", made));
                } else {
                    add(&added, join_text("-XX:ArchiveClassesAtExit=", made));
                }
            }
            forget_pending();
            finished = false;
            pending.kind = facts.kind;
            pending.made = made;
            pending.archive = must_copy(archive);
            pending.fingerprint = must_copy(record);
            pending.text = must_copy(fingerprint);
            // The dump is made by the same virtual machine (client or server) that maps it.
            pending.java = join_text(facts.root, "\\bin\\java.exe\" -",
                                     ends_with(library_folder, "client") ? "client" : "server");
            made = nullptr;
        }
        free(made);
    }
    // What the virtual machine logs about archives would be the application's output.
    if (added.count > 0 && facts.kind != SHARING_CLASS_LIST) {
        add(&added, must_copy("-Xlog:cds*=off"));
        if (facts.feature >= 24)
            add(&added, must_copy("-Xlog:aot*=off"));
    }
    // A path the runtime cannot read in its code page (a file not made yet has no short form)
    // would fail the start: then no sharing.
    for (int i = 0; i < added.count; i++) {
        char *converted = runtime_option(added.option[i]);
        if (!converted) {
            for (int j = 0; j < added.count; j++)
                free(added.option[j]);
            added.count = 0;
            forget_pending();
        }
        free(converted);
    }
    insert_options(added, count, options);
    free(archive);
    free(record);
    free(used);
    free(key);
    free(folder);
    free(fingerprint);
}

void finish_class_sharing()
{
    if (!pending.made || finished.exchange(true))
        return;
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
