// Fuzz target: any bytes as a Windows program whose resources are read, changed and written.
// Reading must never go past the data; whatever is read must be written back, read again the
// same, with a correct checksum, and keep what was set.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "builder/pe_resources.h"

namespace {

bool same(const pe_resource &a, const pe_resource &b)
{
    return a.type.number == b.type.number && a.type.text == b.type.text &&
           a.name.number == b.name.number && a.name.text == b.name.text &&
           a.language == b.language && a.code_page == b.code_page && a.data == b.data;
}

void check(bool condition)
{
    if (!condition)
        abort();
}

// Writes image and reads the result: it must be a program with a correct checksum.
pe_image round_trip(const pe_image &image)
{
    std::vector<unsigned char> out;
    std::string error;
    pe_image again;
    if (!pe_write(image, &out, &error))
        return again;
    check(pe_parse(out.data(), out.size(), &again, &error));
    uint32_t recorded = 0, computed = 1;
    check(pe_checksum(out.data(), out.size(), &recorded, &computed, &error));
    check(recorded == computed);
    check(again.resources.size() == image.resources.size());
    for (size_t i = 0; i < image.resources.size(); i++)
        check(same(again.resources[i], image.resources[i]));
    return again;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly size bytes, so that AddressSanitizer sees any read past the end.
    unsigned char *copy = (unsigned char *)malloc(size ? size : 1);
    for (size_t i = 0; i < size; i++)
        copy[i] = data[i];
    pe_image image;
    std::string error;
    bool read = pe_parse(copy, size, &image, &error);
    free(copy);
    check(read || !error.empty());
    if (!read)
        return 0;
    for (const pe_resource &r : image.resources) {
        std::vector<std::u16string> strings;
        if (r.type.text.empty() && r.type.number == 6)
            pe_decode_string_block(r.data.data(), r.data.size(), &strings, &error);
    }
    round_trip(image);
    // A setting, the archive and a named resource set, one type removed.
    std::vector<unsigned char> block;
    check(pe_encode_string_block({u"fuzz", u"\u00e9"}, &block, &error));
    pe_set_resource(&image, {6}, {74}, 1033, block);
    pe_set_resource(&image, {10}, {16000}, 0, std::vector<unsigned char>(size % 97, 'a'));
    pe_set_resource(&image, {0, u"FUZZ"}, {0, u"NAME"}, 0, {1, 2, 3});
    pe_remove_resources(&image, {3}, nullptr, nullptr);
    pe_image again = round_trip(image);
    if (!again.file.empty()) {
        std::vector<std::u16string> strings;
        for (const pe_resource &r : again.resources)
            if (r.type.number == 6 && r.name.number == 74 && r.language == 1033)
                check(pe_decode_string_block(r.data.data(), r.data.size(), &strings, &error) &&
                      strings[0] == u"fuzz" && strings[1] == u"\u00e9");
    }
    return 0;
}
