// A pseudo-terminal for tests: the slave end plays the serial port (opened by its path through the
// library), the master end plays the device at the other end of the line.
#ifndef OSTRABEL1_TESTS_PSEUDO_TERMINAL_H
#define OSTRABEL1_TESTS_PSEUDO_TERMINAL_H

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            char name[128] = {};
            if (ptsname_r(master_, name, sizeof name) == 0) path_ = name;
        }
    }
    ~PseudoTerminal() { close_master(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& path() const { return path_; }
    int master() const { return master_; }

    // The device at the other end goes away.
    void close_master() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    bool send(const std::string& bytes) const {
        return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // What arrived at the master end within `timeout_ms`, up to `max` bytes.
    std::string receive(std::size_t max, int timeout_ms = 1000) const {
        std::string got;
        while (got.size() < max) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, timeout_ms) != 1 || (ready.revents & POLLIN) == 0) break;
            char buffer[256];
            const std::size_t want = max - got.size() < sizeof buffer ? max - got.size() : sizeof buffer;
            const ssize_t n = read(master_, buffer, want);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int master_ = -1;
    std::string path_;
};

#endif
