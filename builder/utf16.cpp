// Conversions between UTF-8 and UTF-16.
#include "builder/utf16.h"

bool utf8_to_utf16(const std::string &text, std::u16string *out)
{
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = text[i];
        size_t length;
        unsigned code, least;
        if (lead < 0x80)
            length = 1, code = lead, least = 0;
        else if ((lead & 0xE0) == 0xC0)
            length = 2, code = lead & 0x1F, least = 0x80;
        else if ((lead & 0xF0) == 0xE0)
            length = 3, code = lead & 0x0F, least = 0x800;
        else if ((lead & 0xF8) == 0xF0)
            length = 4, code = lead & 0x07, least = 0x10000;
        else
            return false;
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; k++) {
            unsigned char next = text[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            out->push_back((char16_t)(0xD800 + (code >> 10)));
            out->push_back((char16_t)(0xDC00 + (code & 0x3FF)));
        } else {
            out->push_back((char16_t)code);
        }
        i += length;
    }
    return true;
}

bool utf16_to_utf8(const std::u16string &text, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); i++) {
        unsigned code = text[i];
        if (code >= 0xDC00 && code <= 0xDFFF)
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (code < 0x80) {
            out->push_back((char)code);
        } else if (code < 0x800) {
            out->push_back((char)(0xC0 | code >> 6));
            out->push_back((char)(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out->push_back((char)(0xE0 | code >> 12));
            out->push_back((char)(0x80 | (code >> 6 & 0x3F)));
            out->push_back((char)(0x80 | (code & 0x3F)));
        } else {
            out->push_back((char)(0xF0 | code >> 18));
            out->push_back((char)(0x80 | (code >> 12 & 0x3F)));
            out->push_back((char)(0x80 | (code >> 6 & 0x3F)));
            out->push_back((char)(0x80 | (code & 0x3F)));
        }
    }
    return true;
}
