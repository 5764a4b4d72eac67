// Benchmark helper (host): the cost of the virtual machine's output through the launcher's
// "vfprintf" hook (forwarded to standard error, the last 16 KB kept) against the same lines
// printed straight to standard error, as a runtime without the hook prints them.
//
//   output_bench LINES     prints "hook_us=<n>", "direct_us=<n>" and "ratio=<hook/direct>"
//                          on standard output; send standard error where the lines should go.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "java/vm_hooks.h"

static long long now_us()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

// A line as HotSpot's collector log prints it, through the hook or straight.
static void print(bool through_hook, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (through_hook)
        jvm_output_hook(stderr, format, args);
    else
        vfprintf(stderr, format, args);
    va_end(args);
}

static long long run(bool through_hook, int lines)
{
    long long start = now_us();
    for (int i = 0; i < lines; i++)
        print(through_hook, "[%d.%03ds][info][gc] GC(%d) Pause Young (Normal) %dM->%dM(%dM) %d.%03dms\n",
              i / 1000, i % 1000, i, 24 + i % 7, 3 + i % 5, 256, i % 3, i % 1000);
    return now_us() - start;
}

int main(int argc, char **argv)
{
    int lines = argc > 1 ? atoi(argv[1]) : 40000;
    long long hook = run(true, lines), direct = run(false, lines);
    free(take_jvm_message_text());
    printf("hook_us=%lld\ndirect_us=%lld\nratio=%.3f\n", hook, direct, (double)hook / direct);
    return 0;
}
