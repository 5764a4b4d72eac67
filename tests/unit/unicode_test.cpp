// The UTF-8 and UTF-16 conversions, valid and invalid input, in both directions, and messages
// cut at a character.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/text.h"
#include "base/unicode.h"

namespace {

std::u16string to_utf16(const std::string &text)
{
    size_t units = 0;
    uint16_t *out = utf8_to_utf16(text.data(), text.size(), &units);
    std::u16string result(reinterpret_cast<const char16_t *>(out), units);
    free(out);
    return result;
}

// Converted from a heap copy of exactly text.size() units, without a terminator, so that the
// address checker sees any read past the end.
std::string to_utf8(const std::u16string &text)
{
    uint16_t *units = (uint16_t *)malloc(text.size() * sizeof(uint16_t) + (text.empty() ? 1 : 0));
    memcpy(units, text.data(), text.size() * sizeof(uint16_t));
    char *out = utf16_to_utf8(units, text.size());
    free(units);
    std::string result(out);
    free(out);
    return result;
}

TEST(Unicode, ConvertsBothWays)
{
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"5\u20ac", u"5\u20ac"},
        {"caf\u00e9 \u0416\u0443\u043a \u65e5\u672c\u8a9e", u"caf\u00e9 \u0416\u0443\u043a \u65e5\u672c\u8a9e"},
        {"\U0001F600\U0010FFFF", u"\U0001F600\U0010FFFF"},  // pairs of surrogates
        {"\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80",
         u"\x7f\x80\x7ff\x800\xffff\U00010000"},  // each length's first and last value
    };
    for (const auto &c : cases) {
        EXPECT_EQ(to_utf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(to_utf8(c.utf16), c.utf8) << c.utf8;
        EXPECT_TRUE(is_valid_utf8(c.utf8.data(), c.utf8.size())) << c.utf8;
    }
}

TEST(Unicode, ReplacesInvalidUtf8ByteByByte)
{
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"a\x80z", u"a\xfffdz"},                     // a lone continuation byte
        {"\xc3", u"\xfffd"},                         // cut short at the end
        {"\xe2\x82", u"\xfffd\xfffd"},               // cut short: each byte read alone
        {"\xe2\x82z", u"\xfffd\xfffdz"},             // the next character is kept
        {"\xc0\xaf", u"\xfffd\xfffd"},               // overlong "/"
        {"\xe0\x80\xaf", u"\xfffd\xfffd\xfffd"},     // overlong, three bytes
        {"\xf4\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"},  // past U+10FFFF
        {"\xfe\xff", u"\xfffd\xfffd"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // the length counts, not a 0
    };
    for (const auto &c : cases) {
        EXPECT_EQ(to_utf16(c.utf8), c.utf16);
        EXPECT_EQ(is_valid_utf8(c.utf8.data(), c.utf8.size()),
                  c.utf16.find(u'\xfffd') == std::u16string::npos);
    }
    // Only the given length is read: the valid byte after it is never looked at.
    EXPECT_EQ(to_utf16(std::string("\xc3\xa9", 1)), u"\xfffd");
}

TEST(Unicode, CarriesUnpairedSurrogatesThrough)
{
    // Each unpaired surrogate takes the three bytes of its value, and comes back from them.
    const struct {
        std::u16string utf16;
        std::string utf8;
    } cases[] = {
        {u"a\xd800", "a\xed\xa0\x80"},                      // high surrogate at the end
        {u"\xdc00z", "\xed\xb0\x80z"},                      // low surrogate alone
        {u"\xd800\xd800\xdc00", "\xed\xa0\x80\U00010000"},  // the second one pairs
        {u"\xdbff\xdfff\xdfff", "\U0010FFFF\xed\xbf\xbf"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(to_utf8(c.utf16), c.utf8);
        EXPECT_EQ(to_utf16(c.utf8), c.utf16);
        EXPECT_FALSE(is_valid_utf8(c.utf8.data(), c.utf8.size())) << "not UTF-8 for a file";
    }
    // Cut short, an encoded surrogate is invalid as any other sequence is.
    EXPECT_EQ(to_utf16("\xed\xa0"), u"\xfffd\xfffd");
}

}  // namespace

namespace {

TEST(FillMessage, FillsOnlySubjectsAndCutsBeforeACharacterThatDoesNotFit)
{
    const struct {
        const char *message, *subject;
        size_t size;
        std::string filled;
    } cases[] = {
        {"%s", "ab\u65e5", 5, "ab"},                // 3 bytes do not fit in 2
        {"%s", "ab\u65e5", 6, "ab\u65e5"},
        {"\u00e9%s", "x", 2, ""},                    // cut in the message itself
        {"a%sz", "\U0001F600", 5, "a"},             // 4 bytes, 3 left
        {"a%sz", "\U0001F600", 7, "a\U0001F600z"},
        {"a%sz", "\U0001F600", 6, "a\U0001F600"},  // cut right after a whole character
        {"%sz", "ab\u65e5", 6, "ab\u65e5"},
        {"%s", "\x80\x80", 3, "\x80\x80"},           // not cut: invalid bytes stay as they are
        // A message read from the string table reads no argument that is not there.
        {"100%% [%s]", "", 16, "100% []"},
        {"%s%s%d%n%p", "", 16, "%d%n%p"},
    };
    for (const auto &c : cases) {
        char buffer[16];
        size_t n = fill_message(buffer, c.size, c.message, c.subject);
        EXPECT_EQ(std::string(buffer), c.filled) << c.message << " " << c.size;
        EXPECT_EQ(n, c.filled.size());
    }
}

}  // namespace
