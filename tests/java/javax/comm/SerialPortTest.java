package javax.comm;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** The Java API over the natives, on a null-modem line whose far end the test plays. */
@Timeout(60)
class SerialPortTest {
    private NullModem line;
    private SerialPort port;

    @BeforeEach
    void open() throws Exception {
        line = new NullModem();
        port = SerialPort.open(line.portPath);
        port.setReceiveTimeout(2000);
    }

    @AfterEach
    void close() throws Exception {
        port.close();
        line.close();
    }

    @Test
    void openingWhatIsNoPortNamesItInTheError() {
        IOException e = assertThrows(IOException.class, () -> SerialPort.open("/dev/ttyNoSuchDevice99"));
        assertTrue(e.getMessage().contains("/dev/ttyNoSuchDevice99"), e.getMessage());
    }

    @Test
    void theOpenPortIsExclusiveAndClosingGivesItUp() throws Exception {
        assertThrows(IOException.class, () -> SerialPort.open(line.portPath));
        port.close();
        try (SerialPort again = SerialPort.open(line.portPath)) {
            assertTrue(again.isOpen());
        }
    }

    @Test
    void anotherProgramCannotOpenThePortUntilItIsClosed() throws Exception {
        assertEquals(OpenProbe.REFUSED, openFromAnotherProgram(line.portPath));
        port.close();
        assertEquals(0, openFromAnotherProgram(line.portPath));
    }

    @Test
    void aClosedPortRefusesEverythingButAnotherClose() throws Exception {
        SerialInputStream in = port.getInputStream();
        SerialOutputStream out = port.getOutputStream();
        port.close();
        port.close();
        assertFalse(port.isOpen());
        assertAll(
            () -> assertThrows(IOException.class, in::read),
            () -> assertThrows(IOException.class, () -> in.read(new byte[4], 0, 4)),
            () -> assertThrows(IOException.class, in::clear),
            () -> assertThrows(IOException.class, () -> out.write(1)),
            () -> assertThrows(IOException.class, () -> out.write(new byte[] {1, 2})),
            () -> assertThrows(IOException.class, () -> port.configure("baud=9600 parity=n data=8 stop=1")),
            () -> assertThrows(IOException.class, () -> port.setReceiveTimeout(100)));
    }

    @Test
    void configureAppliesAModeStringAndReportsARefusal() throws Exception {
        port.configure("baud=115200 parity=n data=8 stop=1");
        IOException e = assertThrows(IOException.class, () -> port.configure("baud=9600 parity=q"));
        assertTrue(e.getMessage().contains("parity=q"), e.getMessage());
    }

    @Test
    void aNegativeReceiveTimeoutIsRejectedAndTheOldOneKept() throws Exception {
        port.setReceiveTimeout(250);
        assertThrows(IllegalArgumentException.class, () -> port.setReceiveTimeout(-1));
        assertEquals(250, port.getReceiveTimeout());
    }

    @Test
    void readReturnsMinusOneOnTimeoutThenReadsOn() throws Exception {
        port.setReceiveTimeout(250);
        assertEquals(-1, port.getInputStream().read());
        line.send(0xFF, 0x00);
        assertEquals(0xFF, port.getInputStream().read());
        assertEquals(0x00, port.getInputStream().read());
    }

    @Test
    void blockReadTakesWhatHasArrivedAndKeepsTheReceiveTimeout() throws Exception {
        port.setReceiveTimeout(250);
        line.send(10, 20, 30, 40, 50);
        Thread.sleep(200);  // all five are waiting
        byte[] buffer = new byte[12];
        int count = port.getInputStream().read(buffer, 2, 10);
        assertEquals(5, count);
        assertArrayEquals(new byte[] {0, 0, 10, 20, 30, 40, 50, 0, 0, 0, 0, 0}, buffer);

        long start = System.nanoTime();
        assertEquals(-1, port.getInputStream().read(buffer, 0, buffer.length), "nothing more came");
        long elapsedMs = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
        assertTrue(elapsedMs >= 200 && elapsedMs <= 1500, "the 250 ms time-out took " + elapsedMs + " ms");
        assertEquals(250, port.getReceiveTimeout());
    }

    @Test
    void blockReadOfNothingAndOutOfBoundsRequests() throws Exception {
        SerialInputStream in = port.getInputStream();
        byte[] buffer = new byte[4];
        assertEquals(0, in.read(buffer, 4, 0), "an empty request returns at once");
        assertThrows(IndexOutOfBoundsException.class, () -> in.read(buffer, 3, 2));
        assertThrows(IndexOutOfBoundsException.class, () -> in.read(buffer, -1, 1));
        assertThrows(IndexOutOfBoundsException.class, () -> port.getOutputStream().write(buffer, 2, 3));
    }

    @Test
    void writeSendsTheLowEightBitsAndBlocksInOrder() throws Exception {
        SerialOutputStream out = port.getOutputStream();
        out.write(0x141);
        out.write(-1);
        byte[] block = new byte[300];
        Arrays.fill(block, (byte) 0xA5);
        block[0] = 0;
        block[299] = (byte) 0x80;
        out.write(block, 0, block.length);
        out.flush();
        int[] expected = new int[2 + block.length];
        expected[0] = 0x41;
        expected[1] = 0xFF;
        for (int i = 0; i < block.length; i++) {
            expected[2 + i] = block[i] & 0xFF;
        }
        line.assertReceives(expected);
    }

    @Test
    void clearDiscardsWhatHasArrived() throws Exception {
        line.send('o', 'l', 'd');
        assertEquals('o', port.getInputStream().read());
        Thread.sleep(200);
        port.getInputStream().clear();
        line.send('n');
        assertEquals('n', port.getInputStream().read());
    }

    /** Runs OpenProbe in a JVM of its own; its exit code. */
    private static int openFromAnotherProgram(String name) throws Exception {
        String classPath = System.getProperty("ostrabel1.test.classpath");
        assertNotNull(classPath, "-Dostrabel1.test.classpath=CLASSES_JAR:TESTS_JAR is not set");
        Path java = Paths.get(System.getProperty("java.home"), "bin", "java");
        Process probe = new ProcessBuilder(java.toString(),
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", classPath, OpenProbe.class.getName(), name)
            .inheritIO()
            .start();
        assertTrue(probe.waitFor(30, TimeUnit.SECONDS), "the other program did not finish");
        return probe.exitValue();
    }

    @Test
    void theStreamsBelongToThePortAndClosingThemLeavesItOpen() throws Exception {
        assertSame(port.getInputStream(), port.getInputStream());
        assertSame(port.getOutputStream(), port.getOutputStream());
        port.getInputStream().close();
        port.getOutputStream().close();
        assertTrue(port.isOpen());
        port.getOutputStream().write('x');
        line.assertReceives('x');
    }
}
