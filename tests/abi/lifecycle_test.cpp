// The port lifecycle through the exported functions of the built library, on pseudo-terminals
// and ordinary files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "library.h"

namespace abi_test {
namespace {

constexpr int kFileNotFound = 2;
constexpr int kAccessDenied = 5;
constexpr int kInvalidFunction = 1;
constexpr int kInvalidParameter = 87;

// A pseudo-terminal pair; the test holds the master side and the library opens the slave
// by its name, as it would a serial port.
class Pty {
  public:
    Pty() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
            return;
        }
        char name[128];
        if (ttyname_r(slave_, name, sizeof name) == 0) {
            name_ = name;
        }
    }
    ~Pty() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return !name_.empty(); }
    const char *name() const { return name_.c_str(); }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        lib_ = &library();
        ASSERT_NE(lib_->open, nullptr);
        lib_->close();  // the slot lives in the library, across tests
        ASSERT_TRUE(a_.ok() && b_.ok()) << "no pseudo-terminals here";
        const char *tmp = std::getenv("TMPDIR");
        dir_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quenlex-abi-XXXXXX";
        ASSERT_NE(mkdtemp(dir_.data()), nullptr);
        file_ = dir_ + "/plain-file";
        int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "data", 4), 4);
        ::close(fd);
        missing_ = dir_ + "/missing";
    }

    void TearDown() override {
        lib_->close();
        ::unlink(file_.c_str());
        ::rmdir(dir_.c_str());
    }

    // A device is free when a query-only probe may open it; a port the library holds is not.
    void expect_free(const char *name) {
        EXPECT_EQ(lib_->available(name), 1) << name << " is still held";
    }
    void expect_held(const char *name) {
        EXPECT_EQ(lib_->available(name), 0) << name << " is not held";
        EXPECT_EQ(lib_->getError(), kAccessDenied);
    }

    const Library *lib_ = nullptr;
    Pty a_;
    Pty b_;
    std::string dir_;
    std::string file_;
    std::string missing_;
};

TEST_F(Lifecycle, OpenReopenAndCloseTwice) {
    ASSERT_EQ(lib_->open(a_.name(), 9600), 1);
    expect_held(a_.name());
    // The same, exclusively held, port again: closing it first is what lets this succeed.
    ASSERT_EQ(lib_->open(a_.name(), 115200), 1);
    expect_held(a_.name());
    lib_->close();
    expect_free(a_.name());
    lib_->close();  // nothing left to close
    expect_free(a_.name());
    // Opens again after the close.
    EXPECT_EQ(lib_->open(a_.name(), 9600), 1);
}

TEST_F(Lifecycle, OpenAnotherPortReleasesTheFirst) {
    ASSERT_EQ(lib_->open(a_.name(), 9600), 1);
    ASSERT_EQ(lib_->open(b_.name(), 9600), 1);
    expect_free(a_.name());
    expect_held(b_.name());
}

// A failing open after a port was open: the earlier port is closed, none is open afterwards
// and the failing step's error code is the thread's.
struct FailingOpen {
    const char *label;
    int target;  // 0: a missing name, 1: an ordinary file, 2: the second pty, 3: NULL
    int baud;
    int error;
};

void PrintTo(const FailingOpen &c, std::ostream *out) { *out << c.label; }

class FailingOpens : public Lifecycle, public ::testing::WithParamInterface<FailingOpen> {};

TEST_P(FailingOpens, LeaveNoPortOpen) {
    const FailingOpen &c = GetParam();
    const char *targets[] = {missing_.c_str(), file_.c_str(), b_.name(), nullptr};
    const char *target = targets[c.target];
    ASSERT_EQ(lib_->open(a_.name(), 9600), 1);

    EXPECT_EQ(lib_->open(target, c.baud), 0);
    EXPECT_EQ(lib_->getError(), c.error);
    EXPECT_EQ(lib_->getError(), c.error);  // asking changes nothing

    expect_free(a_.name());
    if (c.target == 1 || c.target == 2) {
        expect_free(target);  // the handle of the failed open is closed again
    }
}

const FailingOpen kFailingOpens[] = {
    {"MissingName", 0, 9600, kFileNotFound},
    // An ordinary file opens, but has no line state to read.
    {"OrdinaryFile", 1, 9600, kInvalidFunction},
    // A pseudo-terminal takes any speed but 0, which no device could.
    {"SpeedZero", 2, 0, kInvalidParameter},
    {"NullName", 3, 9600, kInvalidParameter},
};

INSTANTIATE_TEST_SUITE_P(Cases, FailingOpens, ::testing::ValuesIn(kFailingOpens),
                         [](const ::testing::TestParamInfo<FailingOpen> &info) {
                             return std::string(info.param.label);
                         });

TEST_F(Lifecycle, AvailableAnswersForEachKindOfName) {
    expect_free(a_.name());
    expect_free(file_.c_str());  // the probe is not limited to serial devices
    EXPECT_EQ(lib_->available(missing_.c_str()), 0);
    EXPECT_EQ(lib_->getError(), kFileNotFound);
    EXPECT_EQ(lib_->available(nullptr), 0);
    EXPECT_EQ(lib_->getError(), kInvalidParameter);
}

TEST_F(Lifecycle, AvailableLeavesTheOpenPortOpen) {
    ASSERT_EQ(lib_->open(a_.name(), 9600), 1);
    expect_free(b_.name());
    expect_free(file_.c_str());
    expect_held(a_.name());
    expect_held(a_.name());  // probing the held port did not release it either
    lib_->close();
    expect_free(a_.name());
}

TEST_F(Lifecycle, ErrorCodeBelongsToTheCallingThread) {
    ASSERT_EQ(lib_->open(missing_.c_str(), 9600), 0);
    int fresh_thread = -1;
    int failed_in_thread = -1;
    std::thread other([&] {
        fresh_thread = lib_->getError();
        lib_->available(nullptr);
        failed_in_thread = lib_->getError();
    });
    other.join();
    EXPECT_EQ(fresh_thread, 0);
    EXPECT_EQ(failed_in_thread, kInvalidParameter);
    EXPECT_EQ(lib_->getError(), kFileNotFound);
}

}  // namespace
}  // namespace abi_test
