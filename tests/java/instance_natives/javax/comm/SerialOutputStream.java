package javax.comm;

/** The output natives declared as instance methods. */
public class SerialOutputStream {
    public native int writebyte(int handle, int value);

    public native boolean nop(int unused);
}
