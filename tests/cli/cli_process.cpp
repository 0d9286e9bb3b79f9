#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char **environ;

namespace quenlex_test {
namespace {

using Clock = std::chrono::steady_clock;

void close_fd(int &fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

CliProcess::CliProcess(const std::vector<std::string> &args) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    std::vector<std::string> command{QUENLEX_CLI_PATH};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int error = posix_spawn(&pid_, QUENLEX_CLI_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error("posix_spawn failed");
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_fd(out_fd_);
    close_fd(err_fd_);
}

void CliProcess::pump(std::chrono::milliseconds slice) {
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(slice.count())) <= 0) {
        return;
    }
    int *fd[2] = {&out_fd_, &err_fd_};
    std::string *text[2] = {&result_.out, &result_.err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0 || *fd[i] < 0) {
            continue;
        }
        char buffer[4096];
        ssize_t count = read(*fd[i], buffer, sizeof buffer);
        if (count > 0) {
            text[i]->append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            close_fd(*fd[i]);
        }
    }
}

bool CliProcess::wait_for_output(const std::string &text, std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (result_.out.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || (out_fd_ < 0 && err_fd_ < 0)) {
            return false;
        }
        pump(std::chrono::milliseconds(20));
    }
    return true;
}

void CliProcess::signal(int signal_number) { kill(pid_, signal_number); }

CliResult CliProcess::finish(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while ((out_fd_ >= 0 || err_fd_ >= 0) && Clock::now() < deadline) {
        pump(std::chrono::milliseconds(20));
    }
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        usleep(10 * 1000);
    }
    if (done == pid_) {
        pid_ = -1;
        result_.exited = WIFEXITED(status);
        result_.status = result_.exited ? WEXITSTATUS(status) : -1;
    }
    return result_;
}

CliResult run_cli(const std::vector<std::string> &args) {
    CliProcess process(args);
    return process.finish(std::chrono::seconds(30));
}

}  // namespace quenlex_test
