// The benchmark's side of a worker process (worker_serve.h): starts it, sends requests and
// reads the answers, each bounded in time so a worker that hangs or dies cannot stall the
// run.
#ifndef QUENLEX_BENCH_WORKER_CLIENT_H
#define QUENLEX_BENCH_WORKER_CLIENT_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

class Worker {
  public:
    // Starts `argv` (argv[0] a path) and waits up to 10 s for its first line.
    explicit Worker(const std::vector<std::string> &argv);
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // "ready": the worker serves; otherwise why it does not (it has then ended).
    bool ready() const { return ready_; }
    // After "ready" or "unavailable", the rest of the first line; or why it did not start.
    const std::string &about() const { return about_; }

    // Sends one request line and returns the words of the answer after "ok"; false on
    // "fail", after `timeout_ms`, or when the worker is gone (error() says which).
    bool request(const std::string &line, std::vector<std::string> *words, int timeout_ms);
    const std::string &error() const { return error_; }

  private:
    bool read_line(std::string *line, int timeout_ms);
    void stop();

    pid_t pid_ = -1;
    int to_worker_ = -1;
    int from_worker_ = -1;
    std::string pending_;
    bool ready_ = false;
    std::string about_;
    std::string error_;
};

}  // namespace bench

#endif
