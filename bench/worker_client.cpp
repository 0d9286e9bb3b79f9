#include "worker_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <thread>

extern char **environ;

namespace bench {
namespace {

std::int64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

Worker::Worker(const std::vector<std::string> &argv) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        about_ = "no pipe";
        return;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        about_ = "no pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char *> args;
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);
    int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_worker_ = in[1];
    from_worker_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        about_ = "cannot start " + argv[0];
        return;
    }
    std::string line;
    if (!read_line(&line, 10000)) {
        about_ = "no answer from " + argv[0];
        stop();
        return;
    }
    std::string::size_type space = line.find(' ');
    std::string first = line.substr(0, space);
    about_ = space == std::string::npos ? "" : line.substr(space + 1);
    ready_ = first == "ready";
    if (!ready_) {
        if (first != "unavailable") {
            about_ = "unexpected answer from " + argv[0] + ": " + line;
        }
        stop();
    }
}

Worker::~Worker() {
    if (pid_ > 0 && to_worker_ >= 0) {
        const char quit[] = "quit\n";
        ssize_t ignored = write(to_worker_, quit, sizeof quit - 1);
        (void)ignored;
    }
    stop();
}

void Worker::stop() {
    if (to_worker_ >= 0) {
        close(to_worker_);
        to_worker_ = -1;
    }
    if (pid_ > 0) {
        // The worker ends when its input closes; one that does not within 5 s is killed.
        int status = 0;
        std::int64_t give_up = now_ms() + 5000;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (now_ms() > give_up) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
    }
    if (from_worker_ >= 0) {
        close(from_worker_);
        from_worker_ = -1;
    }
}

bool Worker::read_line(std::string *line, int timeout_ms) {
    const std::int64_t give_up = now_ms() + timeout_ms;
    for (;;) {
        std::string::size_type end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        std::int64_t left = give_up - now_ms();
        if (left <= 0) {
            return false;
        }
        pollfd entry{from_worker_, POLLIN, 0};
        int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char piece[512];
        ssize_t n = read(from_worker_, piece, sizeof piece);
        if (n <= 0) {
            return false;  // the worker is gone
        }
        pending_.append(piece, static_cast<std::size_t>(n));
    }
}

bool Worker::request(const std::string &line, std::vector<std::string> *words, int timeout_ms) {
    error_.clear();
    words->clear();
    if (!ready_) {
        error_ = "worker not running";
        return false;
    }
    std::string out = line + "\n";
    if (write(to_worker_, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
        error_ = "worker gone";
        return false;
    }
    std::string answer;
    if (!read_line(&answer, timeout_ms)) {
        // Whatever it answers later would be taken for the answer to the next request.
        error_ = "no answer to '" + line + "'";
        ready_ = false;
        stop();
        return false;
    }
    std::istringstream in(answer);
    std::string word;
    in >> word;
    if (word != "ok") {
        error_ = answer;
        return false;
    }
    while (in >> word) {
        words->push_back(word);
    }
    return true;
}

}  // namespace bench
