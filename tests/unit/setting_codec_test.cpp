// Setting conversions: the main-class encoding, flags, numbers and the priority table.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "base/setting_codec.h"

namespace {

std::string encode(const std::string &plain)
{
    char out[2 * MAX_ENCODED_BYTES + 1];
    EXPECT_TRUE(encode_setting_text(plain.c_str(), out, sizeof out));
    return out;
}

std::string decode(const std::string &text)
{
    char out[DECODE_BUFFER_SIZE];
    EXPECT_EQ(decode_setting_text(text.c_str(), out), out);
    return out;
}

TEST(SettingKey, IsSixteenLettersAndDigits)
{
    ASSERT_EQ(strlen(setting_key), 16u);
    for (int i = 0; i < 16; i++)
        EXPECT_TRUE(isalnum((unsigned char)setting_key[i])) << i;
}

TEST(DecodeSettingText, UndoesTheEncoding)
{
    // Lengths around the key's period of 17 bytes (the 17th byte is XORed with the NUL).
    for (const char *plain : {"Quillmere", "a.b.Main", "trevalo.sample.SampleApp",
                              "0123456789abcdefghijklmnopq", "x"}) {
        std::string encoded = encode(plain);
        EXPECT_EQ(encoded.size(), 2 * strlen(plain));
        EXPECT_EQ(encoded.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(decode(encoded), plain);
    }
    // The sample launcher's stored value.
    EXPECT_EQ(decode("00411F3854003F1957"), "Quillmere");
    EXPECT_EQ(decode(""), "");
}

TEST(DecodeSettingText, ByteSixteenIsOnlyHexDecoded)
{
    std::string plain(17, 'A');
    std::string encoded = encode(plain);
    EXPECT_EQ(encoded.substr(32, 2), "41") << "byte 16 pairs with the key's NUL";
}

TEST(DecodeSettingText, NeverWritesPastItsBuffer)
{
    // 600 digits would be 300 bytes: only 255 are decoded, and the text stays terminated.
    std::string long_text(600, '4');
    EXPECT_EQ(decode(long_text).size(), (size_t)MAX_ENCODED_BYTES);

    std::string plain(MAX_ENCODED_BYTES, 'z');
    EXPECT_EQ(decode(encode(plain)), plain);

    char out[1024];
    std::string too_long(MAX_ENCODED_BYTES + 1, 'z');
    EXPECT_FALSE(encode_setting_text(too_long.c_str(), out, sizeof out));
    EXPECT_FALSE(encode_setting_text("abc", out, 6)) << "needs 7 characters";
}

TEST(DecodeSettingText, OddLengthAndLowerCaseStayInBounds)
{
    // Only upper-case digits decode; other texts give some bytes but never overrun.
    std::string odd = encode("ab") + "4";
    EXPECT_EQ(decode(odd).substr(0, 2), "ab");
    std::string lower = encode("Main");
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    EXPECT_NE(decode(lower), "Main");
}

TEST(SettingConversions, Flags)
{
    const struct { const char *text; bool on; } cases[] = {
        {"", true}, {"1", true}, {"x", true}, {"no", true}, {" 0", true},
        {"0", false}, {"00", false}, {"0x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(setting_flag(c.text), c.on) << "[" << c.text << "]";
}

TEST(SettingConversions, Numbers)
{
    const struct { const char *text; int value; } integers[] = {
        {"abc", 0}, {"", 0}, {"3", 3}, {"  -1", -1}, {"12abc", 12}, {"+7", 7},
    };
    for (const auto &c : integers)
        EXPECT_EQ(setting_integer(c.text), c.value) << "[" << c.text << "]";

    const struct { const char *text; unsigned value; } hex[] = {
        {"0x00010004", 0x10004}, {"10004", 0x10004}, {"", 0}, {"zz", 0}, {" 0X1a", 0x1a},
    };
    for (const auto &c : hex)
        EXPECT_EQ(setting_hex(c.text), c.value) << "[" << c.text << "]";
}

// The stored priority, read as a number, and its class (0: the process's own left alone).
TEST(SettingConversions, PriorityTable)
{
    const struct { const char *text; unsigned priority; } cases[] = {
        {"", 0x100},  // empty reads as 0: realtime
        {"0", 0x100}, {"1", 0x80}, {"2", 0x8000}, {"3", 0x20}, {"4", 0x4000}, {"5", 0x40},
        {"6", 0}, {"9", 0}, {"-1", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(priority_class_for_index(setting_integer(c.text)), c.priority) << c.text;
}

} // namespace
