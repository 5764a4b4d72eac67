/* Machine-dependent JNI types and linkage for Windows (x86 and x86-64), used with the JDK's
   jni.h when cross-compiling: the JDK on the build machine ships only the companion header of
   its own platform, whose jint and calling convention are wrong for a Windows jvm.dll. */
#ifndef TREVALO_JNI_MD_H
#define TREVALO_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
/* On x86 every JNI function, invocation entry point and VM hook uses the Windows API
   convention: the callee pops its arguments, so a caller and a callee that disagree corrupt
   the stack. x86-64 has one calling convention. */
#ifdef _WIN64
#define JNICALL
#else
#define JNICALL __stdcall
#endif

/* On Windows long is 32 bits in both 32- and 64-bit code, so jint is long as in the JDK's
   own win32 header; this keeps jint and JNI function types identical to a real runtime's. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
