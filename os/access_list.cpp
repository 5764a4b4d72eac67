// The private-folder decision on an access list. Portable.
#include "os/access_list.h"

// Every right that changes a folder, its entries or what is created in it, its access list
// (WRITE_DAC) or its owner (WRITE_OWNER), alone or within a generic right.
enum : uint32_t {
    CHANGING_RIGHTS = 0x0002      // FILE_WRITE_DATA, FILE_ADD_FILE
                      | 0x0004    // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
                      | 0x0010    // FILE_WRITE_EA
                      | 0x0040    // FILE_DELETE_CHILD
                      | 0x0100    // FILE_WRITE_ATTRIBUTES
                      | 0x10000   // DELETE
                      | 0x40000   // WRITE_DAC
                      | 0x80000   // WRITE_OWNER
                      | 0x10000000  // GENERIC_ALL
                      | 0x40000000, // GENERIC_WRITE
};

bool access_list_is_private(bool owner_trusted, bool has_list, const access_entry *entries,
                            size_t count)
{
    if (!owner_trusted || !has_list)
        return false;
    for (size_t i = 0; i < count; i++)
        if (entries[i].allows && !entries[i].trusted && (entries[i].rights & CHANGING_RIGHTS))
            return false;
    return true;
}
