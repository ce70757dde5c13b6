package javax.comm;

import java.io.IOException;

/**
 * An open serial port, held exclusively by this object until {@link #close()}.
 *
 * <pre>{@code
 * try (SerialPort port = SerialPort.open("/dev/ttyUSB0")) {   // "COM3" on Windows
 *     port.configure("baud=9600 parity=n data=8 stop=1");
 *     port.setReceiveTimeout(500);
 *     port.getOutputStream().write('?');
 *     int reply = port.getInputStream().read();                // -1: nothing came within 500 ms
 * }
 * }</pre>
 *
 * <p>Reads and writes are synchronous and unbuffered: each byte goes to or comes from the port
 * when the call is made. The native library is loaded when this class is first used; see
 * {@link NativeLibrary} for where it is looked for (the system property {@code ostrabel1.library}
 * may name the library file explicitly).
 *
 * <p>Any thread may call any method. Closing the port while another thread is reading or writing
 * ends that thread's call with a failure.
 */
public final class SerialPort implements AutoCloseable {
    static {
        NativeLibrary.load();
    }

    private final String name;
    private volatile int handle;
    private volatile int receiveTimeout;
    private final SerialInputStream input;
    private final SerialOutputStream output;

    private SerialPort(String name, int handle) {
        this.name = name;
        this.handle = handle;
        this.input = new SerialInputStream(this);
        this.output = new SerialOutputStream(this);
    }

    /**
     * Opens a serial port for exclusive use: while it is open, no other open of the same port
     * succeeds, whether from this program or another.
     *
     * <p>The port is put in binary mode; its line settings (speed, parity, ...) are what the device
     * had until {@link #configure(String)} is called. The receive time-out starts at 0: a read
     * waits until a byte arrives.
     *
     * @param name the device: a path such as {@code /dev/ttyUSB0} or {@code /dev/ttyS0} on Linux,
     *             {@code COM1} (or {@code \\.\COM10} from COM10 on) on Windows
     * @return the open port
     * @throws IOException when the port does not exist, is not a serial device, is already in use,
     *                     or access is refused
     */
    public static SerialPort open(String name) throws IOException {
        if (name == null) {
            throw new NullPointerException("name");
        }
        int handle = openPort(name);
        if (handle == 0) {
            throw new IOException("cannot open serial port " + name
                    + ": it does not exist, is not a serial device, is already in use, or access was refused");
        }
        SerialPort port = new SerialPort(name, handle);
        if (setReceiveTimeout(handle, 0) == 0) {
            closePort(handle);
            throw new IOException("cannot set the receive time-out of serial port " + name);
        }
        return port;
    }

    /**
     * Applies line settings given as a mode string, in the syntax of the Windows {@code mode}
     * command, e.g. {@code "baud=9600 parity=n data=8 stop=1"} or {@code "9600,n,8,1"}.
     * Settings the string leaves out are not kept from before: give every one you care about.
     *
     * @throws IOException when the string is not understood or the device refuses the settings
     */
    public void configure(String mode) throws IOException {
        if (mode == null) {
            throw new NullPointerException("mode");
        }
        if (!setCommState(handle(), mode)) {
            throw new IOException("serial port " + name + " refused the line settings \"" + mode + "\"");
        }
    }

    /**
     * Sets how long a read waits for a byte.
     *
     * @param milliseconds the longest wait for one byte; 0 waits until a byte arrives
     * @throws IllegalArgumentException when {@code milliseconds} is negative
     * @throws IOException              when the port is closed or refuses the time-out
     */
    public void setReceiveTimeout(int milliseconds) throws IOException {
        if (milliseconds < 0) {
            throw new IllegalArgumentException("receive time-out must be 0 or more milliseconds: " + milliseconds);
        }
        int current = handle();
        receiveTimeout = milliseconds;
        if (setReceiveTimeout(current, milliseconds) == 0) {
            throw new IOException("serial port " + name + " refused a receive time-out of " + milliseconds + " ms");
        }
    }

    /** The receive time-out in milliseconds last set; 0 means a read waits until a byte arrives. */
    public int getReceiveTimeout() {
        return receiveTimeout;
    }

    /** The stream of bytes received on this port. The same object on every call. */
    public SerialInputStream getInputStream() {
        return input;
    }

    /** The stream of bytes sent on this port. The same object on every call. */
    public SerialOutputStream getOutputStream() {
        return output;
    }

    /** The name this port was opened by. */
    public String getName() {
        return name;
    }

    /** True until {@link #close()} has been called. */
    public boolean isOpen() {
        return handle != 0;
    }

    /**
     * Closes the port and gives it up for others to open. Calling it again does nothing. The
     * streams of a closed port throw {@link IOException}.
     *
     * @throws IOException when the system reports a failure while closing; the port is closed
     *                     as far as this object is concerned either way
     */
    @Override
    public void close() throws IOException {
        int closing;
        synchronized (this) {
            closing = handle;
            handle = 0;
        }
        if (closing != 0 && closePort(closing) == 0) {
            throw new IOException("closing serial port " + name + " failed");
        }
    }

    @Override
    public String toString() {
        return "SerialPort[" + name + (isOpen() ? "" : ", closed") + "]";
    }

    /** The native handle of the open port, or an exception once the port is closed. */
    int handle() throws IOException {
        int current = handle;
        if (current == 0) {
            throw new IOException("serial port " + name + " is closed");
        }
        return current;
    }

    // The natives. A handle is what openPort returned; 0 from openPort, 0 from an int result and
    // false from a boolean result mean failure.

    /** Opens the named port exclusively; its handle, or 0 on failure. */
    static native int openPort(String name);

    /** Closes the port; nonzero on success. */
    static native int closePort(int handle);

    /** Applies a mode string; true when the port took the settings. */
    static native boolean setCommState(int handle, String mode);

    /** Sets the receive time-out, taken as unsigned milliseconds (0: wait for a byte forever); nonzero on success. */
    static native int setReceiveTimeout(int handle, int milliseconds);
}
