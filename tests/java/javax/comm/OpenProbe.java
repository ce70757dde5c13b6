package javax.comm;

/**
 * Run as a program of its own by the tests: tries to open the port named by its argument, closes
 * it again at once, and exits with 0 when the open succeeded, 3 when it was refused.
 */
public final class OpenProbe {
    static final int REFUSED = 3;

    private OpenProbe() {
    }

    public static void main(String[] args) {
        NativeLibrary.load();
        int handle = SerialPort.openPort(args[0]);
        if (handle == 0) {
            System.exit(REFUSED);
        }
        SerialPort.closePort(handle);
        System.exit(0);
    }
}
