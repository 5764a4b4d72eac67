// Fuzz target: any bytes as the embedded-file archive. The check must never read past the
// data, and every entry of an archive it accepts must lie within it with a safe name.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly size bytes, so that AddressSanitizer sees any read past the end.
    unsigned char *copy = (unsigned char *)malloc(size ? size : 1);
    if (size)
        memcpy(copy, data, size);
    uint32_t count = 0;
    const char *bad_name = nullptr;
    archive_check_result result = archive_check(copy, size, &count, &bad_name);
    if (result == ARCHIVE_UNSAFE_NAME && (bad_name < (const char *)copy ||
                                          bad_name >= (const char *)copy + size))
        abort();
    if (result == ARCHIVE_OK) {
        size_t offset = 4;
        for (uint32_t i = 0; i < count; i++) {
            archive_entry entry;
            archive_read_entry(copy, &offset, &entry);
            if (offset > size || !entry.name[0] || !archive_name_is_safe(entry.name))
                abort();
        }
    }
    free(copy);
    return 0;
}
