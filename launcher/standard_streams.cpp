// The C runtime's look-up of its standard streams (what stdin, stdout and stderr expand to),
// defined by the launcher with the pointer that dllimport callers read, as a constant. The C
// runtime's own module keeps that pointer as writable data, the only such data of the stub
// besides the report sink: a whole file-aligned section for a few bytes. The answer is the
// same: msvcrt.dll's stream table, entry index.
//
// stdio.h is not included: it declares the function as imported, which this definition
// replaces on purpose. The stream record is msvcrt.dll's, as stdio.h lays it out.
#include <_mingw.h>

struct stream_record {
    char *pointer;
    int count;
    char *base;
    int flags, file, character_buffer, buffer_size;
    char *temporary_name;
};

#ifdef _WIN64
extern "C" __declspec(dllimport) stream_record *__cdecl __iob_func();
#define STREAM_TABLE __iob_func()
#else
extern "C" __declspec(dllimport) stream_record _iob[];
#define STREAM_TABLE _iob
#endif

extern "C" stream_record *__cdecl __acrt_iob_func(unsigned index)
{
    return &STREAM_TABLE[index];
}

extern "C" stream_record *(__cdecl *const __MINGW_IMP_SYMBOL(__acrt_iob_func))(unsigned) =
    __acrt_iob_func;
