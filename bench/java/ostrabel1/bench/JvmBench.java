package ostrabel1.bench;

import java.util.Arrays;
import java.util.Locale;

import javax.comm.BenchNatives;

/**
 * The library's readbyte and writebyte called from Java through JNI, against a JNI call into a
 * native that does only the bare read(2) or write(2) of one byte, on the same pseudo-terminal
 * line. Batches of each kind alternate, so that a change in machine load falls on both alike.
 * Prints table rows in the form that scripts/bench merges ("ROW" and tab-separated fields).
 */
public final class JvmBench {
    /** Bytes per timed batch: well inside the 4 KiB input queue. */
    private static final int BATCH = 1024;
    /** Enough calls for the JIT to compile every loop here before anything is timed. */
    private static final int WARM_UP_ROUNDS = 300;
    private static final int ROUNDS = 200;
    /** 115200 baud with 8 data bits, no parity and 1 stop bit: 10 bits on the wire per byte. */
    private static final double LINE_BYTES_PER_SECOND = 115200 / 10.0;

    private static long checksum;

    private JvmBench() {
    }

    public static void main(String[] args) {
        System.loadLibrary("ostrabel1_jvmbench");
        long line = BareLine.open();
        if (line == 0) {
            fail("could not create a pseudo-terminal line");
        }
        String path = BareLine.slavePath(line);
        int fd = BareLine.bareFd(line);
        int handle = BenchNatives.openPort(path);
        if (handle == 0) {
            fail("the library could not open " + path);
        }
        // A lost byte ends a read after a second rather than hanging the run.
        BenchNatives.setReceiveTimeout(handle, 1000);

        for (int round = 0; round < WARM_UP_ROUNDS; round++) {
            timeLibraryReads(line, handle);
            timeBareReads(line, fd);
            timeLibraryWrites(line, handle);
            timeBareWrites(line, fd);
            timeNops();
        }
        double[] nops = new double[ROUNDS];
        double[] libraryReads = new double[ROUNDS];
        double[] bareReads = new double[ROUNDS];
        double[] libraryWrites = new double[ROUNDS];
        double[] bareWrites = new double[ROUNDS];
        for (int round = 0; round < ROUNDS; round++) {
            if (round % 2 == 0) {
                libraryReads[round] = timeLibraryReads(line, handle);
                bareReads[round] = timeBareReads(line, fd);
                libraryWrites[round] = timeLibraryWrites(line, handle);
                bareWrites[round] = timeBareWrites(line, fd);
            } else {
                bareReads[round] = timeBareReads(line, fd);
                libraryReads[round] = timeLibraryReads(line, handle);
                bareWrites[round] = timeBareWrites(line, fd);
                libraryWrites[round] = timeLibraryWrites(line, handle);
            }
            nops[round] = timeNops();
        }
        long expected = (long) (2 * (WARM_UP_ROUNDS + ROUNDS)) * patternSum(BATCH);
        if (checksum != expected) {
            fail("a byte was lost or altered (checksum " + checksum + ", expected " + expected + ")");
        }

        long counter = BareLine.newSyscallCounter();
        String counterError = BareLine.syscallCounterError(counter);
        double libraryReadCalls = countReadCalls(line, counter, handle, true);
        double bareReadCalls = countReadCalls(line, counter, fd, false);
        double libraryWriteCalls = countWriteCalls(line, counter, handle, true);
        double bareWriteCalls = countWriteCalls(line, counter, fd, false);

        double readNs = median(libraryReads);
        row("readbyte from Java (JNI) vs JNI bare read(2)", ns(median(bareReads)), ns(readNs),
                ratio(readNs / median(bareReads)), "<= 1.150x", readNs / median(bareReads) <= 1.15 ? "ok" : "MISS");
        countRow("readbyte from Java: system calls per byte", bareReadCalls, libraryReadCalls);
        double writeNs = median(libraryWrites);
        row("writebyte from Java (JNI) vs JNI bare write(2)", ns(median(bareWrites)), ns(writeNs),
                ratio(writeNs / median(bareWrites)), "<= 1.150x", writeNs / median(bareWrites) <= 1.15 ? "ok" : "MISS");
        countRow("writebyte from Java: system calls per byte", bareWriteCalls, libraryWriteCalls);
        row("JNI call alone (the library's nop, no system call)", "", ns(median(nops)), "", "", "info");
        double slower = Math.max(readNs, writeNs);
        row("Java per-byte rate (slower of read/write) vs 115200 baud", rate(LINE_BYTES_PER_SECOND), rate(1e9 / slower),
                ratio(1e9 / slower / LINE_BYTES_PER_SECOND), "> 1x", "info");
        if (counterError != null) {
            System.err.println("system calls not counted: " + counterError);
        }

        BenchNatives.closePort(handle);
        BareLine.close(line);
    }

