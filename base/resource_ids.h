// Resource ids of the launcher's executable, shared by the resource scripts, the launcher and
// the builder. Plain defines, so that the resource compiler can read them too.
#pragma once

// The event-log message table (type 11) and its two event ids: information and error.
#define RESOURCE_MESSAGE_TABLE 1
#define EVENT_ID_INFO 0x40000001
#define EVENT_ID_ERROR 0xC0000002

// The splash bitmap (RT_BITMAP), language neutral.
#define RESOURCE_SPLASH 8000

// The embedded-file archive (RT_RCDATA), language neutral.
#define RESOURCE_ARCHIVE 16000

// The archive's hash (RT_RCDATA, 8 bytes, little-endian), language neutral: written by the
// builder, so that a start need not read the whole archive to name its folder.
#define RESOURCE_ARCHIVE_HASH 16001
