// The hand-over of a second start to the running instance: the instance_handover setting, and
// the message that carries the second start's folder and arguments to the first. Portable.
#pragma once

#include <stddef.h>

// What a second start of a single-instance launcher does: shows the "already running" report
// (none), brings the running instance's window to the front (front), or that and hands its
// arguments and folder to a static method of the application (method).
enum handover_mode { HANDOVER_NONE, HANDOVER_FRONT, HANDOVER_METHOD, HANDOVER_INVALID };

// Reads the instance_handover setting: empty, "front", or a static method named as
// "package.Class.method", each part a Java identifier. For HANDOVER_METHOD, *class_name (the
// class with '/' between its parts, as FindClass wants it) and *method are new heap texts;
// otherwise both are null.
handover_mode parse_handover_setting(const char *value, char **class_name, char **method);

// The most bytes of one message: a second start with more is refused. Its form: "TRH1", the
// message's size in bytes and its count of texts (each 4 bytes, least significant first), then
// each text as its length in bytes (4 bytes) and its UTF-8 bytes: the working folder first,
// then the arguments. Every text is valid UTF-8 without a NUL.
enum { HANDOVER_MESSAGE_MOST = 65536, HANDOVER_HEADER_SIZE = 8 };

// The answers of the first instance, one byte: taken (and queued for the application),
// refused (malformed), or full (too many messages wait already: try again).
enum { HANDOVER_TAKEN = 'A', HANDOVER_REFUSED = 'R', HANDOVER_FULL = 'B' };

// The message of folder and the count arguments as a new heap block of *size bytes; null when
// it would pass HANDOVER_MESSAGE_MOST.
unsigned char *encode_handover_message(const char *folder, int count, char *const *arguments,
                                       size_t *size);

// The size a message's first HANDOVER_HEADER_SIZE bytes announce, or 0 when they are not a
// message's header or announce more than HANDOVER_MESSAGE_MOST (or less than a folder needs).
size_t handover_message_size(const unsigned char *header);

// A decoded message, in one heap block that free() releases.
struct handover_message {
    const char *folder;
    int count;
    char **arguments;
};

// The message in the size bytes of data; null when they are not exactly one well-formed
// message.
handover_message *decode_handover_message(const unsigned char *data, size_t size);
