// The natives of ostrabel1.bench.BareLine: a pseudo-terminal line for the JVM benchmark, and the
// JVM baseline itself, a JNI call that does nothing but the bare read(2) or write(2) of one byte.
// A line is handed to Java as the address of a heap object, returned by open and ended by close.
#include <jni.h>
#include <unistd.h>

#include <new>

#include "pty_pair.h"
#include "syscall_counter.h"

namespace {

struct Line {
    bench::PtyPair pty;
    int bare_fd = -1;
    ~Line() {
        if (bare_fd >= 0) close(bare_fd);
    }
};

Line* line_of(jlong line) { return reinterpret_cast<Line*>(line); }
bench::SyscallCounter* counter_of(jlong counter) { return reinterpret_cast<bench::SyscallCounter*>(counter); }

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_ostrabel1_bench_BareLine_open(JNIEnv*, jclass) {
    Line* line = new (std::nothrow) Line;
    if (line == nullptr) return 0;
    if (!line->pty.open() || (line->bare_fd = bench::open_bare(line->pty.slave_path())) < 0 ||
        !bench::make_raw(line->bare_fd)) {
        delete line;
        return 0;
    }
    return reinterpret_cast<jlong>(line);
}

JNIEXPORT void JNICALL Java_ostrabel1_bench_BareLine_close(JNIEnv*, jclass, jlong line) { delete line_of(line); }

JNIEXPORT jstring JNICALL Java_ostrabel1_bench_BareLine_slavePath(JNIEnv* env, jclass, jlong line) {
    return env->NewStringUTF(line_of(line)->pty.slave_path().c_str());
}

JNIEXPORT jint JNICALL Java_ostrabel1_bench_BareLine_bareFd(JNIEnv*, jclass, jlong line) {
    return line_of(line)->bare_fd;
}

JNIEXPORT jboolean JNICALL Java_ostrabel1_bench_BareLine_feed(JNIEnv*, jclass, jlong line, jint count) {
    return line_of(line)->pty.feed(count, line_of(line)->bare_fd) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_ostrabel1_bench_BareLine_drain(JNIEnv*, jclass, jlong line, jint count) {
    return line_of(line)->pty.drain(count) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jint JNICALL Java_ostrabel1_bench_BareLine_read(JNIEnv*, jclass, jint fd) {
    unsigned char byte = 0;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

JNIEXPORT jint JNICALL Java_ostrabel1_bench_BareLine_write(JNIEnv*, jclass, jint fd, jint value) {
    const auto byte = static_cast<unsigned char>(value);
    return write(fd, &byte, 1) == 1 ? 1 : 0;
}

JNIEXPORT jlong JNICALL Java_ostrabel1_bench_BareLine_newSyscallCounter(JNIEnv*, jclass) {
    return reinterpret_cast<jlong>(new (std::nothrow) bench::SyscallCounter);
}

JNIEXPORT jstring JNICALL Java_ostrabel1_bench_BareLine_syscallCounterError(JNIEnv* env, jclass, jlong counter) {
    return counter_of(counter)->available() ? nullptr : env->NewStringUTF(counter_of(counter)->error().c_str());
}

JNIEXPORT void JNICALL Java_ostrabel1_bench_BareLine_startCounting(JNIEnv*, jclass, jlong counter) {
    if (counter_of(counter)->available()) counter_of(counter)->start();
}

JNIEXPORT jlong JNICALL Java_ostrabel1_bench_BareLine_stopCounting(JNIEnv*, jclass, jlong counter) {
    return counter_of(counter)->available() ? static_cast<jlong>(counter_of(counter)->stop()) : -1;
}

}  // extern "C"
