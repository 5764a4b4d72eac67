// The builder's strict conversions, on the launcher's own ones, which replace what is not
// valid instead of refusing it.
#include "builder/utf16.h"

#include <stdlib.h>

#include "base/unicode.h"

bool utf8_to_utf16(const std::string &text, std::u16string *out)
{
    out->clear();
    if (!is_valid_utf8(text.data(), text.size()))
        return false;
    size_t units;
    uint16_t *converted = utf8_to_utf16(text.data(), text.size(), &units);
    out->assign((const char16_t *)converted, units);
    free(converted);
    return true;
}

bool utf16_to_utf8(const std::u16string &text, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); i++) {
        bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            i++;
        else if (high || low)
            return false;
    }
    char *converted = utf16_to_utf8((const uint16_t *)text.data(), text.size());
    out->assign(converted);
    free(converted);
    return true;
}
