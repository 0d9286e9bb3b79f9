// quenlex_configure over the recording fake: on the open port and on a temporary one, the
// record read, shown and written back, and every way it can stop early.
#include <string>
#include <tuple>

#include "core_fixture.h"

namespace core_test {
namespace {

using fake::Call;

COMMCONFIG changed_config() {
    COMMCONFIG config = fake::device_config();
    config.dcb.BaudRate = 57600;
    config.dcb.fOutxCtsFlow = !config.dcb.fOutxCtsFlow;
    config.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    return config;
}

enum class Dialog { Confirm, Cancel, ConfirmButWriteBackFails };

// (whether a port is open, what the user does, the size the read reports)
using ConfigureCase = std::tuple<bool, Dialog, DWORD>;

std::string configure_case_name(const ::testing::TestParamInfo<ConfigureCase> &info) {
    static const char *const kDialog[] = {"Confirm", "Cancel", "WriteBackFails"};
    return std::string(std::get<0>(info.param) ? "OpenPort" : "TemporaryPort") +
           kDialog[static_cast<int>(std::get<1>(info.param))] + "Size" +
           std::to_string(std::get<2>(info.param));
}

class Configure : public CoreTest, public ::testing::WithParamInterface<ConfigureCase> {};

TEST_P(Configure, ReadsShowsAndWritesBack) {
    auto [port_open, dialog, size] = GetParam();
    HANDLE port = port_open ? open_port() : INVALID_HANDLE_VALUE;
    const COMMCONFIG device = fake::device_config();
    Outcome read;
    read.size = size;
    fake::script(Op::GetCommConfig, read);
    Outcome shown;
    if (dialog == Dialog::Cancel) {
        shown = failing(ERROR_CANCELLED);  // the record stays as it was
    } else {
        shown.leave = changed_config();
    }
    fake::script(Op::CommConfigDialogA, shown);
    if (dialog == Dialog::ConfirmButWriteBackFails) {
        fake::script(Op::SetCommConfig, failing(ERROR_INVALID_PARAMETER));
    }

    EXPECT_EQ(quenlex_configure("COM4"), 1);

    std::vector<Op> expected{Op::GetCommConfig, Op::CommConfigDialogA, Op::SetCommConfig};
    if (!port_open) {
        expected.insert(expected.begin(), Op::CreateFileA);
        expected.push_back(Op::CloseHandle);
    }
    ASSERT_EQ(fake::ops(), expected);
    std::vector<Call> calls = fake::calls();
    if (!port_open) {
        const Call &create = calls.front();
        EXPECT_EQ(create.name, "COM4");
        EXPECT_EQ(create.access, kReadWrite);
        EXPECT_EQ(create.sharing, 0u);
        EXPECT_EQ(create.security, nullptr);
        EXPECT_EQ(create.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(create.flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(create.template_file, nullptr);
        port = fake::opened_handles().back();
        calls.erase(calls.begin());
        EXPECT_EQ(calls.back().handle, port);  // the temporary port is closed again
    }

    const Call &get = calls[0];
    const Call &show = calls[1];
    const Call &set = calls[2];
    EXPECT_EQ(get.handle, port);
    EXPECT_EQ(get.size, 52u);
    EXPECT_NE(get.size_ptr, nullptr);
    EXPECT_EQ(show.name, "COM4");
    EXPECT_EQ(show.owner, nullptr);
    EXPECT_EQ(show.record, get.record);
    EXPECT_TRUE(same_bytes(show.config, device));  // the dialog sees what the port reported
    EXPECT_EQ(set.handle, port);
    EXPECT_EQ(set.record, get.record);
    EXPECT_EQ(set.size, size);  // the size the read reported, not the one asked with
    // A cancelled dialog's record is written back all the same.
    EXPECT_TRUE(same_bytes(set.config, dialog == Dialog::Cancel ? device : changed_config()));

    if (port_open) {
        EXPECT_EQ(fake::open_handles(), std::vector<HANDLE>{port});
    } else {
        EXPECT_TRUE(fake::open_handles().empty());
        EXPECT_TRUE(no_port_open());
        std::size_t before = fake::calls().size();
        EXPECT_EQ(quenlex_write("x"), 0);  // data transfer finds no port
        EXPECT_EQ(fake::calls().size(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Configure,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(Dialog::Confirm, Dialog::Cancel,
                                                              Dialog::ConfirmButWriteBackFails),
                                            ::testing::Values(DWORD{52}, DWORD{44})),
                         configure_case_name);

struct EarlyStop {
    const char *label;
    bool port_open;
    Op failing_op;
    Outcome outcome;
    DWORD error;
};

// Cases print as their labels in test output.
void PrintTo(const EarlyStop &c, std::ostream *out) { *out << c.label; }

Outcome read_needs_more(BOOL result) {
    Outcome outcome;
    outcome.result = result;
    outcome.size = 60;
    if (!result) {
        outcome.error = ERROR_INSUFFICIENT_BUFFER;
    }
    return outcome;
}

const EarlyStop kEarlyStops[] = {
    {"TemporaryOpenFails", false, Op::CreateFileA, failing(ERROR_ACCESS_DENIED),
     ERROR_ACCESS_DENIED},
    // A configuration that cannot be read is neither shown nor written back.
    {"TemporaryNotACommDevice", false, Op::GetCommConfig, failing(ERROR_INVALID_FUNCTION),
     ERROR_INVALID_FUNCTION},
    {"TemporaryNeedsMoreRoom", false, Op::GetCommConfig, read_needs_more(FALSE),
     ERROR_INSUFFICIENT_BUFFER},
    {"TemporaryReportsMoreRoom", false, Op::GetCommConfig, read_needs_more(TRUE),
     ERROR_INSUFFICIENT_BUFFER},
    {"OpenPortReadFails", true, Op::GetCommConfig, failing(ERROR_GEN_FAILURE), ERROR_GEN_FAILURE},
    {"OpenPortNeedsMoreRoom", true, Op::GetCommConfig, read_needs_more(FALSE),
     ERROR_INSUFFICIENT_BUFFER},
    {"OpenPortReportsMoreRoom", true, Op::GetCommConfig, read_needs_more(TRUE),
     ERROR_INSUFFICIENT_BUFFER},
};

class ConfigureStops : public CoreTest, public ::testing::WithParamInterface<EarlyStop> {};

TEST_P(ConfigureStops, ResultZeroAndTheErrorCode) {
    const EarlyStop &c = GetParam();
    HANDLE port = c.port_open ? open_port() : INVALID_HANDLE_VALUE;
    fake::script(c.failing_op, c.outcome);

    EXPECT_EQ(quenlex_configure("/tmp/not-a-port"), 0);
    EXPECT_EQ(fake::last_error(), c.error);

    std::vector<Op> expected;
    if (!c.port_open) {
        expected.push_back(Op::CreateFileA);
    }
    if (c.failing_op == Op::GetCommConfig) {
        expected.push_back(Op::GetCommConfig);
        if (!c.port_open) {
            expected.push_back(Op::CloseHandle);
        }
    }
    EXPECT_EQ(fake::ops(true), expected);

    if (c.port_open) {
        EXPECT_EQ(fake::open_handles(), std::vector<HANDLE>{port});
    } else {
        EXPECT_TRUE(fake::open_handles().empty());
        EXPECT_TRUE(no_port_open());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigureStops, ::testing::ValuesIn(kEarlyStops),
                         [](const ::testing::TestParamInfo<EarlyStop> &info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace core_test
