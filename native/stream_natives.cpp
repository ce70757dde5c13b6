// The natives of javax.comm.SerialInputStream and javax.comm.SerialOutputStream: one byte per call,
// straight through to the port layer.
#include "ostrabel1.h"

#include "comm/port.h"

namespace comm = ostrabel1::comm;

extern "C" {

JNIEXPORT jint JNICALL Java_javax_comm_SerialInputStream_readbyte(JNIEnv* /*env*/, jobject /*receiver*/,
                                                                  jint handle) {
    return comm::read_byte(handle);
}

JNIEXPORT jint JNICALL Java_javax_comm_SerialInputStream_clearcom(JNIEnv* /*env*/, jobject /*receiver*/,
                                                                  jint handle) {
    return comm::clear_input(handle);
}

JNIEXPORT jint JNICALL Java_javax_comm_SerialOutputStream_writebyte(JNIEnv* /*env*/, jobject /*receiver*/,
                                                                    jint handle, jint value) {
    return comm::write_byte(handle, static_cast<std::uint8_t>(value & 0xFF));
}

JNIEXPORT jboolean JNICALL Java_javax_comm_SerialOutputStream_nop(JNIEnv* /*env*/, jobject /*receiver*/,
                                                                 jint /*unused*/) {
    return JNI_FALSE;
}

}  // extern "C"
