// The dialog's choices and answers. Parsers accept only what a record may hold, so nothing
// the user types can put an invalid value into it.
#include "serial_device/posix/dialog_settings.h"

#include <cstring>

namespace quenlex::posix::dialog {
namespace {

constexpr char kXon = 0x11;   // DC1
constexpr char kXoff = 0x13;  // DC3

// Case-insensitive comparison of an answer with a lower-case word.
bool same_word(const char *answer, const char *word) {
    for (; *answer != '\0' && *word != '\0'; ++answer, ++word) {
        char c = *answer;
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != *word) {
            return false;
        }
    }
    return *answer == '\0' && *word == '\0';
}

// An answer that is one of the words, each given with the value it stands for.
struct Word {
    const char *text;
    int value;
};

template <std::size_t N>
bool match_word(const char *answer, const Word (&words)[N], int &value) {
    for (const Word &word : words) {
        if (same_word(answer, word.text)) {
            value = word.value;
            return true;
        }
    }
    return false;
}

// A plain decimal number that fits a DWORD: digits only, no sign, no spaces.
bool parse_number(const char *answer, DWORD &number) {
    if (*answer == '\0') {
        return false;
    }
    unsigned long long value = 0;
    for (const char *p = answer; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > MAXDWORD) {
            return false;
        }
    }
    number = static_cast<DWORD>(value);
    return true;
}

}  // namespace

const DWORD kSpeeds[] = {
    110,     300,     600,     1200,    2400,    4800,    9600,    14400,   19200,  38400,
    57600,   115200,  128000,  230400,  250000,  256000,  460800,  500000,  576000, 921600,
    1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};
const std::size_t kSpeedCount = sizeof(kSpeeds) / sizeof(kSpeeds[0]);

Flow flow_of(const DCB &dcb) {
    // DSR/DTR handshaking is no mode the dialog offers.
    if (dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        return Flow::kOther;
    }
    bool cts = dcb.fOutxCtsFlow != 0;
    bool rts = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    bool out_x = dcb.fOutX != 0;
    bool in_x = dcb.fInX != 0;
    if (!cts && !rts && !out_x && !in_x) {
        return Flow::kNone;
    }
    if (cts && rts && !out_x && !in_x) {
        return Flow::kRtsCts;
    }
    if (!cts && !rts && out_x && in_x) {
        return Flow::kXonXoff;
    }
    return Flow::kOther;
}

void set_flow(DCB &dcb, Flow flow) {
    if (flow == Flow::kOther) {
        return;
    }
    // Handshake lines the chosen mode does not use go back to plain "on".
    dcb.fOutxDsrFlow = 0;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    }
    bool rts_cts = flow == Flow::kRtsCts;
    bool xon_xoff = flow == Flow::kXonXoff;
    dcb.fOutxCtsFlow = rts_cts ? 1 : 0;
    if (rts_cts) {
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    dcb.fOutX = xon_xoff ? 1 : 0;
    dcb.fInX = xon_xoff ? 1 : 0;
    // XON/XOFF needs two distinct characters; a record without them gets the usual pair.
    if (xon_xoff && dcb.XonChar == dcb.XoffChar) {
        dcb.XonChar = kXon;
        dcb.XoffChar = kXoff;
    }
}

bool speed_valid(DWORD speed) { return speed != 0; }

bool data_bits_valid(BYTE data_bits) { return data_bits >= 5 && data_bits <= 8; }

bool parity_valid(BYTE parity) { return parity <= SPACEPARITY; }

bool stop_bits_fit(BYTE data_bits, BYTE stop_bits) {
    switch (stop_bits) {
        case ONESTOPBIT:
            return data_bits_valid(data_bits);
        case ONE5STOPBITS:
            return data_bits == 5;
        case TWOSTOPBITS:
            return data_bits >= 6 && data_bits <= 8;
        default:
            return false;
    }
}

bool parse_speed(const char *answer, DWORD current, DWORD &speed) {
    DWORD number = 0;
    if (!parse_number(answer, number) || number == 0) {
        return false;
    }
    bool offered = number == current;
    for (std::size_t i = 0; i < kSpeedCount && !offered; ++i) {
        offered = kSpeeds[i] == number;
    }
    if (offered) {
        speed = number;
    }
    return offered;
}

