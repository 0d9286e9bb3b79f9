// What every group of cases works with: the library, the peer, the report and the names.
#ifndef QUENLEX_TEST_HOST_CONTEXT_H
#define QUENLEX_TEST_HOST_CONTEXT_H

#include <chrono>
#include <string>

#include "library.h"
#include "peer.h"
#include "report.h"

struct Context {
    Library lib;
    Peer peer;
    Report report;
    std::string portA;      // a COM port whose device is a pseudo-terminal the peer drives
    std::string portB;      // a second one
    std::string missing;    // a COM name with no device behind it
    std::string plainFile;  // an ordinary file in the host's folder
};

// Milliseconds since `start`, on the monotonic clock.
inline long elapsedMs(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// The peer's account of a line at `speed` with the library's framing, 8N1.
inline std::string lineAt(int speed) {
    return "speed=" + std::to_string(speed) + " bits=8 parity=none stop=1";
}

// True when the file can be opened exclusively now, i.e. nobody else holds a handle to it.
bool fileIsFree(const std::string &path);

void runModuleCases(Context &ctx);
void runLifecycleCases(Context &ctx);
void runTransferCases(Context &ctx);
void runConfigureCases(Context &ctx);
void runDialogCases(Context &ctx);

#endif
