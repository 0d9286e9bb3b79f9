// TEST and quenlex_getError over the recording fake.
#include <thread>

#include "core_fixture.h"

namespace core_test {
namespace {

TEST_F(CoreTest, TestWritesDenemeAndLeavesTheRestAlone) {
    unsigned char out[8];
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(TEST(reinterpret_cast<char *>(out)), 6);
    EXPECT_EQ(std::memcmp(out, "DENEME\0", 7), 0);
    EXPECT_EQ(out[7], 0xAA);
    EXPECT_TRUE(fake::calls().empty());
}

TEST_F(CoreTest, TestWithNullReturnsZero) {
    EXPECT_EQ(TEST(nullptr), 0);
    EXPECT_TRUE(fake::calls().empty());
}

TEST_F(CoreTest, GetErrorReturnsTheCodeUnchangedAndChangesNothing) {
    fake::set_last_error(0xFFFFFFFFu);  // beyond INT_MAX: comes back as the same 32 bits
    EXPECT_EQ(quenlex_getError(), -1);
    EXPECT_EQ(quenlex_getError(), -1);
    EXPECT_EQ(fake::ops(), (std::vector<Op>{Op::GetLastError, Op::GetLastError}));
    EXPECT_EQ(fake::last_error(), 0xFFFFFFFFu);
}

TEST_F(CoreTest, GetErrorBelongsToTheCallingThread) {
    fake::script(Op::CreateFileA, failing(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(quenlex_open("/dev/missing", 9600), 0);

    int fresh_thread = -1;
    int failed_in_thread = -1;
    std::thread other([&] {
        fresh_thread = quenlex_getError();
        fake::script(Op::CreateFileA, failing(ERROR_ACCESS_DENIED));
        quenlex_available("COM9");
        failed_in_thread = quenlex_getError();
    });
    other.join();

    EXPECT_EQ(fresh_thread, 0);
    EXPECT_EQ(failed_in_thread, static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(quenlex_getError(), static_cast<int>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace core_test
