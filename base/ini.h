// Looking a value up in the text of an INI file, as Windows' profile functions read one.
#pragma once

// The value of key in section of text (the whole file, UTF-8), as a new heap text; null when
// the key is absent or its value empty. Lines end with LF or CRLF; blanks around section
// names, keys and values are dropped; section and key names are compared without regard to
// ASCII case; the first match counts. A value in double or single quotes loses them. Lines
// starting with ';' are comments.
char *ini_value(const char *text, const char *section, const char *key);
