/* The platform half of jni.h for Windows, as a mingw-w64 cross build sees it: JNI calls use the
   stdcall convention (decorated as _name@N on 32-bit), and jint is 32 bits on both 32- and 64-bit.

   JNIEXPORT marks nothing for export here: the module's .def file is the one list of exports. With
   __declspec(dllexport) the linker would add its own spelling of each name (without the leading
   underscore a JVM looks for on 32-bit) beside the .def one. */
#ifndef OSTRABEL1_WIN32_JNI_MD_H
#define OSTRABEL1_WIN32_JNI_MD_H

#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
