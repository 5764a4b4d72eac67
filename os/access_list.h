// The private-folder decision on an access list, apart from the system calls that read it, so
// that every right it weighs can be checked on any system.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One entry of a folder's access list: whether it allows its rights (rather than denying or
// auditing them), whether its holder is trusted (the system, administrators, the creator-owner
// placeholder or the process's own account), and its rights as Windows writes them.
struct access_entry {
    bool allows;
    bool trusted;
    uint32_t rights;
};

// True when the folder's owner is trusted, it has an access list (a folder without one grants
// everyone everything), and no entry allows an untrusted holder a right that changes the
// folder, its entries or what is created in it, rewrites its access list or takes it over.
bool access_list_is_private(bool owner_trusted, bool has_list, const access_entry *entries,
                            size_t count);

// As access_list_is_private, for the base of the private folders: untrusted holders may create
// entries in it, but not remove, rename or replace it or its entries, rewrite its access list
// or take it over.
bool access_list_keeps_base(bool owner_trusted, bool has_list, const access_entry *entries,
                            size_t count);
