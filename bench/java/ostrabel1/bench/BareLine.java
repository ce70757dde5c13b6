package ostrabel1.bench;

/**
 * A pseudo-terminal line for the JVM benchmark, and the baseline it measures against: a JNI call
 * into a native that does nothing but the bare read(2) or write(2) of one byte. The natives live
 * in the bench-only library {@code ostrabel1_jvmbench}.
 */
final class BareLine {
    private BareLine() {
    }

    /** Creates a pseudo-terminal pair and a plain descriptor on its near end; 0 on failure. */
    static native long open();

    static native void close(long line);

    /** The near end's device path, which the library opens as its port. */
    static native String slavePath(long line);

    /** The plain (blocking) descriptor on the near end. */
    static native int bareFd(long line);

    /** Puts {@code count} bytes 0, 1, 2, ... (mod 256) on the line and waits until all are readable. */
    static native boolean feed(long line, int count);

    /** Takes {@code count} bytes that the near end wrote off the line. */
    static native boolean drain(long line, int count);

    /** The baseline read: read(2) of one byte, 0 to 255, or -1. */
    static native int read(int fd);

    /** The baseline write: write(2) of one byte, 1 on success. */
    static native int write(int fd, int value);

    /** A counter of this thread's system calls (never freed: one per run). */
    static native long newSyscallCounter();

    /** Why the counter can't count, or null when it can. */
    static native String syscallCounterError(long counter);

    static native void startCounting(long counter);

    /** System calls since startCounting, or -1 when the counter can't count. */
    static native long stopCounting(long counter);
}
