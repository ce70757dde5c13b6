/* The platform half of jni.h for Windows, as a mingw-w64 cross build sees it: JNI calls use the
   stdcall convention (decorated as _name@N on 32-bit), and jint is 32 bits on both 32- and 64-bit. */
#ifndef OSTRABEL1_WIN32_JNI_MD_H
#define OSTRABEL1_WIN32_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
