// The three look-ups of the program's own section table that the C runtime's relocator
// (_pei386_runtime_relocator, which the entry points call) asks for. Defined here, the linker
// takes them from this file instead of the C runtime's module that holds them beside several
// functions the stub never calls: about 1 KB of code and its unwind data in every stub. They
// answer as that module does for a valid image, which the running program's own always is.
#include <windows.h>

// The image of the running program, placed by the linker, under the name the C runtime's
// relocator uses for it: on x64 the two share one pointer to it in the read-only data.
extern "C" IMAGE_DOS_HEADER image_base __asm__("__image_base__");

static IMAGE_NT_HEADERS *image_headers()
{
    return (IMAGE_NT_HEADERS *)((BYTE *)&image_base + image_base.e_lfanew);
}

// The program's base address.
extern "C" BYTE *_GetPEImageBase()
{
    return (BYTE *)&image_base;
}

extern "C" int __mingw_GetSectionCount()
{
    return image_headers()->FileHeader.NumberOfSections;
}

// The section that holds address, or null when none does.
extern "C" IMAGE_SECTION_HEADER *__mingw_GetSectionForAddress(void *address)
{
    DWORD_PTR rva = (DWORD_PTR)((BYTE *)address - (BYTE *)&image_base);
    IMAGE_NT_HEADERS *headers = image_headers();
    IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; i++, section++)
        if (rva >= section->VirtualAddress &&
            rva < section->VirtualAddress + section->Misc.VirtualSize)
            return section;
    return nullptr;
}
