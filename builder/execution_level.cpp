// The execution level in the launcher's manifest.
#include "builder/execution_level.h"

namespace {

const char ELEMENT[] = "<requestedExecutionLevel";

// Index of the image's manifest (RT_MANIFEST 1, any language) in its resources, or -1.
int find_manifest(const pe_image &image)
{
    for (size_t i = 0; i < image.resources.size(); i++) {
        const pe_resource &r = image.resources[i];
        if (r.type.text.empty() && r.type.number == RT_MANIFEST_TYPE && r.name.text.empty() &&
            r.name.number == 1)
            return (int)i;
    }
    return -1;
}

// Where the value of the element's level attribute starts in text and how long it is.
bool find_level(const std::string &text, size_t *at, size_t *length, std::string *error)
{
    size_t element = text.find(ELEMENT);
    if (element == std::string::npos ||
        text.find(ELEMENT, element + 1) != std::string::npos) {
        *error = std::string("the stub's manifest must hold one ") + ELEMENT +
                 "> element to set the execution level; it holds " +
                 (element == std::string::npos ? "none" : "several");
        return false;
    }
    size_t end = text.find('>', element);
    // The attribute, preceded by a blank so that uiAccess= or a longer name is not taken.
    for (size_t p = element + sizeof ELEMENT - 1; end != std::string::npos && p < end; p++) {
        bool blank = text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n';
        if (!blank || text.compare(p + 1, 6, "level=") != 0)
            continue;
        char quote = text[p + 7];
        size_t close = text.find(quote, p + 8);
        if ((quote != '"' && quote != '\'') || close == std::string::npos || close > end)
            break;
        *at = p + 8;
        *length = close - *at;
        return true;
    }
    *error = std::string("the stub's manifest has a ") + ELEMENT +
             "> element without a level attribute";
    return false;
}

} // namespace

bool is_execution_level(const std::string &level)
{
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

bool apply_execution_level(pe_image *image, const std::string &level, std::string *error)
{
    if (level.empty())
        return true;
    if (!is_execution_level(level)) {
        *error = "execution level '" + level +
                 "' is not asInvoker, highestAvailable or requireAdministrator";
        return false;
    }
    int found = find_manifest(*image);
    if (found < 0) {
        *error = "the stub has no manifest (RT_MANIFEST 1) to set the execution level in";
        return false;
    }
    std::vector<unsigned char> &data = image->resources[found].data;
    std::string text(data.begin(), data.end());
    size_t at, length;
    if (!find_level(text, &at, &length, error))
        return false;
    text.replace(at, length, level);
    data.assign(text.begin(), text.end());
    return true;
}

bool read_execution_level(const pe_image &image, std::string *level, std::string *error)
{
    int found = find_manifest(image);
    if (found < 0) {
        *error = "the program has no manifest (RT_MANIFEST 1)";
        return false;
    }
    const std::vector<unsigned char> &data = image.resources[found].data;
    std::string text(data.begin(), data.end());
    size_t at, length;
    if (!find_level(text, &at, &length, error))
        return false;
    *level = text.substr(at, length);
    return true;
}
