// The execution level the launcher's manifest asks Windows for: run as the invoker, with the
// highest rights the user can have, or as an administrator (Windows asks for consent before
// the start). Portable.
#pragma once

#include <string>

#include "builder/pe_resources.h"

enum { RT_MANIFEST_TYPE = 24 };

// True for asInvoker, highestAvailable and requireAdministrator.
bool is_execution_level(const std::string &level);

// Rewrites the level attribute of the requestedExecutionLevel element in the image's manifest
// (RT_MANIFEST 1); an empty level keeps the manifest as it is. Refuses an image without
// a manifest, or whose manifest does not hold that element exactly once with its level.
bool apply_execution_level(pe_image *image, const std::string &level, std::string *error);

// The level the image's manifest asks for, refused as apply_execution_level refuses.
bool read_execution_level(const pe_image &image, std::string *level, std::string *error);
