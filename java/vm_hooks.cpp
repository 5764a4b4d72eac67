// The virtual machine's output, exit and abort hooks and the process-wide state they reach.
// Portable: the system is reached through the system seam.
#include "java/vm_hooks.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "base/memory.h"
#include "java/class_sharing.h"
#include "os/os.h"
#include "os/report.h"
#include "os/trace.h"

enum { OUTPUT_PIECE_SIZE = 4096, OUTPUT_TAIL_SIZE = 16384 };

// The state the hooks reach, one object for the process: the virtual machine's hooks (exit,
// abort, vfprintf and the C runtime's calls replaced in its library) carry no pointer of the
// launcher's.
static struct {
    // The last OUTPUT_TAIL_SIZE bytes the virtual machine printed, kept for the message shown
    // when it fails: a ring appended by the output hook on any VM thread and taken by the
    // exit and abort hooks and after a failed creation. A spin lock serialises both sides.
    char *output_tail; // allocated at the first piece
    size_t tail_start, tail_length;
    char tail_lock;
    // Set while JNI_CreateJavaVM runs: an abort then means the virtual machine never
    // started. The message and the library path a failed creation is reported with go with it.
    std::atomic<bool> creating;
    const char *creation_message, *creation_library;
    // The C runtime's exit, _exit and vfprintf that the runtime library called before
    // watch_runtime_exit.
    void (*runtime_exit)(int), (*runtime_quick_exit)(int);
    int (*runtime_vfprintf)(FILE *, const char *, va_list);
    int (*runtime_write)(int, const void *, unsigned);
    // The runtime's C library: its standard streams, and the fwrite for the other ones (zero
    // until the library is loaded, or when it has none that is known).
    runtime_c_streams runtime_streams;
    // The entry point's hook, run before the virtual machine ends the process.
    void (*application_end_hook)(int failure);
    // What a start failure ends the process with; -1 until the entry point sets it (a member
    // with a non-zero initial value would bring back a writable data section).
    bool start_failure_set;
    int start_failure_status;
    // This run's record for the next start, or null.
    os_file *run_record;
} hooked;

static void lock_tail()
{
    while (__atomic_test_and_set(&hooked.tail_lock, __ATOMIC_ACQUIRE))
        ;
}

static void unlock_tail()
{
    __atomic_clear(&hooked.tail_lock, __ATOMIC_RELEASE);
}

static void keep_in_tail(const char *piece, size_t n)
{
    if (n > OUTPUT_TAIL_SIZE) {
        piece += n - OUTPUT_TAIL_SIZE;
        n = OUTPUT_TAIL_SIZE;
    }
    size_t end = (hooked.tail_start + hooked.tail_length) % OUTPUT_TAIL_SIZE;
    size_t first = n < OUTPUT_TAIL_SIZE - end ? n : OUTPUT_TAIL_SIZE - end;
    memcpy(hooked.output_tail + end, piece, first);
    memcpy(hooked.output_tail, piece + first, n - first);
    hooked.tail_length += n;
    if (hooked.tail_length > OUTPUT_TAIL_SIZE) {
        hooked.tail_start =
            (hooked.tail_start + hooked.tail_length - OUTPUT_TAIL_SIZE) % OUTPUT_TAIL_SIZE;
        hooked.tail_length = OUTPUT_TAIL_SIZE;
    }
}

// Writes what the virtual machine prints to a stream of its own that is not a standard one
// (a log file of "-Xlog:...:file=") into that stream, whole however long; true when it did.
static bool pass_to_runtime_stream(FILE *stream, const char *format, va_list args, int *length)
{
    if (!stream || !hooked.runtime_streams.write || stream == hooked.runtime_streams.out ||
        stream == hooked.runtime_streams.err)
        return false;
    size_t size = OUTPUT_PIECE_SIZE;
    char *text;
    for (;;) {
        text = (char *)must_alloc(size);
        va_list copy;
        va_copy(copy, args);
        *length = format_text(text, size, format, copy);
        va_end(copy);
        if ((size_t)*length < size - 1 || size >= 4 * 1024 * 1024)
            break;
        free(text);
        size *= 4;
    }
    hooked.runtime_streams.write(text, 1, (size_t)*length, stream);
    free(text);
    return true;
}

jint JNICALL jvm_output_hook(FILE *stream, const char *format, va_list args)
{
    int n;
    if (pass_to_runtime_stream(stream, format, args, &n))
        return n;
    char piece[OUTPUT_PIECE_SIZE];
    n = format_text(piece, sizeof piece, format, args);
    if (is_class_sharing_remark(piece))
        return n;
    write_standard_error(piece, (size_t)n);
    lock_tail();
    if (!hooked.output_tail)
        hooked.output_tail = (char *)must_alloc(OUTPUT_TAIL_SIZE);
    keep_in_tail(piece, (size_t)n);
    unlock_tail();
    return n;
}

// The output hook with the arguments given here.
static void output_text(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    jvm_output_hook(nullptr, format, args);
    va_end(args);
}

