// The string list: a growable text for building ";"-joined path lists and the option text.
#pragma once

// Created zero-filled; text stays null until the first append. The owner frees text.
struct string_list {
    char *text;
    int length;   // characters in text
    int capacity; // bytes allocated for text
};

// Appends text (null or empty: nothing). The first append allocates 4 times the text's length
// or 1024 bytes, whichever is more; a full list grows by the same amount.
void string_list_append(string_list *list, const char *text);
