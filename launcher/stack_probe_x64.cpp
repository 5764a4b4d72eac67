// The stack probe GCC calls on x64 before a function takes more than a page of stack
// (___chkstk_ms: rax holds the size; every register is kept). The compiler's own library has
// one without unwind data, although it pushes two registers: a stack walk that starts inside it
// (a stack overflow is raised there) would go wrong. This one is the same probe with its
// unwind data; the linker takes it before looking in that library. The stub structure test
// fails if a probe without unwind data comes back.
__asm__(".text\n"
        ".globl ___chkstk_ms\n"
        ".def ___chkstk_ms; .scl 2; .type 32; .endef\n"
        ".seh_proc ___chkstk_ms\n"
        "___chkstk_ms:\n"
        "    pushq %rcx\n"
        "    .seh_pushreg %rcx\n"
        "    pushq %rax\n"
        "    .seh_pushreg %rax\n"
        "    .seh_endprologue\n"
        // rcx: the caller's stack pointer before its call; each page below it is touched in
        // turn, so that the guard page moves down one page at a time.
        "    leaq 24(%rsp), %rcx\n"
        "    cmpq $0x1000, %rax\n"
        "    jb 2f\n"
        "1:  subq $0x1000, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    subq $0x1000, %rax\n"
        "    cmpq $0x1000, %rax\n"
        "    ja 1b\n"
        "2:  subq %rax, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    popq %rax\n"
        "    popq %rcx\n"
        "    ret\n"
        ".seh_endproc\n");
