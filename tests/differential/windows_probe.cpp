// Runs Windows' own BuildCommDCBA on each case of a corpus (read from standard input) and prints,
// one line per case, what it gave: the result and the block fields that the mode-string parser mirrors.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "block_line.h"

int main() {
    // Bytes in, bytes out: no CR/LF translation and no end of file at a Ctrl-Z.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::string line, text, error;
    while (std::getline(std::cin, line)) {
        if (!block_line::decode(line, text, error)) {
            if (!error.empty()) std::cout << "corpus: " << error << '\n';
            continue;
        }
        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        block_line::Fields f;
        f.accepted = BuildCommDCBA(text.c_str(), &dcb) != FALSE;
        f.baud = dcb.BaudRate;
        f.binary = dcb.fBinary;
        f.parity_check = dcb.fParity;
        f.cts_flow = dcb.fOutxCtsFlow;
        f.dsr_flow = dcb.fOutxDsrFlow;
        f.dtr = dcb.fDtrControl;
        f.dsr_sensitive = dcb.fDsrSensitivity;
        f.tx_continue = dcb.fTXContinueOnXoff;
        f.out_x = dcb.fOutX;
        f.in_x = dcb.fInX;
        f.rts = dcb.fRtsControl;
        f.byte_size = dcb.ByteSize;
        f.parity = dcb.Parity;
        f.stop = dcb.StopBits;
        f.xon = static_cast<unsigned char>(dcb.XonChar);
        f.xoff = static_cast<unsigned char>(dcb.XoffChar);
        std::cout << block_line::format(f) << '\n';
    }
    return 0;
}
