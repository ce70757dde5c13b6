// The eight entry points of ostrabel1.dll, loaded the way a JVM binds them: LoadLibrary, then
// GetProcAddress by each exported name (decorated on 32-bit, plain on 64-bit).
#ifndef OSTRABEL1_TESTS_WINDOWS_LOADED_NATIVES_H
#define OSTRABEL1_TESTS_WINDOWS_LOADED_NATIVES_H

#include <windows.h>

#include <jni.h>

#include <string>

#if defined(__i386__) || defined(_M_IX86)
#define OSTRABEL1_EXPORTED_NAME(name, argument_bytes) "_" #name "@" #argument_bytes
#else
#define OSTRABEL1_EXPORTED_NAME(name, argument_bytes) #name
#endif

struct LoadedNatives {
    jint(JNICALL* openPort)(JNIEnv*, jobject, jstring) = nullptr;
    jint(JNICALL* closePort)(JNIEnv*, jobject, jint) = nullptr;
    jboolean(JNICALL* setCommState)(JNIEnv*, jobject, jint, jstring) = nullptr;
    jint(JNICALL* setReceiveTimeout)(JNIEnv*, jobject, jint, jint) = nullptr;
    jint(JNICALL* readbyte)(JNIEnv*, jobject, jint) = nullptr;
    jint(JNICALL* clearcom)(JNIEnv*, jobject, jint) = nullptr;
    jint(JNICALL* writebyte)(JNIEnv*, jobject, jint, jint) = nullptr;
    jboolean(JNICALL* nop)(JNIEnv*, jobject, jint) = nullptr;
};

namespace loaded_natives_detail {

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function, std::string& missing) {
    const FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
    // Through the generic function pointer type, which converts to any other without a warning.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}

}  // namespace loaded_natives_detail

// Loads `module_name` and resolves all eight; on failure `error` says what is missing.
inline bool load_natives(const char* module_name, LoadedNatives& natives, std::string& error) {
    using loaded_natives_detail::resolve;
    const HMODULE module = LoadLibraryA(module_name);
    if (module == nullptr) {
        error = std::string("LoadLibrary(") + module_name + ") failed, error " + std::to_string(GetLastError());
        return false;
    }
    std::string missing;
#define OSTRABEL1_RESOLVE(field, java_name, argument_bytes) \
    resolve(module, OSTRABEL1_EXPORTED_NAME(java_name, argument_bytes), natives.field, missing)
    bool ok = OSTRABEL1_RESOLVE(openPort, Java_javax_comm_SerialPort_openPort, 12);
    ok &= OSTRABEL1_RESOLVE(closePort, Java_javax_comm_SerialPort_closePort, 12);
    ok &= OSTRABEL1_RESOLVE(setCommState, Java_javax_comm_SerialPort_setCommState, 16);
    ok &= OSTRABEL1_RESOLVE(setReceiveTimeout, Java_javax_comm_SerialPort_setReceiveTimeout, 16);
    ok &= OSTRABEL1_RESOLVE(readbyte, Java_javax_comm_SerialInputStream_readbyte, 12);
    ok &= OSTRABEL1_RESOLVE(clearcom, Java_javax_comm_SerialInputStream_clearcom, 12);
    ok &= OSTRABEL1_RESOLVE(writebyte, Java_javax_comm_SerialOutputStream_writebyte, 16);
    ok &= OSTRABEL1_RESOLVE(nop, Java_javax_comm_SerialOutputStream_nop, 12);
#undef OSTRABEL1_RESOLVE
    if (!ok) error = "not exported: " + missing;
    return ok;
}

#endif
