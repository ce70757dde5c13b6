package javax.comm;

/**
 * The library's natives, which are package-private in its classes, opened to the JVM benchmark.
 * Each method only forwards; the JIT compiles the forwarding away.
 */
public final class BenchNatives {
    private BenchNatives() {
    }

    public static int openPort(String name) {
        return SerialPort.openPort(name);
    }

    public static int closePort(int handle) {
        return SerialPort.closePort(handle);
    }

    public static int setReceiveTimeout(int handle, int milliseconds) {
        return SerialPort.setReceiveTimeout(handle, milliseconds);
    }

    public static int readbyte(int handle) {
        return SerialInputStream.readbyte(handle);
    }

    public static int writebyte(int handle, int value) {
        return SerialOutputStream.writebyte(handle, value);
    }

    public static boolean nop(int unused) {
        return SerialOutputStream.nop(unused);
    }
}
