// The hand-over channel's name, access list and serving. Portable.
#include "os/handover_channel.h"

#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/text.h"
#include "os/trace.h"

char *handover_channel_name(const char *tag)
{
    char *sid = process_user_sid();
    if (!sid)
        return nullptr;
    char number[12];
    char *prefix = join_text("\\\\.\\pipe\\Trevalo-", tag, "-");
    char *suffix = join_text(sid, "-", decimal_text((int)process_session_id(), number));
    char *name = join_text(prefix, suffix);
    free(prefix);
    free(suffix);
    free(sid);
    return name;
}

char *handover_channel_security(const char *sid)
{
    // P: nothing inherited; the network logon group (NU) denied first, as a denial must come
    // before the grants; then all access (GA) for the account.
    return join_text("D:P(D;;GA;;;NU)(A;;GA;;;", sid, ")");
}

handover_server *listen_for_handover(const char *name)
{
    char *sid = process_user_sid();
    char *security = sid ? handover_channel_security(sid) : nullptr;
    handover_server *server = security ? create_handover_server(name, security) : nullptr;
    if (server)
        trace("listening for second starts on %s", name);
    else
        trace("cannot listen for second starts on %s (error %u)", name, last_error());
    free(security);
    free(sid);
    return server;
}

handover_take take_handover_message(handover_server *server, handover_message **message)
{
    *message = nullptr;
    handover_client client = wait_for_handover_client(server);
    if (client == HANDOVER_CLOSED || client == HANDOVER_FAILED)
        return HANDOVER_TAKE_CLOSED;
    if (client == HANDOVER_FOREIGN_CLIENT) {
        trace("second start refused: it runs as another account or in another session");
        end_handover_client(server, 0);
        return HANDOVER_TAKE_REFUSED;
    }
    unsigned char header[HANDOVER_HEADER_SIZE];
    if (!read_handover_bytes(server, header, sizeof header)) {
        trace("second start refused: no message came");
        end_handover_client(server, 0);
        return HANDOVER_TAKE_REFUSED;
    }
    size_t size = handover_message_size(header);
    if (!size) {
        trace("second start refused: not a message, or longer than %d bytes",
              HANDOVER_MESSAGE_MOST);
        end_handover_client(server, HANDOVER_REFUSED);
        return HANDOVER_TAKE_REFUSED;
    }
    unsigned char *data = (unsigned char *)must_alloc(size);
    memcpy(data, header, sizeof header);
    bool read = read_handover_bytes(server, data + sizeof header, size - sizeof header);
    *message = read ? decode_handover_message(data, size) : nullptr;
    free(data);
    if (!*message) {
        trace(read ? "second start refused: a malformed message"
                   : "second start refused: the message did not come whole");
        end_handover_client(server, read ? HANDOVER_REFUSED : 0);
        return HANDOVER_TAKE_REFUSED;
    }
    return HANDOVER_TAKE_MESSAGE;
}
