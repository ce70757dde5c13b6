package javax.comm;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Every native called with what it cannot use fails by its result alone, at once: 0, false or -1. */
@Timeout(30)
class NativeFailureTest {
    static {
        NativeLibrary.load();
    }

    @ParameterizedTest(name = "handle {0}")
    @ValueSource(ints = {0, -1, 1, 2, 3, 1023, 1024, 1025, 2048, 65535, 0x40000000, Integer.MAX_VALUE, Integer.MIN_VALUE})
    void handlesThatNameNoPortFail(int handle) {
        assertAllFail(handle);
    }

    @Test
    void aClosedHandleFailsEvenAfterThePortIsOpenedAgain() throws Exception {
        try (NullModem line = new NullModem()) {
            int first = SerialPort.openPort(line.portPath);
            assertNotEquals(0, first);
            assertNotEquals(0, SerialPort.closePort(first));
            assertAllFail(first);

            int second = SerialPort.openPort(line.portPath);
            assertNotEquals(0, second);
            try {
                assertNotEquals(first, second, "a reopened port must not get the old handle back");
                assertAllFail(first);
                line.assertReceivesNothingWithin(300);
            } finally {
                SerialPort.closePort(second);
            }
        }
    }

    @ParameterizedTest(name = "nop({0})")
    @ValueSource(ints = {0, 1, -1, 0x141, 1024, Integer.MAX_VALUE, Integer.MIN_VALUE})
    void nopIsAlwaysFalse(int argument) {
        assertFalse(SerialOutputStream.nop(argument));
    }

    @Test
    void openPortRefusesWhatIsNotASerialDevice(@TempDir Path directory) throws IOException {
        Path regularFile = Files.write(directory.resolve("not-a-port"), new byte[] {1, 2, 3});
        String[] names = {
            directory.resolve("missing").toString(),
            "/dev/ttyNoSuchDevice99",
            regularFile.toString(),
            directory.toString(),
            "/dev/null",
            "",
            "relative-name-that-does-not-exist",
            null,
        };
        List<Executable> checks = new ArrayList<>();
        for (String name : names) {
            checks.add(() -> assertEquals(0, SerialPort.openPort(name), "openPort(" + name + ")"));
        }
        assertAll(checks);
        assertEquals(3, new File(regularFile.toString()).length(), "a refused file is left as it was");
    }

    private static void assertAllFail(int handle) {
        assertAll("handle " + handle,
            () -> assertEquals(-1, SerialInputStream.readbyte(handle), "readbyte"),
            () -> assertEquals(0, SerialOutputStream.writebyte(handle, 0x55), "writebyte"),
            () -> assertEquals(0, SerialInputStream.clearcom(handle), "clearcom"),
            () -> assertEquals(0, SerialPort.setReceiveTimeout(handle, 100), "setReceiveTimeout"),
            () -> assertFalse(SerialPort.setCommState(handle, "baud=9600 parity=n data=8 stop=1"), "setCommState"),
            () -> assertFalse(SerialOutputStream.nop(handle), "nop"),
            () -> assertEquals(0, SerialPort.closePort(handle), "closePort"));
    }
}
