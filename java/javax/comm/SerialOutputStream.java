package javax.comm;

import java.io.IOException;
import java.io.OutputStream;

/**
 * The bytes a {@link SerialPort} sends. Obtain it with {@link SerialPort#getOutputStream()}.
 *
 * <p>Writes are synchronous and unbuffered: each byte is handed to the port when it is written,
 * so {@link #flush()} has nothing to do.
 */
public final class SerialOutputStream extends OutputStream {
    static {
        NativeLibrary.load();
    }

    private final SerialPort port;

    SerialOutputStream(SerialPort port) {
        this.port = port;
    }

    /**
     * Sends the low 8 bits of {@code b}; the rest are ignored, so 0x141 sends 0x41 and -1 sends 0xFF.
     *
     * @throws IOException when the port is closed or the write failed
     */
    @Override
    public void write(int b) throws IOException {
        if (writebyte(port.handle(), b) == 0) {
            throw new IOException("writing to serial port " + port.getName() + " failed");
        }
    }

    /** Sends the bytes in order, one at a time. */
    @Override
    public void write(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException("off " + off + ", len " + len + ", array length " + b.length);
        }
        for (int i = off; i < off + len; i++) {
            if (writebyte(port.handle(), b[i]) == 0) {
                throw new IOException("writing to serial port " + port.getName() + " failed after "
                        + (i - off) + " of " + len + " bytes");
            }
        }
    }

    /** Does nothing: the port stays open until {@link SerialPort#close()}. */
    @Override
    public void close() {
    }

    // The natives.

    /** Sends the low 8 bits of {@code value}; nonzero on success. */
    static native int writebyte(int handle, int value);

    /** Does nothing and returns false, whatever its argument. */
    static native boolean nop(int unused);
}
