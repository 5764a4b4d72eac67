// Checking the values of the launcher's settings against their kinds.
#include "builder/setting_check.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "base/handover.h"

#include "base/setting_codec.h"
#include "config/search_methods.h"
#include "config/setting_list.h"

namespace {

enum value_kind { TEXT, MESSAGE, PLAIN_MESSAGE, MAIN_CLASS, FLAG, INTEGER, HEX, FLAG_OFF };

struct listed_setting {
    unsigned id;
    const char *name;
    value_kind kind;
};

const listed_setting listed[] = {
#define TREVALO_SETTING_KIND(name, id, kind, default_text) {id, #name, kind},
    TREVALO_SETTINGS(TREVALO_SETTING_KIND)
#undef TREVALO_SETTING_KIND
};

struct search_method_entry {
    char digit;
    const char *name;
};

const search_method_entry search_methods[] = {
#define TREVALO_SEARCH_METHOD(digit, name, function, description) {digit, #name},
    TREVALO_SEARCH_METHODS(TREVALO_SEARCH_METHOD)
#undef TREVALO_SEARCH_METHOD
};

// The numbers the launcher honours. The splash timer counts milliseconds in 31 bits; the
// service manager's restart delay in 32; the priority indexes the table of six classes.
struct integer_range {
    unsigned id;
    unsigned long low, high;
    bool empty_allowed;  // the launcher reads the empty text as 0, meaning none
    const char *meaning;
};

const integer_range ranges[] = {
    {SETTING_splash_seconds, 0, 2147483, true, "seconds; 0: no fixed time"},
    {SETTING_priority, 0, 5, false,
     "0 realtime, 1 high, 2 above normal, 3 normal, 4 below normal, 5 idle"},
    {SETTING_restart_seconds, 0, 4294967, true, "seconds; 0 or empty: no restart"},
    {SETTING_max_java_version, 0, 65535, true, "a feature version such as 17; 0 or empty: none"},
    {SETTING_output_keep, 0, 999, true, "older output files kept; 0: none"},
    {SETTING_max_heap_percent, 1, 100, true, "percent of the physical memory; empty: none"},
    {SETTING_initial_heap_percent, 1, 100, true, "percent of the physical memory; empty: none"},
    {SETTING_max_heap_mb_min, 1, 4194304, true, "MB; empty: no lower bound"},
    {SETTING_max_heap_mb_max, 1, 4194304, true, "MB; empty: no upper bound"},
};
const integer_range any_number = {0, 0, 2147483647, true, nullptr};

// Longest service name the service manager takes.
const size_t MAX_SERVICE_NAME = 256;

std::string quoted(const std::string &name)
{
    return "'" + name + "'";
}

std::string ascii_lower(std::string text)
{
    for (char &c : text)
        c = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    return text;
}

bool all_digits(const std::string &text, size_t from = 0)
{
    return text.size() > from && text.find_first_not_of("0123456789", from) == std::string::npos;
}

// The decimal number of text (digits only), or false when it has none or passes high.
bool decimal(const std::string &text, unsigned long high, unsigned long *value)
{
    if (!all_digits(text))
        return false;
    *value = 0;
    for (char c : text) {
        *value = *value * 10 + (unsigned long)(c - '0');
        if (*value > high)
            return false;
    }
    return true;
}

const char *search_method_name(char digit)
{
    for (const search_method_entry &m : search_methods)
        if (m.digit == digit)
            return m.name;
    return nullptr;
}

// The launcher tries the methods in turn, so an empty order finds no runtime, and it passes
// over a character that names no method.
std::string search_order_problem(const std::string &order)
{
    std::string methods;
    for (const search_method_entry &m : search_methods)
        methods += std::string(methods.empty() ? "" : ", ") + m.digit + " " + m.name;
    const std::string accepted =
        "digits of the search methods (" + methods + "), such as 8071234569";
    if (order.empty())
        return "'search_order' is empty, so the launcher would look for no runtime: give " +
               accepted;
    for (char c : order)
        if (!search_method_name(c))
            return "'search_order' is " + quoted(shown(order)) + ": " +
                   quoted(std::string(1, c)) + " names no search method; give " + accepted;
    return "";
}

std::string flag_problem(const char *name, const std::string &value, std::string *stored)
{
    const std::string word = ascii_lower(value);
    if (word == "1" || word == "true" || word == "yes" || word == "on")
        *stored = "1";
    else if (word == "0" || word == "false" || word == "no" || word == "off")
        *stored = "0";
    else
        return quoted(name) + " is " + quoted(shown(value)) + ": a flag is 1 (on) or 0 (off); "
               "true, yes and on, false, no and off are read too";
    return "";
}

std::string integer_problem(const listed_setting &s, const std::string &value)
{
    const integer_range *range = &any_number;
    for (const integer_range &r : ranges)
        if (r.id == s.id)
            range = &r;
    unsigned long number;
    if ((value.empty() && range->empty_allowed) ||
        (decimal(value, range->high, &number) && number >= range->low))
        return "";
    return quoted(s.name) + " is " + quoted(shown(value)) + ": give a whole number from " +
           std::to_string(range->low) + " to " + std::to_string(range->high) +
           (range->meaning ? std::string(" (") + range->meaning + ")" : std::string()) +
           (range->empty_allowed ? ", or leave it empty" : "");
}

// Hexadecimal as the launcher reads it: "0x" and one to eight digits.
bool is_prefixed_hex(const std::string &value)
{
    return value.size() > 2 && value.size() <= 10 && value[0] == '0' &&
           (value[1] == 'x' || value[1] == 'X') &&
           value.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
}

// The minimum Java version: hexadecimal (major version in the high 16 bits, minor in the low:
// 0x00010008 is 1.8, 0x00110000 is 17), or written as people name versions, "1.8" or a feature
// version "8" or "17", which is stored in the hexadecimal form the launcher reads (8 and below
// as 1.8 and below, as those versions named themselves). Empty: no minimum.
std::string java_version_problem(const std::string &value, std::string *stored)
{
    if (value.empty() || is_prefixed_hex(value))
        return "";
    unsigned long feature = 0;
    bool dotted = value.size() == 3 && value.compare(0, 2, "1.") == 0 && all_digits(value, 2);
    if (dotted || decimal(value, 999, &feature)) {
        if (dotted)
            feature = (unsigned long)(value[2] - '0');
        char hex[24];
        unsigned long major = feature <= 8 ? 1 : feature, minor = feature <= 8 ? feature : 0;
        snprintf(hex, sizeof hex, "0x%04lX%04lX", major, minor);
        *stored = hex;
        return "";
    }
    return "'java_version' is " + quoted(shown(value)) + ": give a version as 1.8, 8 or 17, or "
           "in hexadecimal as 0x00010008 (1.8) or 0x00110000 (17), or leave it empty";
}

std::string hex_problem(const listed_setting &s, const std::string &value)
{
    if (value.empty() || is_prefixed_hex(value))
        return "";
    return quoted(s.name) + " is " + quoted(shown(value)) +
           ": give a hexadecimal number as 0x and one to eight digits";
}

std::string service_name_problem(const std::string &value)
{
    size_t units = 0;
    for (unsigned char c : value) {
        units += ((c & 0xC0) != 0x80) + (c >= 0xF0);
        if (c == '/' || c == '\\' || c < 0x20)
            return "'service_name' is " + quoted(shown(value)) +
                   ": a service name may not hold '/', '\\' or control characters";
    }
    if (units > MAX_SERVICE_NAME)
        return "'service_name' is " + std::to_string(units) + " characters long; a service "
               "name has at most " + std::to_string(MAX_SERVICE_NAME);
    return "";
}

// The accounts a service may run as without a password: empty is LocalSystem.
std::string service_account_problem(const std::string &value)
{
    if (value.empty() || value == "LocalService" || value == "NetworkService" ||
        value == "virtual")
        return "";
    return "'service_account' is " + quoted(shown(value)) +
           ": it may be empty (LocalSystem), LocalService, NetworkService or virtual";
}

// Empty is the classic rule: what launchers built before the setting existed hold.
std::string command_line_rule_problem(const std::string &value)
{
    if (value.empty() || value == "classic" || value == "windows")
        return "";
    return "'command_line_rule' is " + quoted(shown(value)) + ": give windows (arguments split "
           "as Windows programs split them: CommandLineToArgvW, the C runtime) or classic "
           "(spaces and double quotes only, no escape character), or leave it empty (classic)";
}

// Empty is auto, as the launcher reads it (and as launchers built before the setting hold it).
std::string class_sharing_problem(const std::string &value)
{
    if (value.empty() || value == "auto" || value == "off")
        return "";
    return "'class_sharing' is auto or off, not " + quoted(shown(value));
}

std::string download_url_problem(const std::string &value)
{
    if (value.empty() || is_web_address(value.c_str()))
        return "";
    return "'download_url' is " + quoted(shown(value)) + ": give an http:// or https:// "
           "address (the launcher opens nothing else), or leave it empty";
}

// Empty, front, or a static method as package.Class.method, the form the launcher looks up
// once the virtual machine runs.
std::string instance_handover_problem(const std::string &value)
{
    char *class_name, *method;
    handover_mode mode = parse_handover_setting(value.c_str(), &class_name, &method);
    free(class_name);
    free(method);
    if (mode != HANDOVER_INVALID)
        return "";
    return "'instance_handover' is " + quoted(shown(value)) + ": give front (a second start "
           "brings the running instance's window to the front), a static method as "
           "package.Class.method that takes (String[] arguments, String workingDirectory), or "
           "leave it empty (a second start is refused)";
}

// The form Windows asks of an application user model id: at most 128 characters, no blanks,
// dot-separated parts such as Company.Product or Company.Product.SubProduct.
std::string app_user_model_id_problem(const std::string &value)
{
    if (value.empty())
        return "";
    size_t characters = 0, parts = 1;
    bool empty_part = value.front() == '.' || value.back() == '.';
    for (size_t i = 0; i < value.size(); i++) {
        unsigned char c = (unsigned char)value[i];
        characters += (c & 0xC0) != 0x80;
        if (c <= ' ' || c == 0x7F)
            return "'app_user_model_id' is " + quoted(shown(value)) +
                   ": it may hold no blanks or control characters";
        if (c == '.') {
            parts++;
            empty_part = empty_part || (i + 1 < value.size() && value[i + 1] == '.');
        }
    }
    if (characters > 128)
        return "'app_user_model_id' is " + std::to_string(characters) +
               " characters long; an application user model id has at most 128";
    if (parts < 2 || empty_part)
        return "'app_user_model_id' is " + quoted(shown(value)) +
               ": give dot-separated parts, such as Company.Product or "
               "Company.Product.SubProduct";
    return "";
}

} // namespace

