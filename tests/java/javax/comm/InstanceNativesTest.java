package javax.comm;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.File;
import java.lang.reflect.InvocationTargetException;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.io.TempDir;

/**
 * The library serves a Java side that declares its natives as instance methods as well as one
 * that declares them static: the receiver is never read.
 *
 * <p>The instance-method variant of the three classes (system property
 * {@code ostrabel1.instance.natives}, a jar) is loaded in a class loader of its own, with its own
 * copy of the library, since one library file binds to only one class loader.
 */
@Timeout(60)
class InstanceNativesTest {
    @Test
    void everyNativeBindsAsAnInstanceMethodAndWorks(@TempDir Path directory) throws Exception {
        String variantJar = System.getProperty("ostrabel1.instance.natives");
        assertNotNull(variantJar, "-Dostrabel1.instance.natives=JAR is not set");
        Path library = directory.resolve(System.mapLibraryName("ostrabel1"));
        Files.copy(builtLibrary(), library, StandardCopyOption.REPLACE_EXISTING);

        try (URLClassLoader loader = new URLClassLoader(new URL[] {new File(variantJar).toURI().toURL()},
                ClassLoader.getPlatformClassLoader());
             NullModem line = new NullModem()) {
            Class<?> portClass = loader.loadClass("javax.comm.SerialPort");
            portClass.getMethod("load", String.class).invoke(null, library.toString());
            Object port = portClass.getConstructor().newInstance();
            Object in = loader.loadClass("javax.comm.SerialInputStream").getConstructor().newInstance();
            Object out = loader.loadClass("javax.comm.SerialOutputStream").getConstructor().newInstance();

            int handle = (Integer) call(port, "openPort", line.portPath);
            assertNotEquals(0, handle);
            assertNotEquals(0, call(port, "setReceiveTimeout", handle, 2000));
            assertEquals(false, call(port, "setCommState", 0, "baud=9600 parity=n data=8 stop=1"));

            assertNotEquals(0, call(out, "writebyte", handle, 0x1A5));
            line.assertReceives(0xA5);
            line.send(0x3C);
            assertEquals(0x3C, call(in, "readbyte", handle));
            assertNotEquals(0, call(in, "clearcom", handle));
            assertEquals(false, call(out, "nop", handle));

            assertNotEquals(0, call(port, "closePort", handle));
            assertEquals(0, call(port, "closePort", handle));
        }
    }

    /** The library the build made: the first directory of java.library.path holds it. */
    private static Path builtLibrary() {
        String firstDirectory = System.getProperty("java.library.path").split(File.pathSeparator)[0];
        return Paths.get(firstDirectory, System.mapLibraryName("ostrabel1"));
    }

    private static Object call(Object receiver, String method, Object... arguments) throws Exception {
        for (java.lang.reflect.Method candidate : receiver.getClass().getMethods()) {
            if (candidate.getName().equals(method) && candidate.getParameterCount() == arguments.length) {
                try {
                    return candidate.invoke(receiver, arguments);
                } catch (InvocationTargetException e) {
                    Throwable cause = e.getCause();  // UnsatisfiedLinkError when a native did not bind
                    if (cause instanceof Error) {
                        throw (Error) cause;
                    }
                    throw cause instanceof Exception ? (Exception) cause : e;
                }
            }
        }
        throw new NoSuchMethodException(method);
    }
}
