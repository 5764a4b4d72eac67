// What the ARM64 stubs would otherwise take from the C runtime's static library, which does not
// exist for this target on the build machines: everything else of the C runtime they use is
// imported from msvcrt.dll (see imports/msvcrt.def).
#include <windows.h>

// The fix-up of data reached in DLLs without dllimport, which the entry points call first. The
// ARM64 linker refuses such a reference instead of leaving one to fix, so there is none.
extern "C" void _pei386_runtime_relocator(void) {}

// The C runtime's look-up of its standard streams (what stdin, stdout and stderr expand to),
// with the import pointer through which the headers' dllimport declaration calls it: the
// answer is msvcrt.dll's stream table, entry index. stdio.h is not included: it declares the
// function as imported, which this definition stands in for. The stream record is
// msvcrt.dll's, as stdio.h lays it out.
struct stream_record {
    char *pointer;
    int count;
    char *base;
    int flags, file, character_buffer, buffer_size;
    char *temporary_name;
};

extern "C" __declspec(dllimport) stream_record *__cdecl __iob_func();

extern "C" stream_record *__cdecl __acrt_iob_func(unsigned index)
{
    return &__iob_func()[index];
}

extern "C" stream_record *(__cdecl *const __MINGW_IMP_SYMBOL(__acrt_iob_func))(unsigned) =
    __acrt_iob_func;

// The stack probe the compiler calls before a function takes more than a page of stack: x15
// holds the size in units of 16 bytes. Each page below the stack pointer is touched in order,
// so that the guard page below the committed stack moves down a page at a time as Windows
// requires; only x16 and x17 change. A leaf: it needs no unwind data.
__asm__(".text\n"
        ".globl __chkstk\n"
        ".p2align 2\n"
        "__chkstk:\n"
        "    lsl x16, x15, #4\n"
        "    mov x17, sp\n"
        "1:  sub x17, x17, #4096\n"
        "    subs x16, x16, #4096\n"
        "    ldr xzr, [x17]\n"
        "    b.gt 1b\n"
        "    ret\n");
