#include "serial_device/posix/dcb_termios.h"

namespace quenlex::posix {
namespace {

struct StandardSpeed {
    DWORD rate;
    tcflag_t code;
};

// The rates with a Bnnn code of their own. They go into CBAUD as that code, so stty and
// every program that reads the speed through the classic termios calls sees them.
constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// BOTHER (the speed is in c_ospeed) for any rate without a code of its own.
tcflag_t speed_code(DWORD rate) {
    for (const StandardSpeed &speed : kStandardSpeeds) {
        if (speed.rate == rate) {
            return speed.code;
        }
    }
    return BOTHER;
}

tcflag_t size_bits(BYTE byte_size) {
    switch (byte_size) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

BYTE byte_size_from(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t parity_bits(BYTE parity) {
    switch (parity) {
        case ODDPARITY:
            return PARENB | PARODD;
        case EVENPARITY:
            return PARENB;
        case MARKPARITY:
            return PARENB | CMSPAR | PARODD;  // stick parity: PARODD says the bit is 1
        case SPACEPARITY:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

BYTE parity_from(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return NOPARITY;
    }
    bool odd = (cflag & PARODD) != 0;
    if ((cflag & CMSPAR) != 0) {
        return odd ? MARKPARITY : SPACEPARITY;
    }
    return odd ? ODDPARITY : EVENPARITY;
}

}  // namespace

bool dcb_is_valid(const DCB &dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
        return false;
    }
    // What a UART can frame: 1.5 stop bits only with 5 data bits, 2 only with 6 to 8.
    if ((dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) ||
        (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5)) {
        return false;
    }
    if (dcb.fDtrControl > DTR_CONTROL_HANDSHAKE) {
        return false;
    }
    // One character cannot both stop and resume the flow.
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) {
        return false;
    }
    return true;
}

bool wants_crtscts(const DCB &dcb) {
    return dcb.fOutxCtsFlow &&
           (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_ENABLE);
}

void apply_raw_mode(termios2 &tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR |
                                          IGNCR | ICRNL | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK |
                                          ECHOCTL | ECHOKE);
    // The receiver on, and the carrier line ignored: a Windows port does not wait for DCD.
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

void termios_from_dcb(const DCB &dcb, termios2 &tio) {
    apply_raw_mode(tio);

    // One speed both ways: CIBAUD cleared means "input as output".
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | kFramingBits | CRTSCTS);
    tio.c_cflag |= speed_code(dcb.BaudRate);
    tio.c_ispeed = dcb.BaudRate;
    tio.c_ospeed = dcb.BaudRate;

    tio.c_cflag |= size_bits(dcb.ByteSize) | parity_bits(dcb.Parity);
    // UARTs send 1.5 stop bits for CSTOPB with 5 data bits, 2 otherwise.
    if (dcb.StopBits != ONESTOPBIT) {
        tio.c_cflag |= CSTOPB;
    }
    if (wants_crtscts(dcb)) {
        tio.c_cflag |= CRTSCTS;
    }

    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    if (dcb.fParity) {
        tio.c_iflag |= INPCK;
    }
    if (dcb.fOutX) {
        tio.c_iflag |= IXON;
    }
    if (dcb.fInX) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

DWORD baud_rate_from_termios(const termios2 &tio) {
    tcflag_t code = tio.c_cflag & CBAUD;
    if (code == B0) {
        return 0;
    }
    for (const StandardSpeed &speed : kStandardSpeeds) {
        if (speed.code == code) {
            return speed.rate;
        }
    }
    return tio.c_ospeed;  // BOTHER
}

DCB dcb_from_termios(const termios2 &tio, const DCB &kept) {
    DCB dcb = kept;
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = TRUE;
    dcb.BaudRate = baud_rate_from_termios(tio);
    dcb.ByteSize = byte_size_from(tio.c_cflag);
    dcb.Parity = parity_from(tio.c_cflag);
    if ((tio.c_cflag & CSTOPB) == 0) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    dcb.fParity = (tio.c_iflag & INPCK) != 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);

    // Several records map to the same CRTSCTS bit: keep the one that was set as long as the
    // device still agrees with it, otherwise say what the device does.
    bool crtscts = (tio.c_cflag & CRTSCTS) != 0;
    if (crtscts != wants_crtscts(kept)) {
        if (crtscts) {
            dcb.fOutxCtsFlow = TRUE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        } else {
            dcb.fOutxCtsFlow = FALSE;
        }
    }
    return dcb;
}

}  // namespace quenlex::posix
