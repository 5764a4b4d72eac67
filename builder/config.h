// The launcher builder's configuration file: "key = value" lines naming the settings of a
// launcher. Portable: parsing and checking depend on no platform interface.
#pragma once

#include <string>
#include <vector>

struct setting_value {
    unsigned id;      // string-table ID
    std::string text; // as stored: the main class already encoded
    bool given;       // by a line of the configuration (else the default)
};

struct builder_config {
    std::vector<setting_value> settings; // every setting, in ID order
    std::vector<std::string> embedded;   // files and folders to pack, as written
    std::vector<int> embedded_lines;     // the line of each
    std::string splash;                  // the splash bitmap (.bmp) as written; empty: none
    std::string architecture;            // of the stub: "x64" (the default), "x86" or "arm64"
    std::string subsystem;               // of the stub: "gui" (the default) or "console"
    std::string icon;                    // the icon file (.ico) as written; empty: the stub's
    // The version information (see builder/version_info.h); all empty: none.
    std::string file_version, product_version; // one to four numbers, as written
    std::string product_name, company_name, file_description, copyright, original_file_name;
    std::string execution_level;         // of the manifest; empty: the stub's (asInvoker)
    std::string main_jar;                // the jar whose manifest names the main class, as
                                         // written; empty: none
    std::string source;                  // the file it was read from, for messages; set by
                                         // the caller
};

// Parses a configuration. Every setting starts from its default (the sample application's
// values for switches, messages and the like; empty for the class path and arguments); each
// line may replace one. A key is a setting's name (see setting_name) or its number; the key
// "embed" may come any number of times and names a file or folder to pack into the launcher;
// "splash" names the bitmap file shown while the application starts; "architecture" (x64, x86
// or arm64) and "subsystem" (gui or console) choose the stub; "icon" names the icon file;
// "file_version", "product_version", "product_name", "company_name", "file_description",
// "copyright" and "original_file_name" give the version information, the versions as one to
// four numbers of 0 to 65535; "execution_level" (asInvoker, highestAvailable or
// requireAdministrator) the manifest's; and "main_jar" a jar that becomes the class path's first
// entry, whose manifest's Main-Class the launcher runs (the main class left empty). The main
// class may be empty only when the class path starts with a jar (the first embedded file when
// files are embedded, which become the class path).
// Blank lines and lines whose first non-blank character is '#' are ignored; blanks around the
// key and the value are dropped. Lines end with LF, CRLF or a lone CR. The text is UTF-8, with or
// without a byte-order mark (the mark is no part of the first line): never the code page of the
// machine the builder runs on, so that a configuration gives the same launcher everywhere.
// Everything that would give a launcher that cannot work is refused: lines that are not valid
// UTF-8 and values holding a NUL byte; message formats the launcher cannot fill;
// main classes no Java class can have, or too long for the folder embedded files are unpacked
// into; settings longer than the string table holds. On success the result is true; otherwise
// error says what is wrong and where, and the result is false.
//
// Each setting's value is checked against its kind (see builder/setting_check.h); with
// check_values false, a value that check refuses is taken as written, as --print reads what a
// launcher built before those checks may hold.
bool parse_config(const std::string &text, builder_config *out, std::string *error,
                  bool check_values = true);

// The UTF-16 text of well-formed UTF-8 (as parse_config leaves every setting): what a launcher's
// string table stores.
std::u16string utf16_of(const std::string &utf8);

// The name of setting id in configuration files, or null for an unknown id.
const char *setting_name(unsigned id);

// True when format may serve as a message: at most one conversion, and that one "%s"; none at
// all when plain, for the messages the launcher shows without an argument ("%%" stands for a
// percent sign and is always fine).
bool is_safe_message_format(const std::string &format, bool plain);
