// Runs the quenlex command-line host as its own process, in a session of its own (so it
// never touches the terminal the tests run in), and captures what it prints.
#ifndef QUENLEX_TESTS_CLI_PROCESS_H
#define QUENLEX_TESTS_CLI_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quenlex_test {

struct CliResult {
    bool exited = false;  // false: killed by a signal, or did not end in time
    int status = -1;      // exit status when exited
    std::string out;
    std::string err;
};

class CliProcess {
  public:
    explicit CliProcess(const std::vector<std::string> &args);
    ~CliProcess();  // kills and reaps a process still running
    CliProcess(const CliProcess &) = delete;
    CliProcess &operator=(const CliProcess &) = delete;

    // Collects output until it contains text or the time is up; returns whether it does.
    bool wait_for_output(const std::string &text, std::chrono::milliseconds limit);

    void signal(int signal_number);

    // Collects the rest of the output and waits for the end; kills the process when it
    // outlives the limit (the result then says it did not exit).
    CliResult finish(std::chrono::milliseconds limit);

  private:
    void pump(std::chrono::milliseconds slice);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    CliResult result_;
};

// Runs the CLI to its end (30 s at most).
CliResult run_cli(const std::vector<std::string> &args);

}  // namespace quenlex_test

#endif
