// The natives of javax.comm.SerialPort: convert the Java arguments, call the port layer, convert the result.
#include "ostrabel1.h"

#include "comm/port.h"

namespace comm = ostrabel1::comm;

extern "C" {

JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_openPort(JNIEnv* env, jobject /*receiver*/, jstring name) {
    // A null String, or a conversion that fails (out of memory), is a failed open, not a crash.
    if (name == nullptr) return 0;
    const char* converted = env->GetStringUTFChars(name, nullptr);
    if (converted == nullptr) return 0;
    const comm::Handle handle = comm::open_port(converted);
    env->ReleaseStringUTFChars(name, converted);  // before the result is looked at, on every path
    if (handle == 0) return 0;
    comm::request_queues(handle);
    return handle;
}

JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_closePort(JNIEnv* /*env*/, jobject /*receiver*/, jint handle) {
    return comm::close_port(handle);
}

JNIEXPORT jboolean JNICALL Java_javax_comm_SerialPort_setCommState(JNIEnv* env, jobject /*receiver*/, jint handle,
                                                                   jstring definition) {
    if (definition == nullptr) return JNI_FALSE;
    const char* converted = env->GetStringUTFChars(definition, nullptr);
    if (converted == nullptr) return JNI_FALSE;
    const bool applied = comm::set_comm_state(handle, converted);
    env->ReleaseStringUTFChars(definition, converted);
    return applied ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jint JNICALL Java_javax_comm_SerialPort_setReceiveTimeout(JNIEnv* /*env*/, jobject /*receiver*/,
                                                                    jint handle, jint milliseconds) {
    // -1 from Java is the longest time-out there is, 4294967295 ms.
    return comm::set_receive_timeout(handle, static_cast<std::uint32_t>(milliseconds));
}

}  // extern "C"
