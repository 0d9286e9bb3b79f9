// The Linux-side peer that holds the other end of each port's pseudo-terminal.
//
// The host asks it for one thing at a time: a line "? <request>" on stdout, answered by one
// line on stdin. Bytes travel as hex so that any byte value survives the line protocol.
#ifndef QUENLEX_TEST_HOST_PEER_H
#define QUENLEX_TEST_HOST_PEER_H

#include <string>

class Peer {
  public:
    // Sends the request and returns the answer line without its line end.
    std::string ask(const std::string &request);

    // Writes bytes into the port now; they wait in the port's input queue.
    void send(const std::string &port, const std::string &bytes);
    // Writes bytes after a pause, while the host goes on (e.g. into a blocking read).
    void sendLater(const std::string &port, int delayMs, const std::string &bytes);
    // Writes the first chunk now and each further one gapMs after the previous one.
    void burst(const std::string &port, int gapMs, const std::string &chunk, int chunks);
    // Waits for `count` bytes from the port (or a time-out), then for stragglers; returns all.
    std::string receive(const std::string &port, std::size_t count);
    // Reads a command of `count` bytes from the port and writes `reply` back; returns the command.
    std::string answer(const std::string &port, std::size_t count, const std::string &reply);
    // Whether any process other than the peer holds the port's device open.
    bool held(const std::string &port);
    // The line settings as the device has them: "speed=9600 bits=8 parity=none stop=1".
    std::string lineSettings(const std::string &port);
    // Puts the device into raw mode at the given speed, 8N1, from the peer's side.
    void setLine(const std::string &port, int speed);
};

std::string toHex(const std::string &bytes);
std::string fromHex(const std::string &hex);

#endif
