// A JNIEnv for calling the natives from C++: a "Java string" is a plain C string, which
// GetStringUTFChars hands back as it is and ReleaseStringUTFChars leaves alone. Copying nothing,
// it adds no allocation and next to no time to what an open or a configure costs the library.
#ifndef OSTRABEL1_BENCH_STATIC_STRING_ENV_H
#define OSTRABEL1_BENCH_STATIC_STRING_ENV_H

#include <jni.h>

namespace bench {

class StaticStringEnv {
public:
    StaticStringEnv() {
        table_.GetStringUTFChars = &get_chars;
        table_.ReleaseStringUTFChars = &release_chars;
        env_.functions = &table_;
    }
    StaticStringEnv(const StaticStringEnv&) = delete;
    StaticStringEnv& operator=(const StaticStringEnv&) = delete;

    JNIEnv* env() { return &env_; }
    static jstring string(const char* text) { return reinterpret_cast<jstring>(const_cast<char*>(text)); }

private:
    static const char* JNICALL get_chars(JNIEnv*, jstring text, jboolean*) {
        return reinterpret_cast<const char*>(text);
    }
    static void JNICALL release_chars(JNIEnv*, jstring, const char*) {}

    JNINativeInterface_ table_{};
    JNIEnv env_{};
};

}  // namespace bench

#endif
