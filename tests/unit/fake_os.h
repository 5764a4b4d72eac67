// The host build's registry: an in-memory table that tests fill. Key paths are compared
// without regard to case, as Windows does; sub-keys are enumerated in name order.
#pragma once

// Sets value of key (creating the key and its parents) to a text.
void fake_registry_set_text(const char *key, const char *value, const char *text);

// Sets value of key to a number (not a text: reads of it answer 1).
void fake_registry_set_number(const char *key, const char *value, unsigned number);

// Creates key (and its parents) without values.
void fake_registry_add_key(const char *key);

// Empties the table.
void fake_registry_clear();

// Makes the listing of directory fail: at its start, or at the first step after it (null:
// no failure).
void fake_listing_failure(const char *directory, bool at_start);
