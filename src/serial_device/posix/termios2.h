// Linux's raw terminal record with free speeds. <asm/termbits.h> clashes with glibc's
// <termios.h>, so the record and its requests are declared here; the flag bits are the
// same as glibc's.
#ifndef QUENLEX_POSIX_TERMIOS2_H
#define QUENLEX_POSIX_TERMIOS2_H

#include <sys/ioctl.h>
#include <termios.h>

namespace quenlex::posix {

struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

}  // namespace quenlex::posix

using quenlex::posix::termios2;

#ifndef TCGETS2
#define TCGETS2 _IOR('T', 0x2A, struct quenlex::posix::termios2)
#endif
#ifndef TCSETS2
#define TCSETS2 _IOW('T', 0x2B, struct quenlex::posix::termios2)
#endif
#ifndef BOTHER
#define BOTHER 0010000
#endif
#ifndef TIOCGEXCL
#define TIOCGEXCL _IOR('T', 0x40, int)
#endif

#endif
