// Receiving through quenlex_read, telling a failed read from silence.
//
// quenlex_read returns 0 both when nothing came within its 5 ms and when the read failed
// (the device went away, for instance). The library keeps the thread's last error code
// untouched on success, so a 0 result after which quenlex_getError reports a new nonzero
// code is a failure; an unchanged code means silence. (A failure whose code equals the one
// already pending cannot be told from silence this way.)
#ifndef QUENLEX_TOOLS_RECEIVER_H
#define QUENLEX_TOOLS_RECEIVER_H

#include <string>

namespace quenlex_cli {

class Receiver {
  public:
    Receiver();

    // One quenlex_read of at most max_bytes (1 or more), appended to out. Returns the count;
    // 0 is silence unless failed() is true afterwards.
    int read(int max_bytes, std::string &out);

    bool failed() const { return failed_; }
    int error() const { return error_; }

  private:
    int baseline_;
    bool failed_ = false;
    int error_ = 0;
};

// Collects a reply as a host does: quenlex_read is tried again while nothing has come (for
// up to wait_ms), and the reply is over at the first quiet read after it began, or once
// limit bytes are in.
struct Reply {
    std::string bytes;
    bool failed = false;
    int error = 0;
};
Reply collect_reply(int limit, int wait_ms);

}  // namespace quenlex_cli

#endif
