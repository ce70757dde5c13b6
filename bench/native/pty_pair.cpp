#include "pty_pair.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace bench {

namespace {

constexpr int kChunk = 512;

bool write_all(int fd, const unsigned char* bytes, int count) {
    while (count > 0) {
        const ssize_t written = write(fd, bytes, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<int>(written);
    }
    return true;
}

}  // namespace

bool make_raw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

int open_bare(const std::string& path, bool nonblocking) {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | (nonblocking ? O_NONBLOCK : 0));
}

PtyPair::~PtyPair() {
    if (master_ >= 0) close(master_);
}

bool PtyPair::open() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error_ = std::string("no pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error_ = std::string("ptsname_r: ") + std::strerror(errno);
        return false;
    }
    slave_path_ = name;
    // The far end must not translate or echo either, or bytes would come back altered.
    if (!make_raw(master_)) {
        error_ = std::string("raw mode on the master: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool PtyPair::feed(int count, int near_fd) const {
    unsigned char block[kChunk];
    for (int i = 0; i < kChunk; ++i) block[i] = static_cast<unsigned char>(i);
    for (int sent = 0; sent < count;) {
        const int now = count - sent < kChunk ? count - sent : kChunk;
        // Continue the 0..255 pattern where the previous chunk stopped (kChunk is a multiple of 256).
        if (!write_all(master_, block, now)) return false;
        sent += now;
    }
    // The kernel hands bytes to the slave's line discipline from a work queue; wait until they are there.
    const timespec pause{0, 20'000};
    for (int waited = 0; waited < 100'000; ++waited) {
        int queued = 0;
        if (ioctl(near_fd, FIONREAD, &queued) != 0) return false;
        if (queued >= count) return true;
        nanosleep(&pause, nullptr);
    }
    return false;
}

bool PtyPair::drain(int count) const {
    unsigned char block[kChunk];
    while (count > 0) {
        const ssize_t got = read(master_, block, static_cast<size_t>(count < kChunk ? count : kChunk));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        count -= static_cast<int>(got);
    }
    return true;
}

long PtyPair::pattern_sum(int count) {
    long sum = 0;
    for (int i = 0; i < count; ++i) sum += i & 0xFF;
    return sum;
}

}  // namespace bench
