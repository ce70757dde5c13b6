// A JNIEnv that offers only the two string functions the natives use, and records each acquire and
// release in an event log, so tests can check that every path releases exactly what it acquired,
// in the right order. Header-only; builds with the host compiler and with mingw-w64.
#ifndef OSTRABEL1_TESTS_FAKE_JNI_ENV_H
#define OSTRABEL1_TESTS_FAKE_JNI_ENV_H

#include <jni.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

class FakeJniEnv {
public:
    // Where events are written; tests may share one log with other fakes to check ordering.
    explicit FakeJniEnv(std::vector<std::string>* log = nullptr) : log_(log != nullptr ? log : &own_log_) {
        std::memset(&table_, 0, sizeof table_);
        table_.reserved0 = this;
        table_.GetStringUTFChars = &get_string_utf_chars;
        table_.ReleaseStringUTFChars = &release_string_utf_chars;
        env_.functions = &table_;
    }
    FakeJniEnv(const FakeJniEnv&) = delete;
    FakeJniEnv& operator=(const FakeJniEnv&) = delete;

    JNIEnv* env() { return &env_; }

    // A Java String holding `text` (modified UTF-8, as the natives receive it).
    jstring string(const std::string& text) {
        strings_.push_back(text);
        return reinterpret_cast<jstring>(&strings_.back());
    }

    // Make GetStringUTFChars fail (return null), as a JVM does when it runs out of memory.
    void fail_conversions(bool fail) { fail_conversions_ = fail; }

    const std::vector<std::string>& log() const { return *log_; }
    int acquired() const { return acquired_; }
    int released() const { return released_; }
    // Conversions asked for with a non-null is-copy pointer.
    int is_copy_requests() const { return is_copy_requests_; }
    // Releases whose pointer or string did not match an earlier acquire.
    int mismatched_releases() const { return mismatched_releases_; }

private:
    static FakeJniEnv& self(JNIEnv* env) { return *static_cast<FakeJniEnv*>(env->functions->reserved0); }

    static const char* JNICALL get_string_utf_chars(JNIEnv* env, jstring text, jboolean* is_copy) {
        FakeJniEnv& fake = self(env);
        if (is_copy != nullptr) ++fake.is_copy_requests_;
        const auto* held = reinterpret_cast<const std::string*>(text);
        if (fake.fail_conversions_) {
            fake.log_->push_back("acquire-failed:" + *held);
            return nullptr;
        }
        ++fake.acquired_;
        fake.log_->push_back("acquire:" + *held);
        fake.copies_.push_back(*held);  // a copy of its own, as a JVM hands out
        return fake.copies_.back().c_str();
    }

    static void JNICALL release_string_utf_chars(JNIEnv* env, jstring text, const char* chars) {
        FakeJniEnv& fake = self(env);
        const auto* held = reinterpret_cast<const std::string*>(text);
        bool matched = false;
        for (const std::string& copy : fake.copies_) matched = matched || copy.c_str() == chars;
        if (!matched || chars == nullptr || *held != chars) ++fake.mismatched_releases_;
        ++fake.released_;
        fake.log_->push_back("release:" + *held);
    }

    JNIEnv env_{};
    JNINativeInterface_ table_{};
    std::vector<std::string> own_log_;
    std::vector<std::string>* log_;
    std::deque<std::string> strings_;
    std::deque<std::string> copies_;
    bool fail_conversions_ = false;
    int acquired_ = 0;
    int released_ = 0;
    int is_copy_requests_ = 0;
    int mismatched_releases_ = 0;
};

#endif
