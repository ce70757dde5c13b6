// What the Linux dumper and the Windows probe share: how a corpus line is written, and the one-line
// form in which both print what a string gave. Plain C++17, built by both compilers.
#ifndef OSTRABEL1_TESTS_BLOCK_LINE_H
#define OSTRABEL1_TESTS_BLOCK_LINE_H

#include <cstdint>
#include <string>

namespace block_line {

// The fields of the block that a mode string can reach, and whether the string was accepted.
struct Fields {
    bool accepted = false;
    std::uint32_t baud = 0;
    unsigned binary = 0, parity_check = 0, cts_flow = 0, dsr_flow = 0, dtr = 0, dsr_sensitive = 0,
             tx_continue = 0, out_x = 0, in_x = 0, rts = 0, byte_size = 0, parity = 0, stop = 0, xon = 0, xoff = 0;
};

// Windows' DCB and our block name these fields alike, so one copy serves both.
template <class Block>
Fields fields_of(bool accepted, const Block& block) {
    Fields f;
    f.accepted = accepted;
    f.baud = block.BaudRate;
    f.binary = block.fBinary;
    f.parity_check = block.fParity;
    f.cts_flow = block.fOutxCtsFlow;
    f.dsr_flow = block.fOutxDsrFlow;
    f.dtr = block.fDtrControl;
    f.dsr_sensitive = block.fDsrSensitivity;
    f.tx_continue = block.fTXContinueOnXoff;
    f.out_x = block.fOutX;
    f.in_x = block.fInX;
    f.rts = block.fRtsControl;
    f.byte_size = block.ByteSize;
    f.parity = block.Parity;
    f.stop = block.StopBits;
    f.xon = static_cast<unsigned char>(block.XonChar);
    f.xoff = static_cast<unsigned char>(block.XoffChar);
    return f;
}

inline std::string format(const Fields& f) {
    auto field = [](const char* name, unsigned long value) { return std::string(" ") + name + "=" + std::to_string(value); };
    return std::string("ok=") + (f.accepted ? "1" : "0") + field("BaudRate", f.baud) + field("fBinary", f.binary) +
           field("fParity", f.parity_check) + field("fOutxCtsFlow", f.cts_flow) + field("fOutxDsrFlow", f.dsr_flow) +
           field("fDtrControl", f.dtr) + field("fDsrSensitivity", f.dsr_sensitive) +
           field("fTXContinueOnXoff", f.tx_continue) + field("fOutX", f.out_x) + field("fInX", f.in_x) +
           field("fRtsControl", f.rts) + field("ByteSize", f.byte_size) + field("Parity", f.parity) +
           field("StopBits", f.stop) + field("XonChar", f.xon) + field("XoffChar", f.xoff);
}

inline int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A case is written between double quotes, so that blanks at either end show: "96,n,8,1 ".
// Inside, \t is a tab, \\ a backslash and \xNN any byte but NUL; everything else stands for itself.
// A line that is empty or starts with '#' holds no case. Returns false for those and for a
// malformed line (then `error` says why).
inline bool decode(std::string line, std::string& text, std::string& error) {
    error.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') return false;
    if (line.size() < 2 || line.front() != '"' || line.back() != '"') {
        error = "a case must be written between double quotes";
        return false;
    }
    text.clear();
    for (std::size_t i = 1; i + 1 < line.size(); ++i) {
        if (line[i] != '\\') {
            text += line[i];
            continue;
        }
        const char kind = i + 2 < line.size() ? line[i + 1] : '\0';
        if (kind == 't' || kind == '\\') {
            text += kind == 't' ? '\t' : '\\';
            ++i;
        } else if (kind == 'x' && i + 4 < line.size() && hex_digit(line[i + 2]) >= 0 && hex_digit(line[i + 3]) >= 0 &&
                   (hex_digit(line[i + 2]) | hex_digit(line[i + 3])) != 0) {
            text += static_cast<char>(hex_digit(line[i + 2]) * 16 + hex_digit(line[i + 3]));
            i += 3;
        } else {
            error = "unknown escape (\\t, \\\\ and \\xNN other than \\x00 are known)";
            return false;
        }
    }
    return true;
}

}  // namespace block_line

#endif