    private static double timeNops() {
        int falses = 0;
        long start = System.nanoTime();
        for (int i = 0; i < BATCH; i++) {
            falses += BenchNatives.nop(i) ? 0 : 1;
        }
        long stop = System.nanoTime();
        if (falses != BATCH) {
            fail("nop returned true");
        }
        return (stop - start) / (double) BATCH;
    }

    private static double timeLibraryReads(long line, int handle) {
        feed(line);
        long sum = 0;
        long start = System.nanoTime();
        for (int i = 0; i < BATCH; i++) {
            sum += BenchNatives.readbyte(handle);
        }
        long stop = System.nanoTime();
        checksum += sum;
        return (stop - start) / (double) BATCH;
    }

    private static double timeBareReads(long line, int fd) {
        feed(line);
        long sum = 0;
        long start = System.nanoTime();
        for (int i = 0; i < BATCH; i++) {
            sum += BareLine.read(fd);
        }
        long stop = System.nanoTime();
        checksum += sum;
        return (stop - start) / (double) BATCH;
    }

    private static double timeLibraryWrites(long line, int handle) {
        int written = 0;
        long start = System.nanoTime();
        for (int i = 0; i < BATCH; i++) {
            written += BenchNatives.writebyte(handle, i);
        }
        long stop = System.nanoTime();
        drain(line, written);
        return (stop - start) / (double) BATCH;
    }

    private static double timeBareWrites(long line, int fd) {
        int written = 0;
        long start = System.nanoTime();
        for (int i = 0; i < BATCH; i++) {
            written += BareLine.write(fd, i);
        }
        long stop = System.nanoTime();
        drain(line, written);
        return (stop - start) / (double) BATCH;
    }

    private static double countReadCalls(long line, long counter, int handleOrFd, boolean library) {
        feed(line);
        long sum = 0;
        BareLine.startCounting(counter);
        for (int i = 0; i < BATCH; i++) {
            sum += library ? BenchNatives.readbyte(handleOrFd) : BareLine.read(handleOrFd);
        }
        long calls = BareLine.stopCounting(counter);
        if (sum != patternSum(BATCH)) {
            fail("a byte was lost or altered while counting system calls");
        }
        return calls < 0 ? Double.NaN : calls / (double) BATCH;
    }

    private static double countWriteCalls(long line, long counter, int handleOrFd, boolean library) {
        int written = 0;
        BareLine.startCounting(counter);
        for (int i = 0; i < BATCH; i++) {
            written += library ? BenchNatives.writebyte(handleOrFd, i) : BareLine.write(handleOrFd, i);
        }
        long calls = BareLine.stopCounting(counter);
        drain(line, written);
        return calls < 0 ? Double.NaN : calls / (double) BATCH;
    }

    private static void feed(long line) {
        if (!BareLine.feed(line, BATCH)) {
            fail("could not put bytes on the line");
        }
    }

    private static void drain(long line, int written) {
        if (written != BATCH || !BareLine.drain(line, BATCH)) {
            fail("a write failed");
        }
    }

    private static long patternSum(int count) {
        long sum = 0;
        for (int i = 0; i < count; i++) {
            sum += i & 0xFF;
        }
        return sum;
    }

    private static double median(double[] samples) {
        double[] sorted = samples.clone();
        Arrays.sort(sorted);
        return sorted[(sorted.length + 1) / 2 - 1];
    }

    private static String ns(double value) {
        return value < 1000 ? String.format(Locale.ROOT, "%.0f ns", value)
                : String.format(Locale.ROOT, "%.2f us", value / 1000);
    }

    private static String ratio(double value) {
        return String.format(Locale.ROOT, "%.3fx", value);
    }

    private static String rate(double bytesPerSecond) {
        return String.format(Locale.ROOT, "%,.0f B/s", bytesPerSecond);
    }

    private static String count(double value) {
        if (Double.isNaN(value)) {
            return "n/a";
        }
        return value == Math.floor(value) ? String.format(Locale.ROOT, "%.0f", value)
                : String.format(Locale.ROOT, "%.2f", value);
    }

    private static void countRow(String line, double baseline, double library) {
        row(line, count(baseline), count(library), "", "1", Double.isNaN(library) ? "n/a" : library == 1 ? "ok" : "MISS");
    }

    private static void row(String line, String baseline, String library, String ratio, String goal, String verdict) {
        System.out.println("ROW\t" + line + "\t" + baseline + "\t" + library + "\t" + ratio + "\t" + goal + "\t" + verdict);
    }

    private static void fail(String message) {
        System.err.println("JvmBench: " + message);
        System.exit(1);
    }
}
