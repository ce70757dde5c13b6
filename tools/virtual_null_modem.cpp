// A virtual null-modem cable: two pseudo-terminals whose lines are crossed, so that what one end
// writes the other end reads, byte for byte, in both directions.
//
// Prints the two device paths, one per line, then carries bytes until its standard input reaches
// end of file (the starting program closed it or died) or it gets a signal. Both ends are put in
// raw mode, and this program keeps each end open itself so that neither master reports a hang-up
// while no one else has that end open.
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

namespace {

struct PseudoTerminal {
    int master = -1;
    int slave = -1;  // held open, never read or written here
    char path[128] = {};
};

bool open_pseudo_terminal(PseudoTerminal& pty) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) return false;
    if (ptsname_r(pty.master, pty.path, sizeof pty.path) != 0) return false;
    pty.slave = open(pty.path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) return false;
    termios settings{};
    if (tcgetattr(pty.slave, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(pty.slave, TCSANOW, &settings) == 0;
}

bool write_all(int fd, const unsigned char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Carries what one end sends to the other end. A blocking write is the cable's flow control:
// when the far end's input queue is full, this direction waits and nothing is dropped.
void carry(int from_master, int to_master) {
    unsigned char buffer[4096];
    for (;;) {
        const ssize_t count = read(from_master, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0 || !write_all(to_master, buffer, count)) return;
    }
}

}  // namespace

int main() {
    PseudoTerminal a;
    PseudoTerminal b;
    if (!open_pseudo_terminal(a) || !open_pseudo_terminal(b)) {
        std::perror("virtual-null-modem: cannot make a pseudo-terminal");
        return 1;
    }
    std::printf("%s\n%s\n", a.path, b.path);
    std::fflush(stdout);

    std::thread(carry, a.master, b.master).detach();
    std::thread(carry, b.master, a.master).detach();

    // Runs for as long as whoever started it keeps our standard input open.
    char ignored[256];
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, ignored, sizeof ignored);
        if (count == 0 || (count < 0 && errno != EINTR)) break;
    }
    _exit(0);  // the carrying threads are blocked in read; end them with the process
}
