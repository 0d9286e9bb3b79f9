// CreateFileA and CloseHandle on pseudo-terminals and ordinary files: exclusivity within a
// process and across processes, the query-only probe, raw mode, and the error codes.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "pseudo_terminal.h"

namespace {

using quenlex_test::fd_of;
using quenlex_test::IoctlSpy;
using quenlex_test::PseudoTerminal;
using quenlex_test::TempFolder;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

HANDLE open_port(const char *name, DWORD access = kReadWrite) {
    return CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The Win32 error of a failed open, or a marker when the open succeeded (and was closed).
constexpr DWORD kOpened = 0xFFFFu;
DWORD open_error(const char *name, DWORD access = kReadWrite) {
    HANDLE handle = open_port(name, access);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(handle);
    return kOpened;
}

// Runs `child` in a forked process and gives its exit status (or -1 if it did not exit).
template <typename Child>
int in_child(Child child) {
    pid_t pid = fork();
    if (pid == 0) {
        _exit(child());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST(Exclusivity, SecondOpenInTheSameProcessIsDeniedUntilTheFirstCloses) {
    PseudoTerminal pty;
    HANDLE first = open_port(pty.name());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(pty.exclusive());

    EXPECT_EQ(open_error(pty.name()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(pty.name(), GENERIC_READ), ERROR_ACCESS_DENIED);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_FALSE(pty.exclusive());
    EXPECT_EQ(open_error(pty.name()), kOpened);
}

TEST(Exclusivity, AnotherProcessIsDeniedWhileWeHoldThePort) {
    PseudoTerminal pty;
    HANDLE held = open_port(pty.name());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // Run as root here, the child passes the kernel's TIOCEXCL check; the lock stops it.
    EXPECT_EQ(in_child([&] { return static_cast<int>(open_error(pty.name())); }),
              static_cast<int>(ERROR_ACCESS_DENIED));
    CloseHandle(held);
}

TEST(Exclusivity, WeAreDeniedWhileAnotherProcessHoldsThePortAndFreeOnceItCloses) {
    PseudoTerminal pty;
    int to_parent[2];
    int to_child[2];
    ASSERT_EQ(pipe(to_parent), 0);
    ASSERT_EQ(pipe(to_child), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        HANDLE handle = open_port(pty.name());
        char signal = handle != INVALID_HANDLE_VALUE ? 'y' : 'n';
        (void)!write(to_parent[1], &signal, 1);
        (void)!read(to_child[0], &signal, 1);
        CloseHandle(handle);
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(to_parent[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    EXPECT_EQ(open_error(pty.name()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(pty.name(), 0), ERROR_ACCESS_DENIED);  // the probe sees it too

    ASSERT_EQ(write(to_child[1], "x", 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) {
        close(fd);
    }
    EXPECT_EQ(open_error(pty.name()), kOpened);
}

TEST(Exclusivity, AForkedChildClosingItsCopyDoesNotFreeTheParentsPort) {
    PseudoTerminal pty;
    HANDLE held = open_port(pty.name());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_EQ(in_child([&] { return CloseHandle(held) ? 0 : 1; }), 0);

    EXPECT_TRUE(pty.exclusive());
    EXPECT_EQ(open_error(pty.name()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(in_child([&] { return static_cast<int>(open_error(pty.name())); }),
              static_cast<int>(ERROR_ACCESS_DENIED));
    CloseHandle(held);
}

TEST(Exclusivity, APortAnotherProgramHoldsWithTiocexclIsDeniedEvenToRoot) {
    PseudoTerminal pty;
    ASSERT_EQ(ioctl(pty.slave(), TIOCEXCL, nullptr), 0);  // a program that does not lock
    EXPECT_EQ(open_error(pty.name()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(pty.name(), 0), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(pty.exclusive());  // and its exclusivity is still in force

    ASSERT_EQ(ioctl(pty.slave(), TIOCNXCL, nullptr), 0);
    EXPECT_EQ(open_error(pty.name()), kOpened);
}

TEST(Exclusivity, AnOpenThatFailsAfterTakingThePortLeavesItFree) {
    PseudoTerminal pty;
    {
        IoctlSpy spy;
        spy.fail_request = TCSETS2;  // raw mode cannot be set
        spy.fail_errno = EIO;
        EXPECT_EQ(open_error(pty.name()), ERROR_GEN_FAILURE);
        EXPECT_TRUE(spy.made(TIOCEXCL));
    }
    EXPECT_FALSE(pty.exclusive());
    EXPECT_EQ(open_error(pty.name()), kOpened);
}

TEST(Exclusivity, OrdinaryFilesAreHeldExclusivelyToo) {
    TempFolder folder;
    std::string file = folder.file("plain");
    HANDLE held = open_port(file.c_str());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_error(file.c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(file.c_str(), 0), ERROR_ACCESS_DENIED);
    CloseHandle(held);
    EXPECT_EQ(open_error(file.c_str()), kOpened);
}

TEST(Probe, SucceedsOnAFreeDeviceAndLeavesItAsItWas) {
    PseudoTerminal pty;
    termios2 before = pty.state();
    HANDLE probe = open_port(pty.name(), 0);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(pty.exclusive());
    EXPECT_TRUE(CloseHandle(probe));

    termios2 after = pty.state();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "the probe changed termios";
    EXPECT_FALSE(pty.exclusive());
    EXPECT_EQ(open_error(pty.name()), kOpened);
}

TEST(Probe, FailsWhileThePortIsHeldAndLeavesTheHolderExclusive) {
    PseudoTerminal pty;
    HANDLE held = open_port(pty.name());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    termios2 before = pty.state();

    EXPECT_EQ(open_error(pty.name(), 0), ERROR_ACCESS_DENIED);

    EXPECT_TRUE(pty.exclusive());
    EXPECT_EQ(open_error(pty.name()), ERROR_ACCESS_DENIED);
    termios2 after = pty.state();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    CloseHandle(held);
}

TEST(Probe, SucceedsOnAnOrdinaryFile) {
    TempFolder folder;
    std::string file = folder.file("plain");
    EXPECT_EQ(open_error(file.c_str(), 0), kOpened);
}

// Every check a raw terminal must pass: nothing in the way of any byte.
void expect_raw(const termios2 &tio) {
    EXPECT_EQ(tio.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                             IXON | IXOFF | IXANY | IUCLC),
              0u);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

// Every byte value, each way through the pair, must arrive as sent.
void expect_every_byte_passes(int port_fd, int far_end) {
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) {
        all[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    }
    ASSERT_EQ(write(far_end, all.data(), all.size()), 256);
    EXPECT_EQ(quenlex_test::read_bytes(port_fd, 256), all) << "far end to port";
    ASSERT_EQ(write(port_fd, all.data(), all.size()), 256);
    EXPECT_EQ(quenlex_test::read_bytes(far_end, 256), all) << "port to far end";
}

TEST(RawMode, IsSetAtOpenSoEveryByteValuePassesUnchangedBothWays) {
    PseudoTerminal pty;
    // Start from everything a line discipline could do to the bytes.
    termios2 cooked = pty.state();
    cooked.c_iflag |= IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                      IXOFF | IXANY | IUCLC | IMAXBEL;
    cooked.c_oflag |= OPOST | ONLCR | OCRNL;
    cooked.c_lflag |= ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    pty.set_state(cooked);
    HANDLE port = open_port(pty.name());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    expect_raw(pty.state());
    expect_every_byte_passes(fd_of(port), pty.master());
    CloseHandle(port);
}

TEST(RawMode, HangUpOnCloseIsSetSoDtrAndRtsDropWhenThePortIsGivenUp) {
    PseudoTerminal pty;
    termios2 tio = pty.state();
    tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    pty.set_state(tio);
    HANDLE port = open_port(pty.name());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_NE(pty.state().c_cflag & HUPCL, 0u);
    CloseHandle(port);
}

struct NameCase {
    const char *what;
    std::string name;
    DWORD error;
};

TEST(OpenErrors, EachKindOfBadNameHasItsWindowsCode) {
    TempFolder folder;
    std::string file = folder.file("plain");
    std::vector<NameCase> cases = {
        {"missing file", folder.path() + "/missing", ERROR_FILE_NOT_FOUND},
        {"missing file, relative", "quenlex-no-such-file", ERROR_FILE_NOT_FOUND},
        {"missing folder", folder.path() + "/missing/name", ERROR_PATH_NOT_FOUND},
        {"missing folder at the root", "/quenlex-no-such-folder/name", ERROR_PATH_NOT_FOUND},
        {"missing folder, relative", "quenlex-no-such-folder/name", ERROR_PATH_NOT_FOUND},
        {"a file used as a folder", file + "/name", ERROR_PATH_NOT_FOUND},
        {"a folder", folder.path(), ERROR_ACCESS_DENIED},
        {"a name longer than a path may be", "/" + std::string(PATH_MAX + 10, 'a'),
         ERROR_FILENAME_EXCED_RANGE},
        {"a component longer than a name may be", folder.path() + "/" + std::string(300, 'a'),
         ERROR_FILENAME_EXCED_RANGE},
        {"an empty name", "", ERROR_PATH_NOT_FOUND},
    };
    for (const NameCase &c : cases) {
        EXPECT_EQ(open_error(c.name.c_str()), c.error) << c.what;
        EXPECT_EQ(open_error(c.name.c_str(), 0), c.error) << c.what << " (probe)";
    }
}

TEST(OpenErrors, ANullNameIsAnInvalidParameter) {
    EXPECT_EQ(open_error(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(open_error(nullptr, 0), ERROR_INVALID_PARAMETER);
}

TEST(OpenErrors, CommRequestsOnAFileAreAnInvalidFunction) {
    TempFolder folder;
    std::string file = folder.file("plain");
    HANDLE handle = open_port(file.c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DCB dcb{};
    SetLastError(0);
    EXPECT_FALSE(GetCommState(handle, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);

    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    SetLastError(0);
    EXPECT_FALSE(SetCommState(handle, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    CloseHandle(handle);
}

TEST(OpenErrors, HandlesThatAreNoPortAreInvalidHandles) {
    DCB dcb{};
    for (HANDLE handle : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(GetCommState(handle, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(handle, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(LastError, BelongsToTheThreadThatSetIt) {
    SetLastError(1234);
    DWORD other_at_start = 99;
    DWORD other_after_failure = 0;
    DWORD other_after_set = 0;
    std::thread other([&] {
        other_at_start = GetLastError();
        open_error("/quenlex-no-such-folder/name");
        other_after_failure = GetLastError();
        SetLastError(42);
        other_after_set = GetLastError();
    });
    other.join();
    EXPECT_EQ(other_at_start, ERROR_SUCCESS);
    EXPECT_EQ(other_after_failure, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(other_after_set, 42u);
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
