// The hand-over message and the first instance's serving of the channel, over the host seam.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "base/handover.h"
#include "base/unicode.h"
#include "config/instance.h"
#include "os/handover_channel.h"
#include "tests/unit/fake_os.h"
#include "tests/unit/test_settings.h"

namespace {

std::string encoded(const char *folder, std::vector<const char *> arguments)
{
    size_t size;
    unsigned char *data = encode_handover_message(folder, (int)arguments.size(),
                                                  (char *const *)arguments.data(), &size);
    std::string bytes = data ? std::string((const char *)data, size) : "";
    free(data);
    return bytes;
}

// bytes with the 4 bytes at offset replaced by number, or the byte at offset by value.
std::string patched(std::string bytes, size_t offset, uint32_t number, int width = 4)
{
    for (int i = 0; i < width; i++)
        bytes[offset + i] = (char)(number >> (8 * i));
    return bytes;
}

// Blanks, quotes, an empty argument and characters beyond the code page arrive as sent; every
// malformed, oversized or foreign message is refused and none is taken; the channel is made
// with an access list for the account alone.
TEST(Handover, TakesWellFormedMessagesOnlyFromTheAccount)
{
    const std::string good = encoded("C:\\\xC3\xA9 x", {"a b", "\"q\"", "", "\xF0\x9F\x98\x80"});
    const std::string most(HANDOVER_MESSAGE_MOST - 20, 'x');
    EXPECT_EQ(encoded("C:\\", {most.c_str()}), "");  // too long to send at all
    const size_t last = good.size() - 1;
    const struct {
        fake_handover_client client;
        char answer;
    } rows[] = {
        {{true, good}, HANDOVER_TAKEN},
        {{true, encoded("", {most.c_str()})}, HANDOVER_TAKEN},  // the longest
        {{false, good}, '-'},                                   // another account
        {{true, "hello, world"}, HANDOVER_REFUSED},             // not a message
        {{true, patched(good, 4, HANDOVER_MESSAGE_MOST + 1)}, HANDOVER_REFUSED},  // oversized
        {{true, patched(good, 4, (uint32_t)good.size() + 1)}, '-'},  // shorter than it says
        {{true, patched(good, 8, 1000)}, HANDOVER_REFUSED},          // more texts than bytes
        {{true, patched(good, 8, 0)}, HANDOVER_REFUSED},             // no folder
        {{true, patched(good, 12, 1000)}, HANDOVER_REFUSED},         // a text past the end
        {{true, patched(good, 8, 4)}, HANDOVER_REFUSED},             // bytes left over
        {{true, patched(good, good.find("a b") + 1, 0, 1)}, HANDOVER_REFUSED},  // a NUL
        {{true, patched(good, last, 0xFF, 1)}, HANDOVER_REFUSED},    // not UTF-8
        {{true, "TRH1"}, '-'},                                       // stalls in the header
    };
    std::string expected;
    handover_clients.clear(), handover_answers.clear(), handover_channels_made.clear();
    for (const auto &row : rows)
        handover_clients.push_back(row.client), expected += row.answer;
    char *name = handover_channel_name("0123456789abcdef");
    handover_server *server = listen_for_handover(name);
    std::vector<std::string> taken;
    handover_message *message;
    handover_take take;
    while ((take = take_handover_message(server, &message)) != HANDOVER_TAKE_CLOSED) {
        if (take != HANDOVER_TAKE_MESSAGE)
            continue;
        for (int i = -1; i < message->count; i++)
            taken.push_back(i < 0 ? message->folder : message->arguments[i]);
        free(message);
        end_handover_client(server, HANDOVER_TAKEN);
    }
    close_handover_server(server);
    EXPECT_EQ(handover_answers, expected);
    EXPECT_EQ(taken, (std::vector<std::string>{"C:\\\xC3\xA9 x", "a b", "\"q\"", "",
                                               "\xF0\x9F\x98\x80", "", most}));
    // Nobody but the account; network logons denied before that grant; nothing inherited.
    const std::string security = " D:P(D;;GA;;;NU)(A;;GA;;;S-1-5-21-7-8-9-1001)";
    EXPECT_EQ(handover_channels_made, std::vector<std::string>{name + security});
    EXPECT_EQ(std::string(name), "\\\\.\\pipe\\Trevalo-0123456789abcdef-S-1-5-21-7-8-9-1001-2");
    free(name);
}

// A launcher's instance: the tag launchers have always made, one however the path's case is
// typed, another in another folder; the mutex's name within MAX_PATH; a channel only for the
// hand-over modes that use one; the statuses of a second start per kind of run.
TEST(Handover, PlansOneInstanceForEachLauncher)
{
    static launcher_settings settings = blank_settings();
    const std::string tool = "C:\\Apps\\Tool\\app.exe", long_class(300, 'M');
    const struct {
        std::string path, main_class;
        const char *handover;
        run_kind kind;
        std::string tag;
        bool channel;
        int refused, failed;
    } rows[] = {
        {tool, "x.y.Main", "", RUN_INTERACTIVE, "35a4de6c8d5edb4b", false, 0, -1},
        {"c:\\apps\\TOOL\\APP.EXE", "x.y.Main", "front", RUN_CONSOLE, "35a4de6c8d5edb4b", true,
         183, 1},
        {"C:\\Apps\\Other\\app.exe", "x.y.Main", "a.B.open", RUN_INTERACTIVE, "3a38706cd0f92ee1",
         true, 0, -1},
        {tool, long_class, "a.B.", RUN_CONSOLE, "43d85976c294cebe", false, 183, 1},
    };
    for (const auto &row : rows) {
        set_text(&settings.main_class, row.main_class.c_str());
        set_text(&settings.instance_handover, row.handover);
        instance_plan plan = plan_instance(make_run_context(&settings, row.kind), row.path.c_str());
        std::u16string units((char16_t *)plan.mutex_name);
        char *name = utf16_to_utf8(plan.mutex_name, units.size());
        EXPECT_EQ(name, ("Local\\Trevalo-" + row.tag + "-" + row.main_class).substr(0, 259));
        EXPECT_EQ(plan.channel ? plan.channel : "", row.channel ? "\\\\.\\pipe\\Trevalo-" + row.tag +
                                                                  "-S-1-5-21-7-8-9-1001-2" : "");
        EXPECT_EQ(std::vector<int>({plan.refused_status, plan.handed_over_status,
                                    plan.handover_failed_status}),
                  std::vector<int>({row.refused, 0, row.failed})) << row.path;
        free(name);
        free_instance_plan(&plan);
    }
}

} // namespace
