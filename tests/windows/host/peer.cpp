#include "peer.h"

#include <cstdio>
#include <cstdlib>

std::string Peer::ask(const std::string &request) {
    std::printf("? %s\n", request.c_str());
    std::fflush(stdout);
    char line[16384];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        // Without its peer the host cannot go on; the runner reports the lost link.
        std::printf("# peer gone\n");
        std::fflush(stdout);
        std::exit(3);
    }
    std::string answer = line;
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) {
        answer.pop_back();
    }
    return answer;
}

void Peer::send(const std::string &port, const std::string &bytes) {
    ask("send " + port + " 0 " + toHex(bytes));
}

void Peer::sendLater(const std::string &port, int delayMs, const std::string &bytes) {
    ask("send " + port + " " + std::to_string(delayMs) + " " + toHex(bytes));
}

void Peer::burst(const std::string &port, int gapMs, const std::string &chunk, int chunks) {
    ask("burst " + port + " " + std::to_string(gapMs) + " " + std::to_string(chunks) + " " +
        toHex(chunk));
}

std::string Peer::receive(const std::string &port, std::size_t count) {
    std::string got = ask("receive " + port + " " + std::to_string(count));
    return got == "-" ? std::string() : fromHex(got);
}

std::string Peer::answer(const std::string &port, std::size_t count, const std::string &reply) {
    std::string got = ask("answer " + port + " " + std::to_string(count) + " " + toHex(reply));
    return got == "-" ? std::string() : fromHex(got);
}

bool Peer::held(const std::string &port) { return ask("held " + port) == "yes"; }

std::string Peer::lineSettings(const std::string &port) { return ask("line " + port); }

void Peer::setLine(const std::string &port, int speed) {
    ask("setline " + port + " " + std::to_string(speed));
}

std::string toHex(const std::string &bytes) {
    if (bytes.empty()) {
        return "-";
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

std::string fromHex(const std::string &hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return bytes;
}