std::string check_setting_value(unsigned id, const std::string &value, std::string *stored)
{
    *stored = value;
    const listed_setting *s = nullptr;
    for (const listed_setting &l : listed)
        if (l.id == id)
            s = &l;
    if (!s)
        return "";
    switch (id) {
    case SETTING_search_order:
        return search_order_problem(value);
    case SETTING_service_name:
        return service_name_problem(value);
    case SETTING_service_account:
        return service_account_problem(value);
    case SETTING_java_version:
        return java_version_problem(value, stored);
    case SETTING_command_line_rule:
        return command_line_rule_problem(value);
    case SETTING_class_sharing:
        return class_sharing_problem(value);
    case SETTING_download_url:
        return download_url_problem(value);
    case SETTING_instance_handover:
        return instance_handover_problem(value);
    case SETTING_app_user_model_id:
        return app_user_model_id_problem(value);
    default:
        break;
    }
    switch (s->kind) {
    case FLAG:
        return flag_problem(s->name, value, stored);
    case FLAG_OFF:
        // Empty is off, as launchers built before the setting hold it.
        return value.empty() ? "" : flag_problem(s->name, value, stored);
    case INTEGER:
        return integer_problem(*s, value);
    case HEX:
        return hex_problem(*s, value);
    default:
        return "";
    }
}

