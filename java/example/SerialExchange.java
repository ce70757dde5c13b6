package example;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import javax.comm.SerialInputStream;
import javax.comm.SerialOutputStream;
import javax.comm.SerialPort;

/**
 * Sends one line over a serial port, prints the line that comes back, and shows a receive time-out.
 *
 * <pre>
 * java -Djava.library.path=DIR_OF_LIBOSTRABEL1 -jar ostrabel1-example.jar PORT [MESSAGE] [MODE]
 * </pre>
 *
 * PORT is a device such as /dev/ttyUSB0 (COM3 on Windows). MODE defaults to
 * "baud=115200 parity=n data=8 stop=1". Exits with 0 when the port could be opened and configured.
 */
public final class SerialExchange {
    private static final String DEFAULT_MODE = "baud=115200 parity=n data=8 stop=1";
    private static final int REPLY_TIMEOUT_MS = 2000;
    private static final int SHORT_TIMEOUT_MS = 250;

    private SerialExchange() {
    }

    public static void main(String[] args) {
        if (args.length < 1 || args.length > 3) {
            System.err.println("usage: SerialExchange PORT [MESSAGE] [MODE]");
            System.exit(2);
        }
        String name = args[0];
        String message = args.length > 1 ? args[1] : "hello from Java";
        String mode = args.length > 2 ? args[2] : DEFAULT_MODE;
        try {
            run(name, message, mode);
        } catch (IOException e) {
            System.out.println("Failed: " + e.getMessage());
            System.exit(1);
        }
    }

    private static void run(String name, String message, String mode) throws IOException {
        try (SerialPort port = SerialPort.open(name)) {
            System.out.println("Opened " + name + " for exclusive use.");

            port.configure(mode);
            System.out.println("Line settings applied: " + mode + ".");

            try {
                SerialPort.open(name).close();
                System.out.println("Unexpected: a second open of " + name + " succeeded.");
            } catch (IOException refused) {
                System.out.println("A second open of " + name + " was refused, as it should be.");
            }

            port.setReceiveTimeout(REPLY_TIMEOUT_MS);
            SerialOutputStream out = port.getOutputStream();
            out.write((message + "\n").getBytes(StandardCharsets.UTF_8));
            System.out.println("Sent:     \"" + message + "\"");
            String reply = readLine(port.getInputStream());
            if (reply == null) {
                System.out.println("No reply: nothing came within " + REPLY_TIMEOUT_MS + " ms.");
            } else {
                System.out.println("Received: \"" + reply + "\"");
            }

            port.setReceiveTimeout(SHORT_TIMEOUT_MS);
            port.getInputStream().clear();
            long start = System.nanoTime();
            int result = port.getInputStream().read();
            long waited = (System.nanoTime() - start) / 1_000_000;
            if (result < 0) {
                System.out.println("Receive time-out set to " + SHORT_TIMEOUT_MS + " ms; with nothing sent, read() gave up after "
                        + waited + " ms and returned -1.");
            } else {
                System.out.println("Receive time-out set to " + SHORT_TIMEOUT_MS + " ms, but a byte (" + result + ") arrived after "
                        + waited + " ms.");
            }
        }
        System.out.println("Closed " + name + ".");
    }

    /** A line without its ending, or null when no byte came within the receive time-out. */
    private static String readLine(SerialInputStream in) throws IOException {
        ByteArrayOutputStream line = new ByteArrayOutputStream();
        for (;;) {
            int b = in.read();
            if (b < 0) {
                return line.size() == 0 ? null : line.toString("UTF-8");
            }
            if (b == '\n') {
                String text = line.toString("UTF-8");
                return text.endsWith("\r") ? text.substring(0, text.length() - 1) : text;
            }
            line.write(b);
        }
    }
}
