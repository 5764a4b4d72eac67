// The channel between a second start and the running instance, over the system seam's named
// pipe: its name, its access list, and the serving of one client. Portable.
#pragma once

#include "base/handover.h"
#include "os/os.h"

// The channel's name for the instance tag (the launcher's own, from its path and main class):
// "\\.\pipe\Trevalo-<tag>-<account's SID>-<session>", so that accounts and sessions never
// meet on one name. Null when the account cannot be read.
char *handover_channel_name(const char *tag);

// The channel's access list for the account sid: everything for that account and nobody else,
// network logons refused, nothing inherited.
char *handover_channel_security(const char *sid);

// Creates the channel name with that access list for this process's account; null, traced,
// when it cannot be made.
handover_server *listen_for_handover(const char *name);

enum handover_take { HANDOVER_TAKE_MESSAGE, HANDOVER_TAKE_REFUSED, HANDOVER_TAKE_CLOSED };

// Serves the next client: waits for it, reads its message and checks it. On
// HANDOVER_TAKE_MESSAGE, *message holds it (free it) and the client waits for the answer
// (end_handover_client). A client of another account or session, a malformed or oversized
// message and a client that stalls are refused (the malformed with HANDOVER_REFUSED) and
// traced: HANDOVER_TAKE_REFUSED. HANDOVER_TAKE_CLOSED: the server was stopped or fails.
handover_take take_handover_message(handover_server *server, handover_message **message);
