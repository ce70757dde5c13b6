// The JNI bridge on its own: what it hands the port layer, what it returns, and that every path
// releases exactly the strings it acquired, right after the port call.
#include <gtest/gtest.h>

#include <climits>

#include "fake_jni_env.h"
#include "ostrabel1.h"
#include "recording_port.h"

namespace {

using Events = std::vector<std::string>;

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        recording_port::log = &events;
        recording_port::answers = {};
    }
    void TearDown() override {
        recording_port::log = nullptr;
        EXPECT_EQ(jni.acquired(), jni.released()) << "every acquired string is released";
        EXPECT_EQ(jni.mismatched_releases(), 0);
        EXPECT_EQ(jni.is_copy_requests(), 0) << "is-copy is always passed as null";
    }

    Events events;
    FakeJniEnv jni{&events};
    // The receiver is never read: an object that does not exist serves as well as a real one.
    jobject receiver = nullptr;
};

TEST_F(Bridge, OpenPortReleasesTheNameAfterTheOpenAndBeforeTheQueuesOnSuccess) {
    recording_port::answers.open = 1234;
    EXPECT_EQ(Java_javax_comm_SerialPort_openPort(jni.env(), receiver, jni.string("COM1")), 1234);
    EXPECT_EQ(events, (Events{"acquire:COM1", "open:COM1", "release:COM1", "queues:1234"}));
}

TEST_F(Bridge, OpenPortReleasesTheNameWhenTheOpenFails) {
    recording_port::answers.open = 0;
    EXPECT_EQ(Java_javax_comm_SerialPort_openPort(jni.env(), receiver, jni.string("/dev/none")), 0);
    EXPECT_EQ(events, (Events{"acquire:/dev/none", "open:/dev/none", "release:/dev/none"}));
}

TEST_F(Bridge, OpenPortPassesTheConvertedBytesUnchanged) {
    recording_port::answers.open = 7;
    const std::string name = "\\\\.\\COM12 x\xc3\xa9";
    Java_javax_comm_SerialPort_openPort(jni.env(), receiver, jni.string(name));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1], "open:" + name);
}

TEST_F(Bridge, NullStringsAndFailedConversionsAreFailuresNotCrashes) {
    recording_port::answers = {7, 1, true, 65};
    EXPECT_EQ(Java_javax_comm_SerialPort_openPort(jni.env(), receiver, nullptr), 0);
    EXPECT_EQ(Java_javax_comm_SerialPort_setCommState(jni.env(), receiver, 7, nullptr), JNI_FALSE);
    EXPECT_TRUE(events.empty());

    jni.fail_conversions(true);
    EXPECT_EQ(Java_javax_comm_SerialPort_openPort(jni.env(), receiver, jni.string("COM1")), 0);
    EXPECT_EQ(Java_javax_comm_SerialPort_setCommState(jni.env(), receiver, 7, jni.string("baud=9600")), JNI_FALSE);
    EXPECT_EQ(events, (Events{"acquire-failed:COM1", "acquire-failed:baud=9600"}));
}

TEST_F(Bridge, SetCommStateReleasesTheDefinitionAfterApplyingItAndReturnsItsOutcome) {
    for (const bool applied : {true, false}) {
        events.clear();
        recording_port::answers.applied = applied;
        const jboolean result =
            Java_javax_comm_SerialPort_setCommState(jni.env(), receiver, 42, jni.string("baud=9600 data=4"));
        EXPECT_EQ(result, applied ? JNI_TRUE : JNI_FALSE);
        EXPECT_EQ(events, (Events{"acquire:baud=9600 data=4", "state:42:baud=9600 data=4", "release:baud=9600 data=4"}));
    }
}

TEST_F(Bridge, HandlesPassThroughUnchangedAndFlagsComeBackUnchanged) {
    for (const jint handle : {INT_MIN, -1, 0, 1, 1024, INT_MAX}) {
        for (const int flag : {0, 1, 17}) {
            events.clear();
            recording_port::answers.flag = flag;
            const std::string h = std::to_string(handle);
            EXPECT_EQ(Java_javax_comm_SerialPort_closePort(jni.env(), receiver, handle), flag);
            EXPECT_EQ(Java_javax_comm_SerialInputStream_clearcom(jni.env(), receiver, handle), flag);
            EXPECT_EQ(Java_javax_comm_SerialPort_setReceiveTimeout(jni.env(), receiver, handle, 5), flag);
            EXPECT_EQ(events, (Events{"close:" + h, "clear:" + h, "timeout:" + h + ":5"}));
        }
    }
}

TEST_F(Bridge, ReceiveTimeoutIsTakenAsUnsignedMilliseconds) {
    const struct {
        jint from_java;
        const char* stored;
    } cases[] = {{0, "0"}, {250, "250"}, {-1, "4294967295"}, {INT_MIN, "2147483648"}, {INT_MAX, "2147483647"}};
    for (const auto& c : cases) {
        events.clear();
        Java_javax_comm_SerialPort_setReceiveTimeout(jni.env(), receiver, 9, c.from_java);
        EXPECT_EQ(events, (Events{std::string("timeout:9:") + c.stored}));
    }
}

TEST_F(Bridge, ReadbyteReturnsTheByteOrMinusOne) {
    for (const int byte : {0, 65, 255, -1}) {
        recording_port::answers.byte = byte;
        EXPECT_EQ(Java_javax_comm_SerialInputStream_readbyte(jni.env(), receiver, 3), byte);
    }
}

TEST_F(Bridge, WritebyteSendsTheLowEightBits) {
    const struct {
        jint value;
        const char* sent;
    } cases[] = {{0x41, "65"}, {0x141, "65"}, {-1, "255"}, {0, "0"}, {255, "255"}, {256, "0"}, {INT_MIN, "0"}};
    recording_port::answers.flag = 1;
    for (const auto& c : cases) {
        events.clear();
        EXPECT_EQ(Java_javax_comm_SerialOutputStream_writebyte(jni.env(), receiver, 5, c.value), 1);
        EXPECT_EQ(events, (Events{std::string("write:5:") + c.sent}));
    }
}

TEST_F(Bridge, StreamNativesNeverUseTheEnvironment) {
    recording_port::answers = {0, 1, false, 200};
    EXPECT_EQ(Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, 3), 200);
    EXPECT_EQ(Java_javax_comm_SerialInputStream_clearcom(nullptr, nullptr, 3), 1);
    EXPECT_EQ(Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, 3, 7), 1);
    EXPECT_EQ(Java_javax_comm_SerialPort_closePort(nullptr, nullptr, 3), 1);
    EXPECT_EQ(Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, 3, 1), 1);
}

TEST_F(Bridge, NopIsFalseAndCallsNothing) {
    for (const jint argument : {INT_MIN, -1, 0, 1, INT_MAX}) {
        EXPECT_EQ(Java_javax_comm_SerialOutputStream_nop(nullptr, nullptr, argument), JNI_FALSE);
    }
    EXPECT_TRUE(events.empty());
}

}  // namespace
