// The builder's file seam on Windows: the W functions, with every path converted from UTF-8 to
// UTF-16 and every text back, so that any path works whatever the machine's code page.
#include "builder/files.h"

#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include "base/unicode.h"

const char PATH_SEPARATOR = '\\';

namespace {

// The launcher's own conversions: a name the system gives with an unpaired surrogate reads
// with U+FFFD in its place, as the launcher reads it.
std::wstring wide(const std::string &text)
{
    size_t units;
    uint16_t *converted = utf8_to_utf16(text.data(), text.size(), &units);
    std::wstring result((const wchar_t *)converted, units);
    free(converted);
    return result;
}

std::string utf8(const wchar_t *text, int units)
{
    char *converted = utf16_to_utf8((const uint16_t *)text, (size_t)units);
    std::string result(converted);
    free(converted);
    return result;
}

std::string utf8(const wchar_t *text)
{
    return utf8(text, (int)wcslen(text));
}

// "cannot <what> <path>: <the system's text for the last error>". The error is read first,
// before anything can change it.
std::string reason(const std::string &what, const std::string &path)
{
    DWORD code = GetLastError();
    wchar_t buffer[512];
    // 0x1200 = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
    DWORD n = FormatMessageW(0x1200, nullptr, code, 0, buffer, 512, nullptr);
    while (n > 0 && (buffer[n - 1] == L'\n' || buffer[n - 1] == L'\r' || buffer[n - 1] == L' ' ||
                     buffer[n - 1] == L'.'))
        n--;
    std::string text = n > 0 ? utf8(buffer, (int)n) : "error " + std::to_string(code);
    return "cannot " + what + " " + path + ": " + text;
}

uint64_t join(DWORD high, DWORD low)
{
    return (uint64_t)high << 32 | low;
}

} // namespace

std::vector<std::string> program_arguments(int, char **)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; arguments && i < count; i++)
        result.push_back(utf8(arguments[i]));
    LocalFree(arguments);
    return result;
}

bool file_stat(const std::string &path, file_facts *facts, std::string *error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) {
        *error = reason("read", path);
        return false;
    }
    facts->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Names of devices (CON, NUL, COM1) have attributes too; they are not plain files.
    facts->regular = !facts->folder && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    facts->size = facts->folder ? 0 : join(data.nFileSizeHigh, data.nFileSizeLow);
    facts->write_time = join(data.ftLastWriteTime.dwHighDateTime,
                             data.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool read_whole_file(const std::string &path, std::string *content, std::string *error)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = reason("read", path);
        return false;
    }
    LARGE_INTEGER size;
    bool ok = GetFileType(file) == FILE_TYPE_DISK;
    if (!ok) {
        *error = "cannot read " + path + ": it is not a regular file (a device or pipe)";
    } else if (!(ok = GetFileSizeEx(file, &size))) {
        *error = reason("read", path);
    } else if ((uint64_t)size.QuadPart > MAX_INPUT_SIZE) {
        *error = "cannot read " + path + ": it has " + std::to_string(size.QuadPart) +
                 " bytes, more than the 2 GB a Windows program may have";
        ok = false;
    }
    content->clear();
    if (ok)
        content->reserve((size_t)size.QuadPart);
    char buffer[65536];
    DWORD n;
    while (ok) {
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            *error = reason("read", path);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (content->size() + n > MAX_INPUT_SIZE) {
            // A file that grows while it is read.
            *error = "cannot read " + path + ": it has more than the 2 GB a Windows program "
                     "may have";
            ok = false;
        } else {
            content->append(buffer, n);
        }
    }
    CloseHandle(file);
    return ok;
}

bool list_plain_files(const std::string &folder, std::vector<std::string> *names,
                      std::string *error)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = reason("list", folder);
        return false;
    }
    names->clear();
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names->push_back(utf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    bool ok = GetLastError() == ERROR_NO_MORE_FILES;
    if (!ok)
        *error = reason("list", folder);
    FindClose(search);
    return ok;
}

bool write_file_replacing(const std::string &path, const unsigned char *data, size_t size,
                          std::string *error, uint64_t write_time)
{
    size_t slash = path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::wstring wide_folder = wide(folder);
    wchar_t temp[MAX_PATH + 16];
    // GetTempFileNameW makes an empty file of a name unique in the folder, whose path must
    // leave room for that name (14 characters) within MAX_PATH.
    if (wide_folder.size() > MAX_PATH - 14 ||
        !GetTempFileNameW(wide_folder.c_str(), L"tvb", 0, temp)) {
        *error = reason("create a file in", folder);
        return false;
    }
    HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    while (ok && size > 0) {
        DWORD chunk = size > 0x10000000 ? 0x10000000 : (DWORD)size, written = 0;
        ok = WriteFile(file, data, chunk, &written, nullptr) && written == chunk;
        data += chunk;
        size -= chunk;
    }
    FILETIME time = {(DWORD)write_time, (DWORD)(write_time >> 32)};
    ok = ok && (write_time == 0 || SetFileTime(file, nullptr, nullptr, &time));
    if (!ok)
        *error = reason("write", utf8(temp));
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && ok) {
        *error = reason("write", utf8(temp));
        ok = false;
    }
    if (ok && !MoveFileExW(temp, wide(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *error = reason("write", path);
        ok = false;
    }
    if (!ok)
        DeleteFileW(temp);
    return ok;
}

bool write_standard_output(const std::string &text, std::string *error)
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    if (fwrite(text.data(), 1, text.size(), stdout) == text.size())
        return true;
    *error = "cannot write to standard output";
    return false;
}

bool make_folder(const std::string &path, std::string *error)
{
    if (CreateDirectoryW(wide(path).c_str(), nullptr))
        return true;
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    *error = reason("create", path);
    return false;
}

std::string builder_folder()
{
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    if (n == 0 || n >= 32768)
        return ".";
    std::string self = utf8(path, (int)n);
    return self.substr(0, self.find_last_of('\\'));
}

bool is_absolute_path(const std::string &path)
{
    return !path.empty() &&
           (path[0] == '\\' || path[0] == '/' || (path.size() > 1 && path[1] == ':'));
}
