#include "bench_line.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ostrabel1.h"

namespace bench {

BenchLine::~BenchLine() {
    close_port();
    if (bare_fd >= 0) close(bare_fd);
    if (nonblocking_fd >= 0) close(nonblocking_fd);
}

bool BenchLine::open(std::string& error) {
    if (!pty.open()) {
        error = pty.error();
        return false;
    }
    bare_fd = open_bare(pty.slave_path());
    if (bare_fd < 0 || !make_raw(bare_fd)) {
        error = "open " + pty.slave_path() + ": " + std::strerror(errno);
        return false;
    }
    nonblocking_fd = open_bare(pty.slave_path(), true);
    if (nonblocking_fd < 0) {
        error = "open " + pty.slave_path() + ": " + std::strerror(errno);
        return false;
    }
    if (!open_port()) {
        error = "the library could not open " + pty.slave_path();
        return false;
    }
    return true;
}

bool BenchLine::open_port() {
    handle = Java_javax_comm_SerialPort_openPort(jni.env(), nullptr, StaticStringEnv::string(pty.slave_path().c_str()));
    return handle != 0;
}

void BenchLine::close_port() {
    if (handle != 0) Java_javax_comm_SerialPort_closePort(nullptr, nullptr, handle);
    handle = 0;
}

}  // namespace bench
