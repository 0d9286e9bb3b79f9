// GoogleTest's main for suites that reach quenlex_configure: first leave the terminal.
#include <gtest/gtest.h>

#include "no_terminal.h"

int main(int argc, char **argv) {
    quenlex::test::leave_controlling_terminal();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