bool parse_data_bits(const char *answer, BYTE &data_bits) {
    DWORD number = 0;
    if (!parse_number(answer, number) || number > 0xFF ||
        !data_bits_valid(static_cast<BYTE>(number))) {
        return false;
    }
    data_bits = static_cast<BYTE>(number);
    return true;
}

bool parse_parity(const char *answer, BYTE &parity) {
    static const Word kWords[] = {
        {"none", NOPARITY},     {"n", NOPARITY},    {"odd", ODDPARITY},   {"o", ODDPARITY},
        {"even", EVENPARITY},   {"e", EVENPARITY},  {"mark", MARKPARITY}, {"m", MARKPARITY},
        {"space", SPACEPARITY}, {"s", SPACEPARITY},
    };
    int value = 0;
    if (!match_word(answer, kWords, value)) {
        return false;
    }
    parity = static_cast<BYTE>(value);
    return true;
}

bool parse_stop_bits(const char *answer, BYTE &stop_bits) {
    static const Word kWords[] = {
        {"1", ONESTOPBIT},
        {"1.5", ONE5STOPBITS},
        {"1,5", ONE5STOPBITS},
        {"2", TWOSTOPBITS},
    };
    int value = 0;
    if (!match_word(answer, kWords, value)) {
        return false;
    }
    stop_bits = static_cast<BYTE>(value);
    return true;
}

bool parse_flow(const char *answer, Flow &flow) {
    static const Word kWords[] = {
        {"none", static_cast<int>(Flow::kNone)},
        {"n", static_cast<int>(Flow::kNone)},
        {"off", static_cast<int>(Flow::kNone)},
        {"rts/cts", static_cast<int>(Flow::kRtsCts)},
        {"rts-cts", static_cast<int>(Flow::kRtsCts)},
        {"rtscts", static_cast<int>(Flow::kRtsCts)},
        {"r", static_cast<int>(Flow::kRtsCts)},
        {"hardware", static_cast<int>(Flow::kRtsCts)},
        {"h", static_cast<int>(Flow::kRtsCts)},
        {"xon/xoff", static_cast<int>(Flow::kXonXoff)},
        {"xon-xoff", static_cast<int>(Flow::kXonXoff)},
        {"xonxoff", static_cast<int>(Flow::kXonXoff)},
        {"x", static_cast<int>(Flow::kXonXoff)},
        {"software", static_cast<int>(Flow::kXonXoff)},
        {"s", static_cast<int>(Flow::kXonXoff)},
    };
    int value = 0;
    if (!match_word(answer, kWords, value)) {
        return false;
    }
    flow = static_cast<Flow>(value);
    return true;
}

bool parse_yes_no(const char *answer, bool &yes) {
    static const Word kWords[] = {
        {"", 0}, {"n", 0}, {"no", 0}, {"y", 1}, {"yes", 1},
    };
    int value = 0;
    if (!match_word(answer, kWords, value)) {
        return false;
    }
    yes = value != 0;
    return true;
}

const char *parity_name(BYTE parity) {
    static const char *const kNames[] = {"none", "odd", "even", "mark", "space"};
    return parity_valid(parity) ? kNames[parity] : "?";
}

const char *stop_bits_name(BYTE stop_bits) {
    static const char *const kNames[] = {"1", "1.5", "2"};
    return stop_bits <= TWOSTOPBITS ? kNames[stop_bits] : "?";
}

const char *flow_name(Flow flow) {
    switch (flow) {
        case Flow::kNone:
            return "none";
        case Flow::kRtsCts:
            return "rts/cts";
        case Flow::kXonXoff:
            return "xon/xoff";
        case Flow::kOther:
            break;
    }
    return "custom";
}

void printable_copy(const char *text, char *out, std::size_t size) {
    static const char kEllipsis[] = "...";
    if (size == 0) {
        return;
    }
    std::size_t length = std::strlen(text);
    std::size_t room = size - 1;
    std::size_t keep = length;
    if (length > room) {
        keep = room > sizeof(kEllipsis) - 1 ? room - (sizeof(kEllipsis) - 1) : 0;
    }
    std::size_t n = 0;
    for (; n < keep; ++n) {
        char c = text[n];
        out[n] = (c >= 0x20 && c <= 0x7e) ? c : '?';
    }
    if (keep < length) {
        for (std::size_t i = 0; kEllipsis[i] != '\0' && n < room; ++i) {
            out[n++] = kEllipsis[i];
        }
    }
    out[n] = '\0';
}

}  // namespace quenlex::posix::dialog
