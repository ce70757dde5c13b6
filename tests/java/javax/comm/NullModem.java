package javax.comm;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.BufferedReader;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * A serial line made of two crossed pseudo-terminals (the virtual-null-modem helper, named by the
 * system property {@code ostrabel1.nullmodem}). The library opens {@link #portPath}; the test plays
 * the device at the other end, {@link #peerPath}, with plain file streams.
 */
final class NullModem implements AutoCloseable {
    private final Process cable;
    final String portPath;
    final String peerPath;
    private final FileOutputStream peerOut;
    private final FileInputStream peerIn;
    private final BlockingQueue<Integer> received = new LinkedBlockingQueue<>();

    NullModem() throws IOException {
        String helper = System.getProperty("ostrabel1.nullmodem");
        assertNotNull(helper, "-Dostrabel1.nullmodem=PATH_OF_virtual-null-modem is not set");
        cable = new ProcessBuilder(helper).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        BufferedReader paths = new BufferedReader(new InputStreamReader(cable.getInputStream(), StandardCharsets.US_ASCII));
        portPath = paths.readLine();
        peerPath = paths.readLine();
        if (portPath == null || peerPath == null) {
            cable.destroyForcibly();
            throw new IOException("virtual-null-modem printed no device paths");
        }
        peerOut = new FileOutputStream(peerPath);
        peerIn = new FileInputStream(peerPath);
        Thread reader = new Thread(this::collectPeerInput, "null-modem peer reader");
        reader.setDaemon(true);
        reader.start();
    }

    private void collectPeerInput() {
        try {
            for (int b; (b = peerIn.read()) >= 0; ) {
                received.add(b);
            }
        } catch (IOException hungUp) {
            // the cable was unplugged by close()
        }
    }

    /** The peer sends these bytes (each value's low 8 bits). */
    void send(int... values) throws IOException {
        byte[] bytes = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            bytes[i] = (byte) values[i];
        }
        peerOut.write(bytes);
    }

    /** The next byte the peer received, waiting at most the given time; -1 when none came. */
    int nextReceived(long timeoutMs) throws InterruptedException {
        Integer b = received.poll(timeoutMs, TimeUnit.MILLISECONDS);
        return b == null ? -1 : b;
    }

    /** Asserts that the peer receives exactly these bytes next, within a few seconds. */
    void assertReceives(int... expected) throws InterruptedException {
        int[] actual = new int[expected.length];
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        int count = 0;
        while (count < expected.length) {
            long left = TimeUnit.NANOSECONDS.toMillis(deadline - System.nanoTime());
            int b = left > 0 ? nextReceived(left) : -1;
            if (b < 0) {
                break;
            }
            actual[count++] = b;
        }
        assertArrayEquals(expected, Arrays.copyOf(actual, count), "bytes received at the far end");
    }

    /** Asserts that nothing more reaches the peer within the given time. */
    void assertReceivesNothingWithin(long ms) throws InterruptedException {
        int b = nextReceived(ms);
        if (b >= 0) {
            throw new AssertionError("the far end received an unexpected byte " + b);
        }
    }

    @Override
    public void close() throws IOException {
        peerOut.close();
        cable.getOutputStream().close();  // the helper ends when its input closes
        try {
            if (!cable.waitFor(5, TimeUnit.SECONDS)) {
                cable.destroyForcibly().waitFor(5, TimeUnit.SECONDS);
            }
        } catch (InterruptedException e) {
            cable.destroyForcibly();
            Thread.currentThread().interrupt();
        }
        peerIn.close();
    }

    /** The values 0 to 255 in order. */
    static int[] everyByteValue() {
        int[] values = new int[256];
        for (int i = 0; i < values.length; i++) {
            values[i] = i;
        }
        return values;
    }
}
