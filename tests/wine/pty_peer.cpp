// The far end of a serial line for a Windows test program running under Wine.
//
//   pty_peer -- LOADER PROGRAM.exe ARGS...
//
// Creates a pseudo-terminal, maps a free COM port of $WINEPREFIX to its slave side
// (dosdevices/comN -> /dev/pts/M), and starts the command with the port name ("COMN") appended.
// The program drives the line through the module under test and asks the peer, one line at a time
// on its standard output, to play the other end; the peer answers on the program's standard input:
//
//   send HEX            write the bytes to the line                       -> ok
//   send-later MS HEX   write them MS milliseconds from now               -> ok
//   expect N MS         read until N bytes came or MS ms passed           -> got HEX
//   queued N MS         wait until the port's input queue holds N bytes   -> queued COUNT
//   line                the line settings the port applied                -> line speed=.. stop=.. ...
//
// The peer exits with the program's exit status, after removing the COM mapping.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "pty_peer: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

int elapsed_ms(Clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string to_hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::vector<unsigned char> from_hex(const std::string& text) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

void write_all(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) die("write");
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

struct Pty {
    int master = -1;
    int slave = -1;  // held open so the line stays up while the program closes and reopens the port
    std::string slave_path;
};

Pty open_pty() {
    Pty pty;
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) die("posix_openpt");
    pty.slave_path = ptsname(pty.master);
    pty.slave = open(pty.slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) die("open " + pty.slave_path);
    // A serial line carries bytes as they are; the program's line settings replace these.
    termios settings{};
    tcgetattr(pty.slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(pty.slave, TCSANOW, &settings);
    return pty;
}

// Claims the first free COM2..COM9 of the prefix (COM1 is the prefix's own; names past COM9 are
// not DOS device names). Parallel test runs each claim their own.
int claim_com_port(const std::string& prefix, const std::string& target, std::string& link) {
    for (int attempt = 0; attempt < 300; ++attempt) {
        for (int number = 2; number <= 9; ++number) {
            link = prefix + "/dosdevices/com" + std::to_string(number);
            if (symlink(target.c_str(), link.c_str()) == 0) return number;
            if (errno != EEXIST) die("symlink " + link);
        }
        usleep(100 * 1000);
    }
    errno = EBUSY;
    die("no free COM port in " + prefix);
}

// Reads from the master until `wanted` bytes came or `timeout_ms` passed.
std::vector<unsigned char> read_line(int master, std::size_t wanted, int timeout_ms) {
    std::vector<unsigned char> bytes;
    const Clock::time_point start = Clock::now();
    while (bytes.size() < wanted) {
        const int left = timeout_ms - elapsed_ms(start);
        if (left <= 0) break;
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, left) <= 0) continue;
        unsigned char chunk[512];
        const std::size_t room = std::min(sizeof chunk, wanted - bytes.size());
        const ssize_t got = read(master, chunk, room);
        if (got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    return bytes;
}

int queued_input(int slave) {
    int count = 0;
    ioctl(slave, FIONREAD, &count);
    return count;
}

// Data size and parity are not reported: the kernel keeps a pseudo-terminal at 8 bits, no parity,
// whatever is asked for.
std::string describe_line(int slave) {
    termios settings{};
    if (tcgetattr(slave, &settings) != 0) return "line error";
    static const struct {
        speed_t code;
        int baud;
    } speeds[] = {{B0, 0},       {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
                  {B150, 150},   {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},
                  {B1800, 1800}, {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
                  {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    int baud = -1;
    for (const auto& speed : speeds)
        if (cfgetospeed(&settings) == speed.code) baud = speed.baud;
    char text[200];
    std::snprintf(text, sizeof text, "line speed=%d stop=%d rtscts=%d xon=%d xoff=%d", baud,
                  (settings.c_cflag & CSTOPB) ? 2 : 1, (settings.c_cflag & CRTSCTS) ? 1 : 0,
                  (settings.c_iflag & IXON) ? 1 : 0, (settings.c_iflag & IXOFF) ? 1 : 0);
    return text;
}

struct PendingSend {
    Clock::time_point due;
    std::vector<unsigned char> bytes;
};

std::string answer(const std::string& command, const Pty& pty, std::vector<PendingSend>& later) {
    char verb[32] = {};
    char hex[2048] = {};
    int first = 0;
    int second = 0;
    if (std::sscanf(command.c_str(), "send-later %d %2047s", &first, hex) == 2) {
        later.push_back({Clock::now() + std::chrono::milliseconds(first), from_hex(hex)});
        return "ok";
    }
    if (std::sscanf(command.c_str(), "send %2047s", hex) == 1) {
        const std::vector<unsigned char> bytes = from_hex(hex);
        write_all(pty.master, bytes.data(), bytes.size());
        return "ok";
    }
    if (std::sscanf(command.c_str(), "expect %d %d", &first, &second) == 2)
        return "got " + to_hex(read_line(pty.master, static_cast<std::size_t>(first), second));
    if (std::sscanf(command.c_str(), "queued %d %d", &first, &second) == 2) {
        const Clock::time_point start = Clock::now();
        while (queued_input(pty.slave) < first && elapsed_ms(start) < second) usleep(5 * 1000);
        return "queued " + std::to_string(queued_input(pty.slave));
    }
    if (std::sscanf(command.c_str(), "%31s", verb) == 1 && std::strcmp(verb, "line") == 0)
        return describe_line(pty.slave);
    return "error unknown command: " + command;
}

struct Program {
    pid_t pid = -1;
    int requests = -1;  // its standard output
    int replies = -1;   // its standard input
    int errors = -1;    // its standard error, passed on to ours
};

// Copies what the program wrote to its standard error. Wine's own helper processes may inherit
// that pipe and keep it open, so the peer never waits for it to close.
void pass_on_errors(const Program& program) {
    char chunk[4096];
    ssize_t got;
    while ((got = read(program.errors, chunk, sizeof chunk)) > 0)
        write_all(STDERR_FILENO, chunk, static_cast<std::size_t>(got));
}

// Serves the program's requests until it exits; sends scheduled bytes when due. Returns its
// wait status.
int serve(const Pty& pty, const Program& program) {
    std::vector<PendingSend> later;
    std::string pending;
    for (;;) {
        int status = 0;
        if (waitpid(program.pid, &status, WNOHANG) == program.pid) {
            pass_on_errors(program);
            return status;
        }
        int wait_ms = 100;  // how often the program's exit is looked for
        for (const PendingSend& send : later) wait_ms = std::min(wait_ms, std::max(-elapsed_ms(send.due), 0));
        pollfd ready[2] = {{program.requests, POLLIN, 0}, {program.errors, POLLIN, 0}};
        const int polled = poll(ready, 2, wait_ms);
        for (auto send = later.begin(); send != later.end();) {
            if (Clock::now() < send->due) {
                ++send;
                continue;
            }
            write_all(pty.master, send->bytes.data(), send->bytes.size());
            send = later.erase(send);
        }
        if (polled <= 0) continue;
        if (ready[1].revents != 0) pass_on_errors(program);
        if (ready[0].revents == 0) continue;
        char chunk[4096];
        const ssize_t got = read(program.requests, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            usleep(10 * 1000);  // closed: only the exit is left to wait for
            continue;
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r') command.pop_back();
            const std::string reply = answer(command, pty, later) + "\n";
            write_all(program.replies, reply.data(), reply.size());
        }
    }
}

Program start(std::vector<std::string> arguments) {
    int to_program[2];
    int from_program[2];
    int errors[2];
    if (pipe2(to_program, O_CLOEXEC) != 0 || pipe2(from_program, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0)
        die("pipe");
    Program program;
    program.pid = fork();
    if (program.pid < 0) die("fork");
    if (program.pid == 0) {
        dup2(to_program[0], STDIN_FILENO);
        dup2(from_program[1], STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        std::vector<char*> exec_argv;
        for (std::string& argument : arguments) exec_argv.push_back(argument.data());
        exec_argv.push_back(nullptr);
        execv(exec_argv[0], exec_argv.data());
        std::fprintf(stderr, "pty_peer: exec %s: %s\n", exec_argv[0], std::strerror(errno));
        _exit(127);
    }
    close(to_program[0]);
    close(from_program[1]);
    close(errors[1]);
    fcntl(errors[0], F_SETFL, O_NONBLOCK);
    program.requests = from_program[0];
    program.replies = to_program[1];
    program.errors = errors[0];
    return program;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], "--") != 0) {
        std::fprintf(stderr, "usage: pty_peer -- LOADER PROGRAM.exe ARGS...\n");
        return 2;
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0') {
        std::fprintf(stderr, "pty_peer: WINEPREFIX is not set\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    const Pty pty = open_pty();
    std::string link;
    const int com = claim_com_port(prefix, pty.slave_path, link);
    std::vector<std::string> arguments(argv + 2, argv + argc);
    arguments.push_back("COM" + std::to_string(com));

    const int status = serve(pty, start(arguments));
    unlink(link.c_str());
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    std::fprintf(stderr, "pty_peer: program ended by signal %d\n", WTERMSIG(status));
    return 3;
}
