// Fuzz target: any bytes as a configuration and as a splash bitmap. Parsing must never read past
// the text; a configuration it accepts must hold only what a launcher can use: a main class,
// every setting well-formed UTF-8 within the string table's 65535 UTF-16 units. A bitmap it
// accepts is the file without its 14-byte header.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "builder/config.h"
#include "builder/pack.h"

namespace {

void check(bool condition)
{
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text((const char *)data, size);
    builder_config config;
    std::string error;
    if (parse_config(text, &config, &error)) {
        check(!config.settings.empty());
        for (const setting_value &v : config.settings) {
            std::u16string units = utf16_of(v.text);
            check(units.size() <= 65535);
            check(units.size() <= v.text.size());
            check(v.text.find('\0') == std::string::npos);
        }
        check(config.architecture == "x64" || config.architecture == "x86");
        check(config.subsystem == "gui" || config.subsystem == "console");
    } else {
        check(!error.empty());
    }

    std::string resource;
    error.clear();
    if (bitmap_resource(text, &resource, &error))
        check(resource.size() + 14 == size && resource == text.substr(14));
    else
        check(!error.empty());
    return 0;
}
