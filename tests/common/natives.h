// The natives as the tests call them: through the JNI entry points, as a Java VM would. Only openPort
// and setCommState use the environment; the others are given none, so a native that starts reading
// it shows up as a crash here.
#ifndef OSTRABEL1_TESTS_NATIVES_H
#define OSTRABEL1_TESTS_NATIVES_H

#include <string>

#include "fake_jni_env.h"
#include "ostrabel1.h"

namespace natives {

inline jint open_port(const std::string& path) {
    FakeJniEnv env;
    return Java_javax_comm_SerialPort_openPort(env.env(), nullptr, env.string(path));
}

inline jint close_port(jint handle) { return Java_javax_comm_SerialPort_closePort(nullptr, nullptr, handle); }

inline bool set_comm_state(jint handle, const std::string& definition) {
    FakeJniEnv env;
    return Java_javax_comm_SerialPort_setCommState(env.env(), nullptr, handle, env.string(definition)) == JNI_TRUE;
}

inline jint set_receive_timeout(jint handle, jint milliseconds) {
    return Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, milliseconds);
}

inline jint read_byte(jint handle) { return Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle); }

inline jint write_byte(jint handle, jint value) {
    return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, value);
}

inline jint clear_input(jint handle) { return Java_javax_comm_SerialInputStream_clearcom(nullptr, nullptr, handle); }

}  // namespace natives

#endif
