// The builder's file seam on POSIX systems (Linux): plain system calls.
#include "builder/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

const char PATH_SEPARATOR = '/';

namespace {

// Seconds from 1601-01-01 (FILETIME's start) to 1970-01-01 (the Unix epoch).
const int64_t SECONDS_1601_TO_1970 = 11644473600;

std::string reason(const std::string &what, const std::string &path)
{
    return "cannot " + what + " " + path + ": " + strerror(errno);
}

// st_mtim as a FILETIME, exactly as Windows builders (and Wine, for the same files) see it: the
// seconds since 1601 in 100 ns units, plus the nanoseconds cut to whole 100 ns.
uint64_t filetime_of(const struct timespec &t)
{
    int64_t seconds = (int64_t)t.tv_sec + SECONDS_1601_TO_1970;
    if (seconds < 0)
        return 0;
    return (uint64_t)seconds * 10000000u + (uint64_t)t.tv_nsec / 100;
}

bool write_all(int fd, const unsigned char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

} // namespace

std::vector<std::string> program_arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + (argc > 0), argv + argc);
}

// Whether a file system is one of the system's made-up ones (/proc, /sys), whose files say
// they are regular with no size and give whatever the system makes up as they are read.
static bool is_system_table(const struct statfs &facts)
{
    return facts.f_type == 0x9fa0          // PROC_SUPER_MAGIC
           || facts.f_type == 0x62656572;  // SYSFS_MAGIC
}

static bool is_system_table(int fd)
{
    struct statfs facts;
    return fstatfs(fd, &facts) == 0 && is_system_table(facts);
}

bool file_stat(const std::string &path, file_facts *facts, std::string *error)
{
    struct stat s;
    if (stat(path.c_str(), &s) != 0) {
        *error = reason("read", path);
        return false;
    }
    facts->folder = S_ISDIR(s.st_mode);
    struct statfs system;
    facts->regular = S_ISREG(s.st_mode) &&
                     !(statfs(path.c_str(), &system) == 0 && is_system_table(system));
    facts->size = facts->folder ? 0 : (uint64_t)s.st_size;
    facts->write_time = filetime_of(s.st_mtim);
    return true;
}

bool read_whole_file(const std::string &path, std::string *content, std::string *error)
{
    // Without waiting: a pipe would block the open until something writes to it.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = reason("read", path);
        return false;
    }
    struct stat s;
    bool ok = fstat(fd, &s) == 0;
    if (!ok) {
        *error = reason("read", path);
    } else if (S_ISDIR(s.st_mode)) {
        *error = "cannot read " + path + ": it is a folder";
        ok = false;
    } else if (!S_ISREG(s.st_mode)) {
        *error = "cannot read " + path + ": it is not a regular file (a device, pipe or socket)";
        ok = false;
    } else if (is_system_table(fd)) {
        *error = "cannot read " + path + ": it is not a regular file (the system's view of a "
                 "process or device)";
        ok = false;
    } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        *error = reason("read", path);
        ok = false;
    } else if ((uint64_t)s.st_size > MAX_INPUT_SIZE) {
        *error = "cannot read " + path + ": it has " + std::to_string((uint64_t)s.st_size) +
                 " bytes, more than the 2 GB a Windows program may have";
        ok = false;
    }
    content->clear();
    if (ok)
        content->reserve((size_t)s.st_size);
    char buffer[65536];
    while (ok) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = reason("read", path);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (content->size() + (size_t)n > (size_t)s.st_size) {
            // More than its size: no file kept on a disk (one that grows while it is read, or
            // a view the system makes up as it is read).
            *error = "cannot read " + path + ": it is not a regular file (it grows as it is read)";
            ok = false;
        } else if (content->size() + (size_t)n > MAX_INPUT_SIZE) {
            // A file that grows while it is read.
            *error = "cannot read " + path + ": it has more than the 2 GB a Windows program "
                     "may have";
            ok = false;
        } else {
            content->append(buffer, (size_t)n);
        }
    }
    close(fd);
    return ok;
}

bool list_plain_files(const std::string &folder, std::vector<std::string> *names,
                      std::string *error)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        *error = reason("list", folder);
        return false;
    }
    names->clear();
    errno = 0;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        struct stat s;
        // What a link leads to counts, as Windows follows links when it reads a file.
        if (name != "." && name != ".." && stat((folder + "/" + name).c_str(), &s) == 0 &&
            !S_ISDIR(s.st_mode))
            names->push_back(name);
        errno = 0;
    }
    bool ok = errno == 0;
    if (!ok)
        *error = reason("list", folder);
    closedir(dir);
    return ok;
}

bool write_file_replacing(const std::string &path, const unsigned char *data, size_t size,
                          std::string *error, uint64_t write_time)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + (slash == 0));
    std::string temp = folder + "/.trevalo-build-XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        *error = reason("create a file in", folder);
        return false;
    }
    // mkstemp makes the file private to its owner; the launcher gets what any new file gets.
    mode_t mask = umask(0);
    umask(mask);
    // A FILETIME counts 100 ns from 1601; Unix time seconds from 1970.
    const uint64_t UNIX_EPOCH = 116444736000000000ull;
    struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (write_time >= UNIX_EPOCH) {
        times[1].tv_sec = (time_t)((write_time - UNIX_EPOCH) / 10000000);
        times[1].tv_nsec = (long)((write_time - UNIX_EPOCH) % 10000000 * 100);
    }
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && write_all(fd, data, size) && fsync(fd) == 0 &&
              (write_time < UNIX_EPOCH || futimens(fd, times) == 0);
    if (!ok)
        *error = reason("write", temp);
    if (close(fd) != 0 && ok) {
        *error = reason("write", temp);
        ok = false;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        *error = reason("write", path);
        ok = false;
    }
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

bool write_standard_output(const std::string &text, std::string *error)
{
    if (fwrite(text.data(), 1, text.size(), stdout) == text.size())
        return true;
    *error = reason("write to", "standard output");
    return false;
}

bool make_folder(const std::string &path, std::string *error)
{
    struct stat facts;
    if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && stat(path.c_str(), &facts) == 0 &&
                                           S_ISDIR(facts.st_mode)))
        return true;
    *error = reason("create", path);
    return false;
}

std::string builder_folder()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string self(path, (size_t)n);
    size_t slash = self.rfind('/');
    return slash == 0 ? "/" : self.substr(0, slash);
}

bool is_absolute_path(const std::string &path)
{
    return !path.empty() && path[0] == '/';
}
