// The mode-string grammar: one table of strings, accepted and refused, with the block each gives.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "comm/posix/mode_string.h"

namespace {

using namespace ostrabel1::comm::posix;

// The fields a string can set. Everything else in the block must stay zero.
struct Fields {
    std::uint32_t baud;
    std::uint8_t size, parity, stop, dtr, rts;
    bool cts, dsr, dsr_sensitive, out_x, in_x;
};

struct Case {
    const char* text;
    bool accepted;
    Fields fields;
};

constexpr std::uint8_t N = kNoParity, O = kOddParity, E = kEvenParity, M = kMarkParity, S = kSpaceParity;
constexpr std::uint8_t S1 = kOneStopBit, S15 = kOne5StopBits, S2 = kTwoStopBits;
constexpr Fields kNothing{};
// The short form always sets flow control: none, XON/XOFF (",x") or hardware (",p").
constexpr Fields shortform(std::uint32_t baud, std::uint8_t size, std::uint8_t parity, std::uint8_t stop,
                           char suffix = ' ') {
    return suffix == 'p' ? Fields{baud, size, parity, stop, kDtrHandshake, kRtsHandshake, true, true, false, false, false}
                         : Fields{baud, size, parity, stop, kDtrEnable, kRtsEnable, false, false, false,
                                  suffix == 'x', suffix == 'x'};
}

const Case kCases[] = {
    // keyword form: field by field
    {"baud=9600 parity=n data=8 stop=1", true, {9600, 8, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=115200", true, {115200, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=250000 data=7", true, {250000, 7, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=4294967295", true, {4294967295u, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=0", true, kNothing},
    {"baud=96", true, {96, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},            // no abbreviations here
    {"baud=010", true, {10, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},           // decimal, not octal
    {"baud=000000000000000000009600", true, {9600, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"parity=o", true, {0, 0, O, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"parity=E", true, {0, 0, E, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"parity=m", true, {0, 0, M, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"parity=s", true, {0, 0, S, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"data=5", true, {0, 5, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"data=08", true, {0, 8, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"stop=1.5", true, {0, 0, N, S15, 0, 0, 0, 0, 0, 0, 0}},
    {"stop=2", true, {0, 0, N, S2, 0, 0, 0, 0, 0, 0, 0}},
    {"stop=01", true, kNothing},
    {"data=6 stop=1.5", true, {0, 6, N, S15, 0, 0, 0, 0, 0, 0, 0}},   // frame validity is the port's concern
    {"xon=on", true, {0, 0, N, S1, 0, 0, 0, 0, 0, 1, 1}},
    {"xon=off", true, kNothing},
    {"octs=on", true, {0, 0, N, S1, 0, 0, 1, 0, 0, 0, 0}},
    {"odsr=on", true, {0, 0, N, S1, 0, 0, 0, 1, 0, 0, 0}},
    {"idsr=on", true, {0, 0, N, S1, 0, 0, 0, 0, 1, 0, 0}},
    {"dtr=on rts=on", true, {0, 0, N, S1, kDtrEnable, kRtsEnable, 0, 0, 0, 0, 0}},
    {"dtr=hs rts=hs", true, {0, 0, N, S1, kDtrHandshake, kRtsHandshake, 0, 0, 0, 0, 0}},
    {"rts=tg", true, {0, 0, N, S1, 0, kRtsToggle, 0, 0, 0, 0, 0}},
    {"dtr=off rts=off", true, kNothing},
    {"to=on", true, kNothing},                                          // time-outs are not in the block
    {"baud=9600 parity=e data=7 stop=2 to=off xon=on odsr=on octs=on dtr=hs rts=tg idsr=on", true,
     {9600, 7, E, S2, kDtrHandshake, kRtsToggle, 1, 1, 1, 1, 1}},
    // keyword form: case, order, repeats, blanks
    {"BAUD=1200 PARITY=E", true, {1200, 0, E, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"BaUd=9600 XON=ON Dtr=Hs", true, {9600, 0, N, S1, kDtrHandshake, 0, 0, 0, 0, 1, 1}},
    {"data=8 baud=9600", true, {9600, 8, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=96 baud=12", true, {12, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"xon=on xon=off", true, kNothing},
    {"PaRiTy=s           Data=7          DTR=on", true, {0, 7, S, S1, kDtrEnable, 0, 0, 0, 0, 0, 0}},
    {"", true, kNothing},
    // 110 baud defaults to two stop bits unless a stop= says otherwise
    {"baud=110", true, {110, 0, N, S2, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=110 stop=1", true, {110, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"stop=1 baud=110", true, {110, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=110 stop=1.5", true, {110, 0, N, S15, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=1200 baud=110", true, {110, 0, N, S2, 0, 0, 0, 0, 0, 0, 0}},
    {"baud=110 baud=1200", true, {1200, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    // keyword form: refused
    {"data=4", false, kNothing},
    {"data=9", false, kNothing},
    {"data=264", false, kNothing},
    {"stop=0", false, kNothing},
    {"stop=3", false, kNothing},
    {"stop=1.501", false, kNothing},
    {"stop=1.50", false, kNothing},
    {"stop=01.5", false, kNothing},
    {"stop=2.0", false, kNothing},
    {"parity=no", false, kNothing},
    {"parity=x", false, kNothing},
    {"parity=e parity=x", false, kNothing},
    {"to=foobar", false, kNothing},
    {"xon=of", false, kNothing},
    {"xon=offf", false, kNothing},
    {"dtr=tg", false, kNothing},
    {"idsr=hs", false, kNothing},
    {"baud=4294967296", false, kNothing},
    {"baud=99999999999999999999", false, kNothing},
    {"data=4294967304", false, kNothing},
    {"baud=+96", false, kNothing},
    {"baud=-1", false, kNothing},
    {"baud=0x10", false, kNothing},
    {"baud=12a", false, kNothing},
    {"baud=", false, kNothing},
    {"baud", false, kNothing},
    {"baud = 9600", false, kNothing},
    {"baud= 9600", false, kNothing},
    {"baud==1", false, kNothing},
    {"speed=9600", false, kNothing},
    {"baud=9600,data=8", false, kNothing},
    {"baud=9600 ,data=8", false, kNothing},
    {" baud=9600", false, kNothing},
    {"baud=9600 ", false, kNothing},
    {"baud=9600\tdata=8", false, kNothing},
    {"  ", false, kNothing},
    {"baud=9600 96,n,8,1", false, kNothing},
    // short form
    {"96,n,8,1", true, shortform(9600, 8, N, S1)},
    {"96,n,8,1,x", true, shortform(9600, 8, N, S1, 'x')},
    {"96,n,8,1,p", true, shortform(9600, 8, N, S1, 'p')},
    {"96,N,8,1,X", true, shortform(9600, 8, N, S1, 'x')},
    {"0,M,7,1,P", true, shortform(0, 7, M, S1, 'p')},
    {"11,n,8,1", true, shortform(110, 8, N, S1)},                       // an explicit stop bit wins over 110's two
    {"15,n,8,1", true, shortform(150, 8, N, S1)},
    {"30 ,E, 5,1.5", true, shortform(300, 5, E, S15)},
    {"60, m, 6, 2 ", true, shortform(600, 6, M, S2)},
    {"12 , o , 7 , 1", true, shortform(1200, 7, O, S1)},
    {"24,s,8,1.5", true, shortform(2400, 8, S, S15)},
    {"48,n,8,1,p", true, shortform(4800, 8, N, S1, 'p')},
    {"19, e, 7, 1, x", true, shortform(19200, 7, E, S1, 'x')},
    {"096,n,8,1", true, shortform(9600, 8, N, S1)},
    {"14,n,8,1", true, shortform(14, 8, N, S1)},                        // not an abbreviation
    {"110,n,8,1", true, shortform(110, 8, N, S1)},
    {"9600,e,7,2", true, shortform(9600, 7, E, S2)},
    {"250000,n,8,1", true, shortform(250000, 8, N, S1)},
    {"4000000000,O,7,1.5,X", true, shortform(4000000000u, 7, O, S15, 'x')},
    {"96,n,08,01", true, shortform(9600, 8, N, S1)},
    {"96,N,8,1 , x ", true, shortform(9600, 8, N, S1, 'x')},
    {"96,n,8,1,", true, shortform(9600, 8, N, S1)},
    {"96,n,8,1 , ", true, shortform(9600, 8, N, S1)},
    // short form: refused
    {"96", false, kNothing},
    {"96,n", false, kNothing},
    {"96,n,8", false, kNothing},
    {"96,,8,1", false, kNothing},
    {",n,8,1", false, kNothing},
    {"96,NO,8,1", false, kNothing},
    {"96,x,8,1", false, kNothing},
    {"96,N,4,1", false, kNothing},
    {"96,N,9,1", false, kNothing},
    {"96,N,8,0", false, kNothing},
    {"96,N,8,3", false, kNothing},
    {"96,n,8,1.50", false, kNothing},
    {"96,N,8,1,K", false, kNothing},
    {"96,n,8,1,xx", false, kNothing},
    {"96,n,8,1,p,x", false, kNothing},
    {"96,n,8,1 x", false, kNothing},
    {"96,N,8,1 to=on", false, kNothing},
    {"96 n 8 1", false, kNothing},
    {"96;n;8;1", false, kNothing},
    {"96\t,n,8,1", false, kNothing},
    {"96,n,8,1\t", false, kNothing},
    {"96,n,8,1:", false, kNothing},
    {" 96,n,8,1", false, kNothing},
    {"+96,n,8,1", false, kNothing},
    {"4294967296,n,8,1", false, kNothing},
    // device names
    {"COM1: baud=1200", true, {1200, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"com1:baud=1200", true, {1200, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"COM1 baud=96", true, {96, 0, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"COM3  :to=on stop=1.5", true, {0, 0, N, S15, 0, 0, 0, 0, 0, 0, 0}},
    {"COM1:               baud=12345     data=7", true, {12345, 7, N, S1, 0, 0, 0, 0, 0, 0, 0}},
    {"COM12 : xon=on odsr=off", true, {0, 0, N, S1, 0, 0, 0, 0, 0, 1, 1}},
    {"COM1:9600,N,8,1", true, shortform(9600, 8, N, S1)},
    {"COM1:  11,E,7,2", true, shortform(110, 7, E, S2)},
    {"COM2  :    57600,S,6,2,x", true, shortform(57600, 6, S, S2, 'x')},
    {"COM1 96,n,8,1", true, shortform(9600, 8, N, S1)},
    {"COM255:", true, kNothing},
    {"COM1 ", true, kNothing},
    {"COM1:  ", true, kNothing},
    {"COM1", false, kNothing},
    {"COM0:baud=115200", false, kNothing},
    {"COM0:9600,N,8,1", false, kNothing},
    {"COM01:baud=1", false, kNothing},
    {"COM:baud=1", false, kNothing},
    {"COMx:baud=1", false, kNothing},
    {"COM1x:baud=1", false, kNothing},
    {"LPT1:baud=1", false, kNothing},
    {"COM1::baud=1", false, kNothing},
    {"COM1\t:baud=1", false, kNothing},
    {"COM1:\tbaud=1", false, kNothing},
    {"COM1: COM2:baud=1", false, kNothing},
    {"COM1:,96,n,8,1", false, kNothing},
    {"COM1:baud=1 96,n,8,1", false, kNothing},
    {" COM1:baud=1", false, kNothing},
};

Fields fields_of(const DeviceControlBlock& block) {
    return {block.BaudRate,     block.ByteSize,     block.Parity,          block.StopBits,
            block.fDtrControl,  block.fRtsControl,  block.fOutxCtsFlow,    block.fOutxDsrFlow,
            block.fDsrSensitivity, block.fOutX,     block.fInX};
}

std::string describe(const Fields& f) {
    return "baud=" + std::to_string(f.baud) + " size=" + std::to_string(f.size) + " parity=" +
           std::to_string(f.parity) + " stop=" + std::to_string(f.stop) + " dtr=" + std::to_string(f.dtr) +
           " rts=" + std::to_string(f.rts) + " cts=" + std::to_string(f.cts) + " dsr=" + std::to_string(f.dsr) +
           " idsr=" + std::to_string(f.dsr_sensitive) + " outx=" + std::to_string(f.out_x) +
           " inx=" + std::to_string(f.in_x);
}

TEST(ModeString, EachStringGivesItsBlockOrIsRefused) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        DeviceControlBlock block{};
        EXPECT_EQ(parse_mode_string(c.text, block), c.accepted);
        EXPECT_EQ(describe(fields_of(block)), describe(c.fields));
        // Neither form ever sets these.
        EXPECT_FALSE(block.fBinary);
        EXPECT_FALSE(block.fParity);
        EXPECT_FALSE(block.fTXContinueOnXoff);
        EXPECT_EQ(block.XonChar, 0);
        EXPECT_EQ(block.XoffChar, 0);
    }
}

DeviceControlBlock filled_block() {
    DeviceControlBlock block;
    block.BaudRate = 1;
    block.fBinary = block.fParity = block.fOutxCtsFlow = block.fOutxDsrFlow = true;
    block.fDsrSensitivity = block.fTXContinueOnXoff = block.fOutX = block.fInX = true;
    block.fDtrControl = 3;
    block.fRtsControl = 3;
    block.ByteSize = block.Parity = block.StopBits = 0xEE;
    block.XonChar = block.XoffChar = 'Q';
    return block;
}

bool same(const DeviceControlBlock& a, const DeviceControlBlock& b) {
    return describe(fields_of(a)) == describe(fields_of(b)) && a.fBinary == b.fBinary && a.fParity == b.fParity &&
           a.fTXContinueOnXoff == b.fTXContinueOnXoff && a.XonChar == b.XonChar && a.XoffChar == b.XoffChar;
}

// Only what a string names is written: a refused string writes nothing, even halfway through.
TEST(ModeString, WritesOnlyWhatTheStringNames) {
    DeviceControlBlock block = filled_block();
    EXPECT_FALSE(parse_mode_string("baud=9600 data=4", block));
    EXPECT_TRUE(same(block, filled_block()));
    EXPECT_FALSE(parse_mode_string("96,n,8,9", block));
    EXPECT_TRUE(same(block, filled_block()));

    EXPECT_TRUE(parse_mode_string("baud=9600 xon=off", block));
    DeviceControlBlock expected = filled_block();
    expected.BaudRate = 9600;
    expected.fOutX = expected.fInX = false;
    EXPECT_TRUE(same(block, expected));
}

TEST(ModeString, NullIsRefused) {
    DeviceControlBlock block{};
    EXPECT_FALSE(parse_mode_string(nullptr, block));
    EXPECT_EQ(block.BaudRate, 0u);
}

// Huge and arbitrary input: parsed to its end and no further (each string sits at the very end of
// its own allocation, so a sanitizer build sees any read past the NUL), and a refusal writes nothing.
TEST(ModeString, ArbitraryInputIsReadSafely) {
    const std::string huge_cases[] = {
        std::string(1 << 20, '9'),
        "baud=" + std::string(1 << 20, '0') + "9600",
        "COM" + std::string(1 << 20, '1') + ":baud=1",
        "96" + std::string(1 << 20, ' ') + ",n,8,1",
        std::string(1 << 20, ' '),
    };
    const bool huge_accepted[] = {false, true, true, true, false};
    for (std::size_t i = 0; i < std::size(huge_cases); ++i) {
        std::vector<char> text(huge_cases[i].begin(), huge_cases[i].end());
        text.push_back('\0');
        DeviceControlBlock block{};
        EXPECT_EQ(parse_mode_string(text.data(), block), huge_accepted[i]) << "case " << i;
    }

    // Random strings, mostly from the grammar's own alphabet so that they get deep into it.
    const char alphabet[] = "baudpritystoxnfdrchg=0123456789.,: \tCOMcomPXNEOMS\x80\xff";
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> any_byte(1, 255);
    for (int round = 0; round < 100000; ++round) {
        std::vector<char> text(static_cast<std::size_t>(length(random)));
        for (char& c : text) c = static_cast<char>(round % 4 == 0 ? any_byte(random) : alphabet[pick(random)]);
        text.push_back('\0');
        DeviceControlBlock block{};
        if (!parse_mode_string(text.data(), block)) {
            ASSERT_TRUE(same(block, DeviceControlBlock{})) << text.data();
        }
    }
}

}  // namespace
