#ifndef OSTRABEL1_TESTS_RECORDING_PORT_H
#define OSTRABEL1_TESTS_RECORDING_PORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace recording_port {

struct Answers {
    std::int32_t open = 0;
    int flag = 0;
    bool applied = false;
    int byte = -1;
};

// Where calls are recorded; share it with a FakeJniEnv to see string events in between.
extern std::vector<std::string>* log;
// What the next calls return.
extern Answers answers;

}  // namespace recording_port

#endif
