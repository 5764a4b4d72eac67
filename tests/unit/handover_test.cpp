// The hand-over message and the first instance's serving of the channel, over the host seam.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "base/handover.h"
#include "os/handover_channel.h"
#include "tests/unit/fake_os.h"

namespace {

std::string encoded(const char *folder, std::vector<const char *> arguments)
{
    size_t size;
    unsigned char *data =
        encode_handover_message(folder, (int)arguments.size(), (char *const *)arguments.data(),
                                &size);
    std::string bytes = data ? std::string((const char *)data, size) : "";
    free(data);
    return bytes;
}

// A message's bytes with the 4 bytes at offset replaced by number.
std::string patched(std::string bytes, size_t offset, uint32_t number)
{
    for (int i = 0; i < 4; i++)
        bytes[offset + i] = (char)(number >> (8 * i));
    return bytes;
}

// Blanks, quotes, an empty argument and characters beyond the code page arrive as sent; every
// malformed, oversized or foreign message is refused and none is taken; the channel is made
// with an access list for the account alone.
TEST(Handover, TakesWellFormedMessagesOnlyFromTheAccount)
{
    const std::string good = encoded("C:\\Users\\\xC3\xA9 x", {"a b", "\"q\"", "", "\xF0\x9F\x98\x80"});
    const std::string big(HANDOVER_MESSAGE_MOST - 16, 'x');
    EXPECT_EQ(encoded("C:\\", {big.c_str()}), "");  // too long to send at all
    const std::string largest = encoded("", {std::string(HANDOVER_MESSAGE_MOST - 20, 'x').c_str()});
    ASSERT_EQ(largest.size(), (size_t)HANDOVER_MESSAGE_MOST);
    std::string nul = good, invalid = good;
    nul[good.size() - 2] = '\0';
    invalid[good.size() - 1] = '\xFF';
    const struct {
        fake_handover_client client;
        char answer;
    } rows[] = {
        {{true, good}, HANDOVER_TAKEN},
        {{true, largest}, HANDOVER_TAKEN},
        {{false, good}, '-'},                                      // another account
        {{true, "hello, world"}, HANDOVER_REFUSED},                // not a message
        {{true, patched(good, 4, HANDOVER_MESSAGE_MOST + 1)}, HANDOVER_REFUSED},  // oversized
        {{true, patched(good, 4, (uint32_t)good.size() + 1)}, '-'},  // shorter than it says
        {{true, patched(good, 8, 1000)}, HANDOVER_REFUSED},          // more texts than bytes
        {{true, patched(good, 8, 0)}, HANDOVER_REFUSED},             // no folder
        {{true, patched(good, 12, 1000)}, HANDOVER_REFUSED},         // a text past the end
        {{true, patched(good, 8, 4)}, HANDOVER_REFUSED},             // bytes left over
        {{true, nul}, HANDOVER_REFUSED},
        {{true, invalid}, HANDOVER_REFUSED},
        {{true, "TRH1"}, '-'},                                       // stalls in the header
    };
    handover_channels_made.clear();
    handover_clients.clear();
    handover_answers.clear();
    for (const auto &row : rows)
        handover_clients.push_back(row.client);
    char *name = handover_channel_name("0123456789abcdef");
    ASSERT_STREQ(name, "\\\\.\\pipe\\Trevalo-0123456789abcdef-S-1-5-21-7-8-9-1001-2");
    handover_server *server = listen_for_handover(name);
    ASSERT_TRUE(server);
    free(name);
    std::vector<std::vector<std::string>> taken;
    std::string expected;
    for (const auto &row : rows) {
        handover_message *message;
        handover_take take = take_handover_message(server, &message);
        ASSERT_EQ(take, row.answer == HANDOVER_TAKEN ? HANDOVER_TAKE_MESSAGE
                                                     : HANDOVER_TAKE_REFUSED);
        if (take == HANDOVER_TAKE_MESSAGE) {
            std::vector<std::string> texts{message->folder};
            texts.insert(texts.end(), message->arguments, message->arguments + message->count);
            taken.push_back(texts);
            free(message);
            end_handover_client(server, HANDOVER_TAKEN);
        }
        expected += row.answer;
    }
    handover_message *message;
    EXPECT_EQ(take_handover_message(server, &message), HANDOVER_TAKE_CLOSED);
    close_handover_server(server);
    EXPECT_EQ(handover_answers, expected);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0], (std::vector<std::string>{"C:\\Users\\\xC3\xA9 x", "a b", "\"q\"", "",
                                                  "\xF0\x9F\x98\x80"}));
    EXPECT_EQ(taken[1][1].size(), (size_t)HANDOVER_MESSAGE_MOST - 20);
    // Nobody but the account; network logons denied before that grant; nothing inherited.
    EXPECT_EQ(handover_channels_made,
              std::vector<std::string>{"\\\\.\\pipe\\Trevalo-0123456789abcdef-S-1-5-21-7-8-9-1001-2 "
                                       "D:P(D;;GA;;;NU)(A;;GA;;;S-1-5-21-7-8-9-1001)"});
}

} // namespace
