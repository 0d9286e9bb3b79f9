#include "no_terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quenlex::test {

void leave_controlling_terminal() {
    if (setsid() != -1) {
        return;
    }
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (child == 0) {
        // A parent killed (by a time-out, Ctrl-C) takes the child with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1 || setsid() == -1) {
            std::perror("setsid");
            std::_Exit(2);
        }
        return;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) {
        signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    std::exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
}

bool has_no_controlling_terminal() {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    close(fd);
    return false;
}

}  // namespace quenlex::test
