// A port layer that records each call in the test's event log and answers as the test says, so the
// bridge can be checked for what it passes down, what it returns and when it releases strings.
#include "recording_port.h"

#include "comm/port.h"

namespace recording_port {

std::vector<std::string>* log = nullptr;
Answers answers;

namespace {
void record(const std::string& event) {
    if (log != nullptr) log->push_back(event);
}
}  // namespace

}  // namespace recording_port

namespace ostrabel1::comm {

using recording_port::answers;
using recording_port::record;

Handle open_port(const char* name) {
    record("open:" + std::string(name));
    return answers.open;
}

void request_queues(Handle handle) { record("queues:" + std::to_string(handle)); }

int close_port(Handle handle) {
    record("close:" + std::to_string(handle));
    return answers.flag;
}

bool set_comm_state(Handle handle, const char* definition) {
    record("state:" + std::to_string(handle) + ":" + definition);
    return answers.applied;
}

int set_receive_timeout(Handle handle, std::uint32_t milliseconds) {
    record("timeout:" + std::to_string(handle) + ":" + std::to_string(milliseconds));
    return answers.flag;
}

int read_byte(Handle handle) {
    record("read:" + std::to_string(handle));
    return answers.byte;
}

int write_byte(Handle handle, std::uint8_t value) {
    record("write:" + std::to_string(handle) + ":" + std::to_string(value));
    return answers.flag;
}

int clear_input(Handle handle) {
    record("clear:" + std::to_string(handle));
    return answers.flag;
}

}  // namespace ostrabel1::comm
