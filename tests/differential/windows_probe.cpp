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
        const bool accepted = BuildCommDCBA(text.c_str(), &dcb) != FALSE;
        std::cout << block_line::format(block_line::fields_of(accepted, dcb)) << '\n';
    }
    return 0;
}