char *take_jvm_message_text()
{
    lock_tail();
    char *text = nullptr;
    if (hooked.tail_length > 0) {
        text = (char *)must_alloc(hooked.tail_length + 1);
        size_t room = OUTPUT_TAIL_SIZE - hooked.tail_start;
        size_t first = hooked.tail_length < room ? hooked.tail_length : room;
        memcpy(text, hooked.output_tail + hooked.tail_start, first);
        memcpy(text + first, hooked.output_tail, hooked.tail_length - first);
    }
    hooked.tail_start = hooked.tail_length = 0;
    unlock_tail();
    return text;
}

void set_start_failure_status(int status)
{
    hooked.start_failure_status = status;
    hooked.start_failure_set = true;
}

void set_application_end_hook(void (*hook)(int failure))
{
    hooked.application_end_hook = hook;
}

// Reports that the chosen runtime library could not create a virtual machine, with what the
// virtual machine printed about why.
static void report_creation_failure()
{
    char *vm_text = take_jvm_message_text();
    if (vm_text)
        report_error_with_detail(hooked.creation_message, hooked.creation_library, vm_text);
    else
        report_error(hooked.creation_message, hooked.creation_library);
    free(vm_text);
}

void set_run_record(os_file *record)
{
    hooked.run_record = record;
}

// Writes the step the run reached to its record.
static void note_run_step(const char *step)
{
    if (hooked.run_record)
        write_file(hooked.run_record, step, (uint32_t)strlen(step));
}

void begin_vm_creation(const char *message, const char *library)
{
    note_run_step("starting\n");
    hooked.creation_message = message;
    hooked.creation_library = library;
    hooked.creating = true;
}

void end_vm_creation(bool created)
{
    hooked.creating = false;
    note_run_step(created ? "created\n" : "failed\n");
    if (!created)
        report_creation_failure();
}

// What both hooks do before the process ends: the virtual machine's own account of a failure
// (failure not 0) is shown, then the entry point's hook runs.
static void finish_run(int failure)
{
    char *text = take_jvm_message_text();
    if (text && failure)
        report_error("%s", text);
    free(text);
    if (hooked.application_end_hook)
        hooked.application_end_hook(failure);
}

void JNICALL jvm_exit_hook(jint status)
{
    trace("the virtual machine ends the process: System.exit(%d)", (int)status);
    finish_class_sharing();
    finish_run((int)status);
    exit((int)status);
}

// A start failure found while the virtual machine was being created: reported with what it
// printed; the process ends as every other start failure ends it.
static void end_failed_creation()
{
    trace("the virtual machine ends the process while it is created");
    note_run_step("failed\n");
    report_creation_failure();
    if (hooked.application_end_hook)
        hooked.application_end_hook(APPLICATION_FAILED);
    exit(hooked.start_failure_set ? hooked.start_failure_status : -1);
}

static void runtime_exit_call(int status)
{
    if (hooked.creating)
        end_failed_creation();
    hooked.runtime_exit(status);
}

static void runtime_quick_exit_call(int status)
{
    if (hooked.creating)
        end_failed_creation();
    hooked.runtime_quick_exit(status);
}

// What the virtual machine prints before it has read its options (and with them the
// "vfprintf" hook) goes to the C runtime: during the creation it goes where the hook sends it.
static int runtime_vfprintf_call(FILE *stream, const char *format, va_list args)
{
    if (hooked.creating)
        return jvm_output_hook(stream, format, args);
    return hooked.runtime_vfprintf(stream, format, args);
}

// Text for the standard streams that the virtual machine writes without its hook (its "tty"
// writes to descriptor 1 or 2): during the creation, where the hook sends it.
static int runtime_write_call(int descriptor, const void *bytes, unsigned count)
{
    if (!hooked.creating || (descriptor != 1 && descriptor != 2))
        return hooked.runtime_write(descriptor, bytes, count);
    output_text("%.*s", (int)count, (const char *)bytes);
    return (int)count;
}

void watch_runtime_exit(void *library)
{
    if (!find_runtime_c_streams(library, &hooked.runtime_streams))
        hooked.runtime_streams = {};
    void *original;
    if (replace_library_import(library, "exit", (void *)runtime_exit_call, &original))
        hooked.runtime_exit = (void (*)(int))original;
    if (replace_library_import(library, "_exit", (void *)runtime_quick_exit_call, &original))
        hooked.runtime_quick_exit = (void (*)(int))original;
    if (replace_library_import(library, "vfprintf", (void *)runtime_vfprintf_call, &original))
        hooked.runtime_vfprintf = (int (*)(FILE *, const char *, va_list))original;
    if (replace_library_import(library, "_write", (void *)runtime_write_call, &original))
        hooked.runtime_write = (int (*)(int, const void *, unsigned))original;
}

void JNICALL jvm_abort_hook()
{
    trace("the virtual machine aborts");
    // An abort while the virtual machine is being created means it could not start: that is
    // reported as a failed creation and ends the process as every other start failure does.
    if (hooked.creating)
        end_failed_creation();
    // Written first: what follows shows a message, and the process may end before it is read.
    note_run_step("aborted\n");
    finish_run(APPLICATION_FAILED);
    abort();
}
