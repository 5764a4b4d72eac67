// Fuzz target: any bytes as an icon file. The check must never read past the data, and an
// icon file it accepts must be written back as one it accepts again with the same images.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "builder/icon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly size bytes, so that AddressSanitizer sees any read past the end.
    unsigned char *copy = (unsigned char *)malloc(size ? size : 1);
    if (size)
        memcpy(copy, data, size);
    std::vector<icon_image> images, again;
    std::string error;
    if (parse_icon_file(copy, size, &images, &error)) {
        if (images.empty())
            abort();
        std::vector<unsigned char> file = build_icon_file(images);
        if (!parse_icon_file(file.data(), file.size(), &again, &error) ||
            build_icon_file(again) != file)
            abort();
    } else if (error.empty()) {
        abort();
    }
    free(copy);
    return 0;
}
