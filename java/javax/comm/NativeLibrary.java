package javax.comm;

/**
 * Loads the native library {@code ostrabel1} once per class loader, before any native of this
 * package is called.
 *
 * <p>By default the library is found by {@link System#loadLibrary(String)}, that is on
 * {@code java.library.path} ({@code libostrabel1.so} on Linux, {@code ostrabel1.dll} on Windows).
 * When the system property {@value #PATH_PROPERTY} is set, its value is taken as the absolute path
 * of the library file and loaded with {@link System#load(String)} instead.
 */
final class NativeLibrary {
    /** System property naming the library file explicitly, e.g. {@code -Dostrabel1.library=/opt/lib/libostrabel1.so}. */
    static final String PATH_PROPERTY = "ostrabel1.library";

    private static boolean loaded;

    private NativeLibrary() {
    }

    static synchronized void load() {
        if (loaded) {
            return;
        }
        String path = System.getProperty(PATH_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(path);
        } else {
            System.loadLibrary("ostrabel1");
        }
        loaded = true;
    }
}
