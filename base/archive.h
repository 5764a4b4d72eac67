// The embedded-file archive: a 32-bit entry count, then per entry a zero-terminated name, the
// 64-bit last-write time (a FILETIME, low half first), a 32-bit size and the content; all
// little-endian, no gaps. Reading it depends on no platform interface.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct archive_entry {
    const char *name;           // points into the archive, zero-terminated there
    uint32_t time_low;          // last-write time, as FILETIME's two halves
    uint32_t time_high;
    uint32_t size;
    const unsigned char *content;
};

enum archive_check_result {
    ARCHIVE_OK,
    ARCHIVE_MALFORMED,   // a count, name or size runs past the end, or a name is empty
    ARCHIVE_UNSAFE_NAME, // a name would leave the folder the files are unpacked into
};

// Checks the whole archive of size bytes before anything is unpacked: every entry lies within
// it and every name stays inside the unpacking folder. On ARCHIVE_OK, *count holds the number
// of entries; on ARCHIVE_UNSAFE_NAME, *bad_name points at the refused name. Bytes after the
// last entry are ignored.
archive_check_result archive_check(const unsigned char *data, size_t size, uint32_t *count,
                                   const char **bad_name);

// Reads the entry at *offset (4 for the first) of an archive that passed archive_check and
// moves *offset past it.
void archive_read_entry(const unsigned char *data, size_t *offset, archive_entry *entry);

// True when name, joined to a folder, names a file inside that folder: no drive or stream
// (':'), no leading '\' or '/' (which also rules out UNC paths), and no component made of
// dots and blanks that holds "..", which Windows would take as the parent folder.
bool archive_name_is_safe(const char *name);

// A 64-bit hash of the whole archive, a word at a time so that it is cheap at every start. It
// names the folder of the archive's unpacked files, so that launchers whose files differ
// never share one.
uint64_t archive_hash(const unsigned char *data, size_t size);

enum { ARCHIVE_FOLDER_NAME_SIZE = 17 };

// The hash as the folder's name: 16 lower-case hexadecimal digits and a NUL.
void archive_folder_name(uint64_t hash, char name[ARCHIVE_FOLDER_NAME_SIZE]);
