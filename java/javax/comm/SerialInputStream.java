package javax.comm;

import java.io.IOException;
import java.io.InputStream;

/**
 * The bytes a {@link SerialPort} receives. Obtain it with {@link SerialPort#getInputStream()}.
 *
 * <p><b>-1 does not mean end of stream here.</b> A serial line has no end: {@link #read()} returns
 * -1 when no byte came within the port's receive time-out, or when the read failed (for example
 * because the device was unplugged). The two cannot be told apart. The caller may simply read
 * again.
 *
 * <p>Nothing is buffered on the Java side: every byte is taken from the port's own input queue
 * when it is read. The stream is meant for one reading thread at a time.
 */
public final class SerialInputStream extends InputStream {
    static {
        NativeLibrary.load();
    }

    /** Receive time-out used while collecting the bytes that follow the first one of a block read. */
    private static final int ALREADY_THERE_MS = 1;

    private final SerialPort port;

    SerialInputStream(SerialPort port) {
        this.port = port;
    }

    /**
     * Reads one byte, waiting at most the port's receive time-out for it.
     *
     * @return the byte, 0 to 255; or -1 when none came within the time-out or the read failed
     *         (not end of stream: the caller may read again)
     * @throws IOException when the port is closed
     */
    @Override
    public int read() throws IOException {
        return readbyte(port.handle());
    }

    /**
     * Reads a block: waits, as {@link #read()} does, for the first byte, then takes the bytes that
     * are already there (or come within about a millisecond), up to {@code len}.
     *
     * @return the number of bytes stored, at least 1; 0 when {@code len} is 0; or -1 when no byte
     *         came within the receive time-out or the read failed (not end of stream)
     * @throws IOException when the port is closed
     */
    @Override
    public synchronized int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException("off " + off + ", len " + len + ", array length " + b.length);
        }
        if (len == 0) {
            return 0;
        }
        int handle = port.handle();
        int first = readbyte(handle);
        if (first < 0) {
            return -1;
        }
        b[off] = (byte) first;
        int count = 1;
        if (count < len) {
            // A time-out of 0 waits forever; the shortest that does not is 1 ms.
            SerialPort.setReceiveTimeout(handle, ALREADY_THERE_MS);
            try {
                while (count < len) {
                    int next = readbyte(handle);
                    if (next < 0) {
                        break;
                    }
                    b[off + count++] = (byte) next;
                }
            } finally {
                SerialPort.setReceiveTimeout(handle, port.getReceiveTimeout());
            }
        }
        return count;
    }

    /**
     * Discards every received byte not yet read. Bytes still waiting to be sent are not touched,
     * and bytes that arrive afterwards are read as usual.
     *
     * @throws IOException when the port is closed or the system refuses
     */
    public void clear() throws IOException {
        if (clearcom(port.handle()) == 0) {
            throw new IOException("discarding the input of serial port " + port.getName() + " failed");
        }
    }

    /** Does nothing: the port stays open until {@link SerialPort#close()}. */
    @Override
    public void close() {
    }

    // The natives.

    /** Reads one byte within the receive time-out: 0 to 255, or -1 when none came or the read failed. */
    static native int readbyte(int handle);

    /** Discards the input queue (not the output); nonzero on success. */
    static native int clearcom(int handle);
}
