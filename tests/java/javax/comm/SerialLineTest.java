package javax.comm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The natives on an open port, over a null-modem line whose far end the test plays. */
@Timeout(60)
class SerialLineTest {
    static {
        NativeLibrary.load();
    }

    private static final String MODE = "baud=115200 parity=n data=8 stop=1";

    private NullModem line;
    private int handle;
    private ExecutorService background;

    @BeforeEach
    void openPort() throws Exception {
        line = new NullModem();
        handle = SerialPort.openPort(line.portPath);
        assertNotEquals(0, handle, "openPort(" + line.portPath + ")");
        assertNotEquals(-1, handle);
        assertNotEquals(0, SerialPort.setReceiveTimeout(handle, 2000));
    }

    @AfterEach
    void closePort() throws Exception {
        if (handle != 0) {
            SerialPort.closePort(handle);  // also ends a read still waiting in the background
        }
        if (background != null) {
            background.shutdownNow();
        }
        line.close();
    }

    @ParameterizedTest(name = "configured first: {0}")
    @ValueSource(booleans = {false, true})
    void everyByteValueReachesTheFarEndUnchanged(boolean configured) throws Exception {
        if (configured) {
            assertTrue(SerialPort.setCommState(handle, MODE));
        }
        for (int value : NullModem.everyByteValue()) {
            assertNotEquals(0, SerialOutputStream.writebyte(handle, value), "writebyte " + value);
        }
        line.assertReceives(NullModem.everyByteValue());
    }

    @ParameterizedTest(name = "configured first: {0}")
    @ValueSource(booleans = {false, true})
    void everyByteValueFromTheFarEndIsReadUnchanged(boolean configured) throws Exception {
        if (configured) {
            assertTrue(SerialPort.setCommState(handle, MODE));
        }
        line.send(NullModem.everyByteValue());
        for (int value : NullModem.everyByteValue()) {
            assertEquals(value, SerialInputStream.readbyte(handle), "byte " + value + " of 256");
        }
    }

    @ParameterizedTest(name = "writebyte({0}) sends {1}")
    @CsvSource({"0x141, 0x41", "-1, 0xFF", "0x100, 0x00", "-128, 0x80", "0x7FFFFFFF, 0xFF", "-2147483648, 0x00"})
    void writebyteSendsTheLowEightBits(int value, int sent) throws Exception {
        assertNotEquals(0, SerialOutputStream.writebyte(handle, value));
        line.assertReceives(sent);
    }

    @Test
    void aReadWithNothingComingEndsAfterTheTimeoutAndALaterByteIsStillRead() throws Exception {
        assertNotEquals(0, SerialPort.setReceiveTimeout(handle, 250));
        long start = System.nanoTime();
        int result = SerialInputStream.readbyte(handle);
        long elapsedMs = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
        assertEquals(-1, result);
        assertTrue(elapsedMs >= 200 && elapsedMs <= 1500, "a 250 ms time-out took " + elapsedMs + " ms");

        line.send(0xFF);
        assertEquals(0xFF, SerialInputStream.readbyte(handle), "a time-out is not the end of the stream");
    }

    @Test
    void aTimeoutOfZeroWaitsUntilAByteArrives() throws Exception {
        assertNotEquals(0, SerialPort.setReceiveTimeout(handle, 0));
        background = Executors.newSingleThreadExecutor(daemon());
        Future<Integer> read = background.submit(() -> SerialInputStream.readbyte(handle));
        assertThrows(TimeoutException.class, () -> read.get(700, TimeUnit.MILLISECONDS),
            "with a time-out of 0 the read returned before any byte came");
        line.send(0x00);
        assertEquals(0x00, read.get(5, TimeUnit.SECONDS));
    }

    @Test
    void clearcomDiscardsReceivedInputButNotOutputOnItsWay() throws Exception {
        line.send(1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
        assertEquals(1, SerialInputStream.readbyte(handle), "the far end's bytes have arrived");
        Thread.sleep(200);  // let the rest of them settle in the input queue
        int[] outgoing = NullModem.everyByteValue();
        for (int value : outgoing) {
            SerialOutputStream.writebyte(handle, value);
        }

        assertNotEquals(0, SerialInputStream.clearcom(handle));

        line.assertReceives(outgoing);
        line.send(0x7E);
        assertEquals(0x7E, SerialInputStream.readbyte(handle), "the first byte after clearcom");
        assertNotEquals(0, SerialPort.setReceiveTimeout(handle, 250));
        assertEquals(-1, SerialInputStream.readbyte(handle), "nothing from before clearcom is left");
    }

    @Test
    void aSecondOpenIsRefusedUntilThePortIsClosed() {
        assertEquals(0, SerialPort.openPort(line.portPath), "second open while the port is open");
        assertNotEquals(0, SerialPort.closePort(handle));
        int reopened = SerialPort.openPort(line.portPath);
        handle = reopened;
        assertNotEquals(0, reopened, "open after the port was closed");
    }

    @ParameterizedTest(name = "\"{0}\"")
    @ValueSource(strings = {MODE, "baud=9600 parity=e data=7 stop=1", "19200,n,8,1", "9600,n,8,2"})
    void setCommStateAcceptsModeStrings(String mode) {
        assertTrue(SerialPort.setCommState(handle, mode));
    }

    @ParameterizedTest(name = "\"{0}\"")
    @ValueSource(strings = {"", "nonsense", "baud=", "baud=9600 parity=q data=8 stop=1"})
    void setCommStateRefusesWhatItCannotParse(String mode) {
        assertFalse(SerialPort.setCommState(handle, mode));
    }

    @Test
    void setCommStateWithNullIsFalseNotACrash() {
        assertFalse(SerialPort.setCommState(handle, null));
    }

    private static java.util.concurrent.ThreadFactory daemon() {
        return task -> {
            Thread thread = new Thread(task, "blocking read");
            thread.setDaemon(true);
            return thread;
        };
    }
}
