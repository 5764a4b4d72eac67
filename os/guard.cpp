// The guard of a run with more rights than its user's other programs. Portable: the process's
// rights, Wine, the environment and the folders come through the system seam.
#include "os/guard.h"

#include <stdlib.h>
#include <string.h>

#include "base/text.h"
#include "os/os.h"
#include "os/trace.h"

run_guard guard_for(bool service)
{
    bool privileged = service || process_is_elevated();
    bool wine = privileged && under_wine();
    return {privileged && !wine, service, wine};
}

void remove_user_jvm_variables()
{
#define TREVALO_REMOVE_INPUT(input, kind, how)                                                 \
    if (INPUT_##kind == INPUT_REMOVED && remove_environment_variable(input))                   \
        trace("guarded run: %s removed from the environment", input);
    TREVALO_GUARDED_INPUTS(TREVALO_REMOVE_INPUT)
#undef TREVALO_REMOVE_INPUT
}

// Makes the Trevalo level at path, or takes it when it exists and passes the check.
static held_folder make_root_level(const char *path, bool own_account)
{
    if (create_private_directory(path, own_account) == FOLDER_FAILED)
        return FOLDER_UNOPENED;
    return hold_private_directory(path, own_account);
}

char *private_root_folder(bool own_account, char **failed, bool *refused)
{
    *failed = nullptr;
    *refused = false;
    char *base = program_data_directory();
    if (!base) {
        *failed = join_text("%ProgramData%", "");
        return nullptr;
    }
    // The base ends with a backslash; the check wants the folder's own name.
    base[strlen(base) - 1] = '\0';
    held_folder held = hold_base_directory(base, own_account);
    if (held != FOLDER_HELD) {
        *refused = held == FOLDER_REFUSED;
        *failed = base;
        return nullptr;
    }
    char *root = join_text(base, "\\Trevalo");
    free(base);
    held = make_root_level(root, own_account);
    // Anyone may create a folder in the program data: one made before any guarded run, or
    // one that is a link, is no reason never to start again. It is moved aside (its files are
    // never used) to the first free name of Trevalo.1 to Trevalo.99, and the level made anew.
    for (unsigned n = 1; held == FOLDER_REFUSED && n < 100; n++) {
        char number[4] = {'.', (char)('0' + n / 10), (char)('0' + n % 10), '\0'};
        char *aside = n < 10 ? join_text(root, ".", number + 2) : join_text(root, number);
        bool free_name = path_attributes(aside) < 0;
        bool moved = free_name && replace_file(root, aside);
        if (moved) {
            trace("the folder %s could be changed by other accounts: moved aside to %s, and "
                  "made again",
                  root, aside);
            held = make_root_level(root, own_account);
        }
        free(aside);
        if (free_name && !moved)
            break;
    }
    if (held != FOLDER_HELD) {
        *refused = held == FOLDER_REFUSED;
        *failed = root;
        return nullptr;
    }
    return root;
}
