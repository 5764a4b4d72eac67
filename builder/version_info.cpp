// The launcher's version information resource.
#include "builder/version_info.h"

#include "builder/config.h"
#include "builder/utf16.h"
#include "builder/version_number.h"

#include <string.h>

const version_key version_keys[] = {
    {"company_name", "CompanyName", &builder_config::company_name},
    {"file_description", "FileDescription", &builder_config::file_description},
    {"file_version", "FileVersion", &builder_config::file_version},
    {"copyright", "LegalCopyright", &builder_config::copyright},
    {"original_file_name", "OriginalFilename", &builder_config::original_file_name},
    {"product_name", "ProductName", &builder_config::product_name},
    {"product_version", "ProductVersion", &builder_config::product_version},
};
const size_t version_key_count = sizeof version_keys / sizeof version_keys[0];

namespace {

typedef std::vector<unsigned char> bytes;

const uint32_t FIXED_SIGNATURE = 0xFEEF04BD, FIXED_STRUCTURE_VERSION = 0x00010000;
const size_t FIXED_SIZE = 52;
// VOS_NT_WINDOWS32 = 0x40004, VFT_APP = 1; every flag may be given (VS_FFI_FILEFLAGSMASK),
// none is.
const uint32_t FILE_OS = 0x40004, FILE_TYPE = 1, FILE_FLAGS_MASK = 0x3F;
const uint16_t US_ENGLISH = 0x0409, UTF16_CODE_PAGE = 1200;

void put16(bytes *out, unsigned value)
{
    out->push_back((unsigned char)value);
    out->push_back((unsigned char)(value >> 8));
}

void put32(bytes *out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void pad32(bytes *out)
{
    while (out->size() % 4)
        out->push_back(0);
}

void put_text(bytes *out, const std::u16string &text)
{
    for (char16_t unit : text)
        put16(out, unit);
    put16(out, 0);
}

unsigned get16(const unsigned char *p)
{
    return p[0] | p[1] << 8;
}

uint32_t get32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

size_t align4(size_t at)
{
    return (at + 3) & ~(size_t)3;
}

// One block: its lengths and kind, its key, then (each after padding to 32 bits) its value and
// its children. The length counts no padding after the block's last byte.
bool block(const char *key, const bytes &value, unsigned value_length, unsigned type,
           const std::vector<bytes> &children, bytes *out, std::string *error)
{
    out->assign(6, 0);
    put_text(out, std::u16string(key, key + strlen(key)));
    if (!value.empty()) {
        pad32(out);
        out->insert(out->end(), value.begin(), value.end());
    }
    for (const bytes &child : children) {
        pad32(out);
        out->insert(out->end(), child.begin(), child.end());
    }
    if (out->size() > 0xFFFF) {
        *error = std::string("the version information's block '") + key + "' would be " +
                 std::to_string(out->size()) + " bytes long; a block holds at most 65535";
        return false;
    }
    (*out)[0] = (unsigned char)out->size(), (*out)[1] = (unsigned char)(out->size() >> 8);
    (*out)[2] = (unsigned char)value_length, (*out)[3] = (unsigned char)(value_length >> 8);
    (*out)[4] = (unsigned char)type;
    return true;
}

// A block read from the resource: where it ends, its key, and where its value starts.
struct block_view {
    size_t end;
    unsigned value_length, type;
    std::u16string key;
    size_t value_at;
};

bool read_block(const unsigned char *data, size_t at, size_t limit, block_view *b,
                std::string *error)
{
    unsigned length = at + 6 <= limit ? get16(data + at) : 0;
    if (length < 6 || at + length > limit) {
        *error = "damaged version information: a block at byte " + std::to_string(at) +
                 " runs past the end of its parent";
        return false;
    }
    b->end = at + length;
    b->value_length = get16(data + at + 2);
    b->type = get16(data + at + 4);
    b->key.clear();
    size_t p = at + 6;
    for (; p + 2 <= b->end && get16(data + p) != 0; p += 2)
        b->key.push_back((char16_t)get16(data + p));
    if (p + 2 > b->end) {
        *error = "damaged version information: a key at byte " + std::to_string(at) +
                 " has no end";
        return false;
    }
    b->value_at = align4(p + 2);
    return true;
}

std::u16string u16(const char *ascii)
{
    return std::u16string(ascii, ascii + strlen(ascii));
}

// The strings of a string table, each value read up to its NUL or the end of its block (some
// resource compilers count the value's length in bytes, others in characters).
bool read_strings(const unsigned char *data, const block_view &table, version_info *info,
                  std::string *error)
{
    for (size_t at = table.value_at; at + 6 <= table.end; ) {
        block_view s;
        if (!read_block(data, at, table.end, &s, error))
            return false;
        std::u16string value;
        for (size_t p = s.value_at; p + 2 <= s.end && get16(data + p) != 0; p += 2)
            value.push_back((char16_t)get16(data + p));
        std::string key, text;
        if (!utf16_to_utf8(s.key, &key) || !utf16_to_utf8(value, &text)) {
            *error = "the version information holds a string that is not UTF-16";
            return false;
        }
        info->strings.push_back({key, text});
        at = align4(s.end);
    }
    return true;
}

} // namespace

bool encode_version_info(const version_info &info, bytes *data, std::string *error)
{
    bytes fixed;
    put32(&fixed, FIXED_SIGNATURE);
    put32(&fixed, FIXED_STRUCTURE_VERSION);
    put32(&fixed, (uint32_t)info.file_version[0] << 16 | info.file_version[1]);
    put32(&fixed, (uint32_t)info.file_version[2] << 16 | info.file_version[3]);
    put32(&fixed, (uint32_t)info.product_version[0] << 16 | info.product_version[1]);
    put32(&fixed, (uint32_t)info.product_version[2] << 16 | info.product_version[3]);
    put32(&fixed, FILE_FLAGS_MASK);
    put32(&fixed, 0);          // flags: not a debug, pre-release or patched build
    put32(&fixed, FILE_OS);
    put32(&fixed, FILE_TYPE);
    put32(&fixed, 0);          // subtype: none for programs
    put32(&fixed, 0);          // date: none
    put32(&fixed, 0);

    std::vector<bytes> strings;
    for (const auto &entry : info.strings) {
        std::u16string value;
        if (!utf8_to_utf16(entry.second, &value)) {
            *error = "version string " + entry.first + " is not valid UTF-8";
            return false;
        }
        // A string's value length counts its characters and the terminating NUL.
        bytes text, s;
        put_text(&text, value);
        if (!block(entry.first.c_str(), text, (unsigned)value.size() + 1, 1, {}, &s, error))
            return false;
        strings.push_back(s);
    }
    bytes table, string_info, var, var_info, translation;
    put16(&translation, US_ENGLISH);
    put16(&translation, UTF16_CODE_PAGE);
    return block("040904B0", {}, 0, 1, strings, &table, error) &&
           block("StringFileInfo", {}, 0, 1, {table}, &string_info, error) &&
           block("Translation", translation, 4, 0, {}, &var, error) &&
           block("VarFileInfo", {}, 0, 1, {var}, &var_info, error) &&
           block("VS_VERSION_INFO", fixed, FIXED_SIZE, 0, {string_info, var_info}, data, error);
}

bool decode_version_info(const unsigned char *data, size_t size, version_info *info,
                         std::string *error)
{
    info->strings.clear();
    block_view root;
    if (!read_block(data, 0, size, &root, error))
        return false;
    if (root.key != u16("VS_VERSION_INFO") || root.value_length < FIXED_SIZE ||
        root.value_at + FIXED_SIZE > root.end || get32(data + root.value_at) != FIXED_SIGNATURE) {
        *error = "not a version information resource (no VS_VERSION_INFO with fixed versions)";
        return false;
    }
    const unsigned char *fixed = data + root.value_at;
    for (int i = 0; i < 2; i++) {
        info->file_version[2 * i] = (uint16_t)(get32(fixed + 8 + 4 * i) >> 16);
        info->file_version[2 * i + 1] = (uint16_t)get32(fixed + 8 + 4 * i);
        info->product_version[2 * i] = (uint16_t)(get32(fixed + 16 + 4 * i) >> 16);
        info->product_version[2 * i + 1] = (uint16_t)get32(fixed + 16 + 4 * i);
    }
    for (size_t at = align4(root.value_at + root.value_length); at + 6 <= root.end; ) {
        block_view child;
        if (!read_block(data, at, root.end, &child, error))
            return false;
        if (child.key == u16("StringFileInfo") && child.value_at + 6 <= child.end) {
            block_view table;
            if (!read_block(data, child.value_at, child.end, &table, error) ||
                !read_strings(data, table, info, error))
                return false;
        }
        at = align4(child.end);
    }
    return true;
}

bool apply_version_info(pe_image *image, const builder_config &config, std::string *error)
{
    bool any = false;
    for (size_t i = 0; i < version_key_count; i++)
        any = any || !(config.*version_keys[i].field).empty();
    pe_remove_resources(image, {RT_VERSION_TYPE}, nullptr, nullptr);
    if (!any)
        return true;
    const std::string &file = config.file_version.empty() ? config.product_version
                                                          : config.file_version;
    const std::string &product = config.product_version.empty() ? config.file_version
                                                                : config.product_version;
    version_info info = {};
    if ((!file.empty() && !parse_version_number(file, info.file_version, error)) ||
        (!product.empty() && !parse_version_number(product, info.product_version, error)))
        return false;
    for (size_t i = 0; i < version_key_count; i++) {
        const version_key &k = version_keys[i];
        std::string value = config.*k.field;
        if (k.field == &builder_config::file_version)
            value = version_text(info.file_version);
        else if (k.field == &builder_config::product_version)
            value = version_text(info.product_version);
        if (!value.empty())
            info.strings.push_back({k.string_name, value});
    }
    std::vector<unsigned char> data;
    if (!encode_version_info(info, &data, error))
        return false;
    pe_set_resource(image, {RT_VERSION_TYPE}, {1}, US_ENGLISH, data);
    return true;
}
