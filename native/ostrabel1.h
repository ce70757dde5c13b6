// The eight JNI entry points of ostrabel1, one per native method of the Java classes
// javax.comm.SerialPort, javax.comm.SerialInputStream and javax.comm.SerialOutputStream.
//
// Every entry point takes the JNI environment and the receiver ahead of the Java arguments.
// The receiver is never read, so the Java side may declare each native static or instance.
// Results are plain values; no entry point raises a Java exception.
#ifndef OSTRABEL1_H
#define OSTRABEL1_H

#include <jni.h>

#ifdef __cplusplus
extern "C" {
#endif

// javax.comm.SerialPort

// Opens the port named `name` exclusively; returns its handle, or 0 when the open failed.
JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_openPort(JNIEnv* env, jobject receiver, jstring name);

// Closes the port; returns nonzero on success, 0 on failure (e.g. an unknown or closed handle).
JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_closePort(JNIEnv* env, jobject receiver, jint handle);

// Applies line settings given as a mode-command string ("baud=9600 parity=n data=8 stop=1").
JNIEXPORT jboolean JNICALL Java_javax_comm_SerialPort_setCommState(JNIEnv* env, jobject receiver, jint handle,
                                                                   jstring definition);

// Sets the receive time-out in milliseconds (unsigned; 0 = wait for a byte forever).
JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_setReceiveTimeout(JNIEnv* env, jobject receiver, jint handle,
                                                                    jint milliseconds);

// javax.comm.SerialInputStream

// Reads one byte: 0..255, or -1 when none came within the receive time-out or the read failed.
JNIEXPORT jint JNICALL Java_javax_comm_SerialInputStream_readbyte(JNIEnv* env, jobject receiver, jint handle);

// Discards whatever waits in the input queue; output is left alone. Nonzero on success.
JNIEXPORT jint JNICALL Java_javax_comm_SerialInputStream_clearcom(JNIEnv* env, jobject receiver, jint handle);

// javax.comm.SerialOutputStream

// Writes the low 8 bits of `value`; nonzero on success.
JNIEXPORT jint JNICALL Java_javax_comm_SerialOutputStream_writebyte(JNIEnv* env, jobject receiver, jint handle,
                                                                    jint value);

// Does nothing and returns false.
JNIEXPORT jboolean JNICALL Java_javax_comm_SerialOutputStream_nop(JNIEnv* env, jobject receiver, jint unused);

#ifdef __cplusplus
}
#endif

#endif
