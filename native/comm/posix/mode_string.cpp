// The mode-command grammar, as Windows' BuildCommDCB reads it:
//
//   [COMn[ ]*[:]][ ]* then either
//   keyword form:  key=value[ +key=value]*   keys baud parity data stop to xon odsr octs dtr rts idsr
//   short form:    baud , parity , data , stop [ , [x|p] ]   with blanks allowed around each comma
//
// Only the blank (0x20) separates; a tab or a leading blank is refused. Keywords and letters are
// matched without regard to case (ASCII only, no locale). Numbers are plain decimal digits; one that
// does not fit in 32 bits is refused. The text is read once, front to back, never past its NUL.
#include "comm/posix/mode_string.h"

#include <cstdint>

namespace ostrabel1::comm::posix {

namespace {

constexpr char kBlank = ' ';

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A value ends at a blank or at the end of the text.
bool at_value_end(const char* at) { return *at == kBlank || *at == '\0'; }

void skip_blanks(const char*& at) {
    while (*at == kBlank) ++at;
}

// Consumes `word` (lower case) if the text starts with it in any case.
bool take_word(const char*& at, const char* word) {
    const char* probe = at;
    for (; *word != '\0'; ++word, ++probe) {
        if (to_lower(*probe) != *word) return false;  // the text's NUL never equals a letter of `word`
    }
    at = probe;
    return true;
}

// One or more decimal digits; a value past 32 bits is refused rather than clipped.
bool take_number(const char*& at, std::uint32_t& value) {
    if (!is_digit(*at)) return false;
    std::uint64_t total = 0;
    for (; is_digit(*at); ++at) {
        total = total * 10 + static_cast<std::uint64_t>(*at - '0');
        if (total > UINT32_MAX) return false;
    }
    value = static_cast<std::uint32_t>(total);
    return true;
}

bool take_parity(const char*& at, std::uint8_t& parity) {
    switch (to_lower(*at)) {
        case 'n': parity = kNoParity; break;
        case 'o': parity = kOddParity; break;
        case 'e': parity = kEvenParity; break;
        case 'm': parity = kMarkParity; break;
        case 's': parity = kSpaceParity; break;
        default: return false;
    }
    ++at;
    return true;
}

bool take_data_bits(const char*& at, std::uint8_t& size) {
    std::uint32_t bits = 0;
    if (!take_number(at, bits) || bits < 5 || bits > 8) return false;
    size = static_cast<std::uint8_t>(bits);
    return true;
}

// "1.5" exactly, or a number that is 1 or 2 ("01" is 1).
bool take_stop_bits(const char*& at, std::uint8_t& stop) {
    if (take_word(at, "1.5")) {
        stop = kOne5StopBits;
        return true;
    }
    std::uint32_t bits = 0;
    if (!take_number(at, bits) || (bits != 1 && bits != 2)) return false;
    stop = bits == 1 ? kOneStopBit : kTwoStopBits;
    return true;
}

// An optional device name: "COM", a number without a leading zero, then a colon or a blank.
// Returns where the settings begin: after the name, its colon and the blanks around it.
const char* skip_device_name(const char* text) {
    const char* at = text;
    if (!take_word(at, "com") || *at < '1' || *at > '9') return text;
    while (is_digit(*at)) ++at;
    if (*at != kBlank && *at != ':') return text;
    skip_blanks(at);
    if (*at == ':') ++at;
    skip_blanks(at);
    return at;
}

// The short form's abbreviated rates; every other number is taken as it stands.
std::uint32_t expand_short_baud(std::uint32_t baud) {
    switch (baud) {
        case 11: return 110;
        case 15: return 150;
        case 30: return 300;
        case 60: return 600;
        case 12: return 1200;
        case 24: return 2400;
        case 48: return 4800;
        case 96: return 9600;
        case 19: return 19200;
        default: return baud;
    }
}

bool take_comma(const char*& at) {
    skip_blanks(at);
    if (*at != ',') return false;
    ++at;
    skip_blanks(at);
    return true;
}

// "96,n,8,1[,x|,p]": every field is required; the suffix picks the flow control, which this
// form always sets (no suffix: none, with DTR and RTS on).
bool parse_short_form(const char* at, DeviceControlBlock& block) {
    std::uint32_t baud = 0;
    if (!take_number(at, baud) || !take_comma(at) || !take_parity(at, block.Parity) || !take_comma(at) ||
        !take_data_bits(at, block.ByteSize) || !take_comma(at) || !take_stop_bits(at, block.StopBits)) {
        return false;
    }
    block.BaudRate = expand_short_baud(baud);
    char suffix = '\0';
    skip_blanks(at);
    if (*at == ',') {
        ++at;
        skip_blanks(at);
        if (to_lower(*at) == 'x' || to_lower(*at) == 'p') suffix = to_lower(*at++);
        skip_blanks(at);
    }
    if (*at != '\0') return false;

    const bool xon_xoff = suffix == 'x';
    const bool hardware = suffix == 'p';
    block.fInX = block.fOutX = xon_xoff;
    block.fOutxCtsFlow = block.fOutxDsrFlow = hardware;
    block.fDtrControl = hardware ? kDtrHandshake : kDtrEnable;
    block.fRtsControl = hardware ? kRtsHandshake : kRtsEnable;
    return true;
}

bool take_on_off(const char*& at, bool& flag) {
    if (take_word(at, "on")) {
        flag = true;
    } else if (take_word(at, "off")) {
        flag = false;
    } else {
        return false;
    }
    return true;
}

bool take_dtr_control(const char*& at, std::uint8_t& control) {
    bool on = false;
    if (take_word(at, "hs")) {
        control = kDtrHandshake;
    } else if (take_on_off(at, on)) {
        control = on ? kDtrEnable : kDtrDisable;
    } else {
        return false;
    }
    return true;
}

bool take_rts_control(const char*& at, std::uint8_t& control) {
    bool on = false;
    if (take_word(at, "hs")) {
        control = kRtsHandshake;
    } else if (take_word(at, "tg")) {
        control = kRtsToggle;
    } else if (take_on_off(at, on)) {
        control = on ? kRtsEnable : kRtsDisable;
    } else {
        return false;
    }
    return true;
}

// One "key=value". `stop_given` records a stop= so that a 110 baud line can default to two stop bits.
bool take_setting(const char*& at, DeviceControlBlock& block, bool& stop_given) {
    bool ignored = false;
    bool taken = false;
    if (take_word(at, "baud=")) {
        taken = take_number(at, block.BaudRate);
    } else if (take_word(at, "parity=")) {
        taken = take_parity(at, block.Parity);
    } else if (take_word(at, "data=")) {
        taken = take_data_bits(at, block.ByteSize);
    } else if (take_word(at, "stop=")) {
        taken = stop_given = take_stop_bits(at, block.StopBits);
    } else if (take_word(at, "to=")) {
        taken = take_on_off(at, ignored);  // time-outs are not part of the block
    } else if (take_word(at, "xon=")) {
        taken = take_on_off(at, block.fOutX);
        block.fInX = block.fOutX;
    } else if (take_word(at, "odsr=")) {
        taken = take_on_off(at, block.fOutxDsrFlow);
    } else if (take_word(at, "octs=")) {
        taken = take_on_off(at, block.fOutxCtsFlow);
    } else if (take_word(at, "dtr=")) {
        taken = take_dtr_control(at, block.fDtrControl);
    } else if (take_word(at, "rts=")) {
        taken = take_rts_control(at, block.fRtsControl);
    } else if (take_word(at, "idsr=")) {
        taken = take_on_off(at, block.fDsrSensitivity);
    }
    return taken && at_value_end(at);
}

// Settings separated by blanks, in any order, the last of a repeated key winning. Nothing at all
// is accepted and changes nothing; a trailing blank is refused.
bool parse_keyword_form(const char* at, DeviceControlBlock& block) {
    bool stop_given = false;
    while (*at != '\0') {
        if (!take_setting(at, block, stop_given)) return false;
        if (*at == kBlank) {
            skip_blanks(at);
            if (*at == '\0') return false;
        }
    }
    if (block.BaudRate == 110 && !stop_given) block.StopBits = kTwoStopBits;
    return true;
}

}  // namespace

bool parse_mode_string(const char* text, DeviceControlBlock& block) {
    if (text == nullptr) return false;
    const char* settings = skip_device_name(text);
    // Work on a copy so that a refused string leaves the caller's block as it was.
    DeviceControlBlock parsed = block;
    const bool ok = is_digit(*settings) ? parse_short_form(settings, parsed) : parse_keyword_form(settings, parsed);
    if (ok) block = parsed;
    return ok;
}

}  // namespace ostrabel1::comm::posix