std::string search_method_names(const std::string &order)
{
    std::string names;
    for (char c : order)
        if (const char *name = search_method_name(c))
            names += std::string(names.empty() ? "" : ", ") + c + " " + name;
    return names;
}

std::string windows_name_problem(const std::string &name)
{
    for (unsigned char c : name)
        if (c < 0x20 || std::string("<>:\"/\\|?*").find((char)c) != std::string::npos)
            return "Windows does not allow " +
                   (c < 0x20 ? std::string("control characters")
                             : quoted(std::string(1, (char)c))) + " in a file name";
    if (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        return "Windows drops a blank or a dot at the end of a file name";
    // The part before the first dot, without the blanks Windows drops there, names a device
    // whatever the extension.
    std::string base = ascii_lower(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    bool numbered = base.size() == 4 && (base.compare(0, 3, "com") == 0 ||
                                         base.compare(0, 3, "lpt") == 0) &&
                    base[3] >= '1' && base[3] <= '9';
    if (numbered || base == "con" || base == "prn" || base == "aux" || base == "nul" ||
        base == "conin$" || base == "conout$")
        return "it names the device " + base + " on Windows, whatever its extension";
    return "";
}

std::string shown(const std::string &text)
{
    const size_t MOST = 60;
    size_t characters = 0, at = 0;
    for (; at < text.size(); at++) {
        // Each byte that does not continue a sequence starts a character.
        if (((unsigned char)text[at] & 0xC0) != 0x80 && ++characters > MOST)
            break;
    }
    return at < text.size() ? text.substr(0, at) + "..." : text;
}
