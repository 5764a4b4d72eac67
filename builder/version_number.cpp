// Version numbers as a configuration writes them.
#include "builder/version_number.h"

#include "builder/setting_check.h"

bool parse_version_number(const std::string &text, uint16_t version[4], std::string *error)
{
    size_t at = 0;
    for (int i = 0; i < 4; i++)
        version[i] = 0;
    for (int i = 0; i < 4; i++) {
        size_t end = text.find('.', at);
        std::string part = text.substr(at, end == std::string::npos ? end : end - at);
        if (part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos || stoul(part) > 65535) {
            *error = "version '" + shown(text) + "' is not one to four numbers of 0 to 65535 joined "
                     "by dots, such as 1.2.3.4";
            return false;
        }
        version[i] = (uint16_t)stoul(part);
        if (end == std::string::npos)
            return true;
        at = end + 1;
    }
    *error = "version '" + shown(text) + "' has more than four numbers";
    return false;
}

std::string version_text(const uint16_t version[4])
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}
