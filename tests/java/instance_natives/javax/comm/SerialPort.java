package javax.comm;

/** The port natives declared as instance methods, loaded in a class loader of its own by InstanceNativesTest. */
public class SerialPort {
    /** Loads the library into this class's loader. */
    public static void load(String path) {
        System.load(path);
    }

    public native int openPort(String name);

    public native int closePort(int handle);

    public native boolean setCommState(int handle, String mode);

    public native int setReceiveTimeout(int handle, int milliseconds);
}
