// The request channel to the far end of the line (tests/wine/pty_peer): one request per line on
// standard output, one answer per line on standard input. Bytes travel as hex.
#ifndef OSTRABEL1_TESTS_WINDOWS_PEER_LINK_H
#define OSTRABEL1_TESTS_WINDOWS_PEER_LINK_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

class PeerLink {
public:
    // The far end writes `bytes` to the line now, or `delay_ms` from now.
    void send(const Bytes& bytes) { ask("send " + hex(bytes)); }
    void send_later(int delay_ms, const Bytes& bytes) {
        ask("send-later " + std::to_string(delay_ms) + " " + hex(bytes));
    }

    // What reached the far end: up to `count` bytes, waiting at most `timeout_ms`.
    Bytes expect(int count, int timeout_ms) {
        return unhex(after("got", ask("expect " + std::to_string(count) + " " + std::to_string(timeout_ms))));
    }

    // Waits until the port's input queue holds `count` bytes; returns how many it holds.
    int queued(int count, int timeout_ms) {
        const std::string answer = ask("queued " + std::to_string(count) + " " + std::to_string(timeout_ms));
        return std::atoi(after("queued", answer).c_str());
    }

    // The line settings the port applied, e.g. "speed=9600 data=8 parity=none stop=1 rtscts=0 xon=0 xoff=0".
    std::string line() { return after("line", ask("line")); }

private:
    static std::string hex(const Bytes& bytes) {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (unsigned char value : bytes) {
            text += digits[value >> 4];
            text += digits[value & 15];
        }
        return text;
    }

    static Bytes unhex(const std::string& text) {
        Bytes bytes;
        for (std::size_t i = 0; i + 1 < text.size(); i += 2)
            bytes.push_back(static_cast<unsigned char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
        return bytes;
    }

    static std::string after(const std::string& word, const std::string& answer) {
        if (answer.compare(0, word.size(), word) != 0) {
            std::fprintf(stderr, "peer answered '%s', expected '%s ...'\n", answer.c_str(), word.c_str());
            std::exit(2);
        }
        return answer.size() > word.size() ? answer.substr(word.size() + 1) : std::string();
    }

    static std::string ask(const std::string& request) {
        std::fprintf(stdout, "%s\n", request.c_str());
        std::fflush(stdout);
        std::string answer;
        char chunk[1024];
        while (std::fgets(chunk, sizeof chunk, stdin) != nullptr) {
            answer += chunk;
            if (!answer.empty() && answer.back() == '\n') break;
        }
        while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
        if (answer.empty()) {
            std::fprintf(stderr, "the peer did not answer '%s'\n", request.c_str());
            std::exit(2);
        }
        return answer;
    }
};

#endif
