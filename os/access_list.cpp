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

// Rights that remove, rename or replace a folder or its entries, rewrite its access list or
// take it over: what nobody but the trusted may hold on the base of the private folders, where
// others may create entries.
enum : uint32_t {
    REPLACING_RIGHTS = 0x0040 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000,
};

static bool grants_none(bool owner_trusted, bool has_list, const access_entry *entries,
                        size_t count, uint32_t rights)
{
    if (!owner_trusted || !has_list)
        return false;
    for (size_t i = 0; i < count; i++)
        if (entries[i].allows && !entries[i].trusted && (entries[i].rights & rights))
            return false;
    return true;
}

bool access_list_is_private(bool owner_trusted, bool has_list, const access_entry *entries,
                            size_t count)
{
    return grants_none(owner_trusted, has_list, entries, count, CHANGING_RIGHTS);
}

bool access_list_keeps_base(bool owner_trusted, bool has_list, const access_entry *entries,
                            size_t count)
{
    return grants_none(owner_trusted, has_list, entries, count, REPLACING_RIGHTS);
}
