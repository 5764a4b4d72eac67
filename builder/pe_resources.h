// Reading and rewriting the resources of a Windows program (PE32 or PE32+) in memory. Portable.
//
// The launcher builder uses it to write an application's settings into a copy of the stub
// without Windows' resource-update functions, so that it runs on any system.
//
// Reading (pe_parse) checks every offset and size it follows and refuses, with a text saying
// why: an empty file, a file that is not a Windows program, a file cut short, a section table
// that lies (sections overlapping or past the end of the file), a file without a resource
// directory, a damaged resource tree, and a signed file: a signature covers the bytes this
// module changes, so the launcher is to be signed after it is built.
//
// Writing (pe_write) rebuilds the resource section from the resources in memory and keeps
// everything else:
// - The resource section keeps its place and address; its virtual size becomes the exact size
//   of the new resources and its raw size that rounded up to the file alignment.
// - Sections after it must be discardable ones (base relocations, debugging information), as
//   the MinGW linker puts .reloc after .rsrc; they are moved, unchanged, to follow the rebuilt
//   resources, and the base-relocation directory follows them. Any other section after the
//   resource section, or anything else of the program (entry point, data directories,
//   relocated addresses) that points into the resource section or past it, is refused.
// - Bytes after the last section (the COFF symbol table of an unstripped program, or any other
//   appended data) are kept and move with the end of the file; the symbol table pointer is
//   adjusted. Other appended data that records its own file offset would be off by the shift.
// - SizeOfImage, the resource data directory, SizeOfInitializedData (by the change in the
//   resource section's raw size, when that section is initialised data) and the checksum are
//   recomputed; no other byte outside the resource section and the moved sections changes.
// - The result depends only on the input: same image and resources, same bytes.
//
// The resource tree is written as Windows requires for its binary searches: at each level
// named entries first, ordered by name without regard to ASCII case, then numbered ones in
// ascending order; languages ascending. Directories come first, then the name strings (16-bit
// length and UTF-16 units), both in the order of a depth-first walk (a type, then its names),
// then padding to 8 bytes, the 16-byte data entries, and each resource's data padded to 8
// bytes. Directory time stamps and versions are zero. The MinGW resource compiler lays
// resources out the same way, so a program it made is written back byte for byte when its
// resources are unchanged; for other programs only the resources read back are the same.
//
// Functions that can fail return false and fill *error with one text saying what is wrong.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// A resource type or name: a number or, when text is not empty, a UTF-16 name. Windows looks
// names up upper-cased, so give them in upper case as resource compilers store them. Two ids
// are the same when both are the same number, or both are names equal without regard to
// ASCII case.
struct pe_resource_id {
    uint16_t number = 0;
    std::u16string text = {};
};

struct pe_resource {
    pe_resource_id type;
    pe_resource_id name;
    uint16_t language;
    uint32_t code_page;  // as the file records it; 0 for resources set by pe_set_resource
    std::vector<unsigned char> data;
};

// A Windows program and its resources.
struct pe_image {
    std::vector<unsigned char> file;      // the program as read; pe_write rebuilds from it
    bool pe32_plus;                       // 64-bit (PE32+) rather than 32-bit (PE32)
    bool is_signed = false;               // carries an Authenticode signature
    std::vector<pe_resource> resources;   // kept in the order pe_write writes them
};

// Reads the program of size bytes at data: its headers, sections and resource tree.
// A signed program is refused unless accept_signed: it can be read then, never written.
bool pe_parse(const unsigned char *data, size_t size, pe_image *image, std::string *error,
              bool accept_signed = false);

// Gives image a resource of this type, name and language, replacing the one that has them.
// A type or name the image already has keeps the spelling it has there. Pass the data with
// std::move to spare a copy of a large resource.
void pe_set_resource(pe_image *image, const pe_resource_id &type, const pe_resource_id &name,
                     uint16_t language, std::vector<unsigned char> data);

// Removes the resources of this type, and of this name and language where they are not null
// (null: any). Returns how many were removed.
size_t pe_remove_resources(pe_image *image, const pe_resource_id &type,
                           const pe_resource_id *name, const uint16_t *language);

// The program with its resource section rebuilt from image.resources, as described above.
// Refuses resources given twice (same type, name and language), names longer than 65535
// units, and programs whose layout does not allow the rebuilding.
bool pe_write(const pe_image &image, std::vector<unsigned char> *out, std::string *error);

// The checksum recorded in the program's header and the one computed from its bytes: the
// 16-bit one's complement sum of its 16-bit little-endian words (the checksum field read as
// zero, an odd last byte as a word of its own), folded, plus the file's length.
bool pe_checksum(const unsigned char *data, size_t size, uint32_t *recorded, uint32_t *computed,
                 std::string *error);

// A string table is stored in blocks of 16 strings: block n holds the strings numbered
// (n - 1) * 16 to n * 16 - 1, so string s is number s % 16 of block s / 16 + 1. The launcher's
// settings are each the first string of their own block.

// The data of one block holding strings (at most 16; missing ones are empty): each string as
// its 16-bit length and that many UTF-16 units, without terminators. Refuses more than 16
// strings and strings longer than 65535 units.
bool pe_encode_string_block(const std::vector<std::u16string> &strings,
                            std::vector<unsigned char> *data, std::string *error);

// The 16 strings of a block. A block may stop after its last non-empty string (the strings
// after it read as empty, as Windows reads them); bytes after the 16th string are ignored. A
// length running past the end of the data is refused.
bool pe_decode_string_block(const unsigned char *data, size_t size,
                            std::vector<std::u16string> *strings, std::string *error);
