// Full-screen start and end in a real terminal: header, help line, the
// printk level lowered during the run and restored afterwards.
#include <gtest/gtest.h>

#include "simhost.h"
#include "tmux.h"

namespace {

TEST(FullScreen, RunUnattendedLogsStartAndModeOnTheSimulatedHost) {
    SimHost host;
    const RunResult r = host.run({"--install"});
    const auto log = logMessages(host.log());
    ASSERT_GE(log.size(), 4u) << host.log();
    EXPECT_EQ(log[0], "");
    EXPECT_EQ(log[1], "");
    EXPECT_EQ(log[2], "Kelvarin " KEL_VERSION " Installer started.");
    EXPECT_EQ(log[3], "Unattended install mode.");
    EXPECT_EQ(host.printk(), "4\t4\t1\t7\n");
}

}  // namespace
