package javax.comm;

/** The input natives declared as instance methods. */
public class SerialInputStream {
    public native int readbyte(int handle);

    public native int clearcom(int handle);
}
