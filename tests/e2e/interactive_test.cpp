// Interactive runs of the real installer in a terminal (tmux, 80x24) on the
// simulated host: the whole road of an installation, the action question
// over an installed agent, and the questions that can repeat.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "install_texts.h"
#include "simhost.h"
#include "tmux.h"

using namespace kel;

namespace {

const char* const kWelcome = "Welcome to Kelvarin Installer!";

// Polls a condition outside the terminal (a tool's record) with a bound.
template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The licence starts with the focus on " Decline ": move to " Accept ".
void acceptLicence(Tmux& t) {
    ASSERT_TRUE(t.waitFor("License Agreement")) << t.screen();
    ASSERT_TRUE(t.waitFor("Decline")) << t.screen();
    t.send({"BTab", "Enter"});
}

TEST(Interactive, InstallationRoadFromWelcomeToFinish) {
    SimHost host;
    // Slow enough tools that the spinner and the scale can be seen.
    Tmux t(host.commandLine({}, {"KEL_PM_DELAY=2", "KEL_CLI_DELAY=4"}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);

    ASSERT_TRUE(t.waitFor("Component Installation")) << t.screen();
    EXPECT_TRUE(t.waitFor("- kel-runtime")) << t.screen();
    EXPECT_TRUE(t.waitFor("- kel-extras-doc")) << t.screen();
    EXPECT_TRUE(t.waitFor("Do you want to install them now?")) << t.screen();
    t.send({"Enter"});

    // The spinner while the packages install, then the scale titled with the gerund.
    EXPECT_TRUE(t.waitFor("Please wait while downloading is in progress")) << t.screen();
    EXPECT_TRUE(t.waitFor("installing")) << t.screen();
    EXPECT_TRUE(t.waitGone("Please wait while downloading is in progress")) << t.screen();

    ASSERT_TRUE(t.waitFor("Components installation")) << t.screen();
    EXPECT_TRUE(t.waitFor("we recommend you")) << t.screen();
    EXPECT_TRUE(t.waitFor("- kel-extras-doc")) << t.screen();
    EXPECT_FALSE(contains(t.screen(), "- kel-runtime"));
    t.send({"Enter"});

    ASSERT_TRUE(t.waitFor("Kelvarin Installation Completed")) << t.screen();
    EXPECT_TRUE(t.waitFor("successfully completed installing Kelvarin")) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);

    EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest")});
    EXPECT_TRUE(host.agentInstalled());
    EXPECT_EQ(host.printk(), "4\t4\t1\t7\n");
    const auto log = logMessages(host.log());
    EXPECT_TRUE(hasInOrder(log, {"execCmd: ./installer/pm.sh --install kel --logfile " + kLogPath + " [0]",
                                 "exec_with_progress: " + cliCommand("-i", "Manifest") + " 0"}));
    EXPECT_FALSE(contains(host.log(), "Unattended install mode."));
}

TEST(Interactive, UpgradeRunsShareOneScale) {
    SimHost host({"AGENT=yes"});
    // Each run reports half its work, then pauses so the scale can be read.
    Tmux t(host.commandLine({}, {"KEL_PM_CHECK_OUT=", "KEL_CLI_LINES=[ 50%] Halfway\\n", "KEL_CLI_HOLD=2"}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Please select action to perform:")) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("upgrading")) << t.screen();
    EXPECT_TRUE(t.waitFor("25%")) << t.screen();
    EXPECT_TRUE(t.waitFor("75%")) << t.screen();
    ASSERT_TRUE(t.waitFor("Kelvarin Updating Completed")) << t.screen();
    EXPECT_TRUE(t.waitFor("successfully completed updating Kelvarin")) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);
    EXPECT_EQ(host.cliCalls(), (std::vector<std::string>{cliArgs("-e --skip-sections config " + kAgentManifest),
                                                         cliArgs("-i Manifest")}));
}

TEST(Interactive, InstalledAgentOffersUpgradeOrRemove) {
    SimHost host({"AGENT=yes"});
    Tmux t(host.commandLine({}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Please select action to perform:")) << t.screen();
    EXPECT_TRUE(t.waitFor("Upgrade")) << t.screen();
    EXPECT_TRUE(t.waitFor("Remove")) << t.screen();
    // Enter on the list takes the highlighted entry at once.
    t.send({"Down", "Enter"});
    // A removal asks for no licence and no packages.
    ASSERT_TRUE(t.waitFor("successfully removed Kelvarin")) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);
    EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-e " + kAgentManifest)});
    EXPECT_TRUE(host.pmCalls().empty());
    EXPECT_FALSE(host.agentInstalled());
}

TEST(Interactive, CancelledActionQuestionEndsWithTen) {
    SimHost host({"AGENT=yes"});
    Tmux t(host.commandLine({}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Please select action to perform:")) << t.screen();
    // List, Next >, Cancel.
    t.send({"Tab", "Tab", "Enter"});
    ASSERT_TRUE(t.waitFor("Are you sure you want to cancel?")) << t.screen();
    t.send({"BTab", "Enter"});  // " Yes "
    EXPECT_EQ(t.waitExit(), 10);
    EXPECT_TRUE(host.cliCalls().empty());
    EXPECT_TRUE(host.agentInstalled());
    EXPECT_EQ(logMessages(host.log()).back(), "Exiting with code 10");
}

TEST(Interactive, SelinuxWarnsAndDiskSpaceQuestionRepeatsUntilTheCheckPasses) {
    SimHost host;
    Tmux t(host.commandLine({}, {"KEL_SELINUX_EXIT=0", "KEL_DISK_EXITS=2 2 0",
                                 "KEL_DISK_OUT=Only 12 MB free in /usr.", "KEL_PM_CHECK_OUT="}));
    const std::string calls = host.state() + "/tools/check_disk_space.sh.calls";
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("SELinux detected")) << t.screen();
    EXPECT_TRUE(t.waitFor("permissive mode.")) << t.screen();
    EXPECT_TRUE(SimHost::lines(calls).empty());
    t.send({"Enter"});
    for (size_t round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(waitUntil([&] { return SimHost::lines(calls).size() == round; }));
        ASSERT_TRUE(t.waitFor("Not enough disk space")) << t.screen();
        EXPECT_TRUE(t.waitFor("Only 12 MB free in /usr.")) << t.screen();
        t.send({"Enter"});  // Next >: check again
    }
    ASSERT_TRUE(t.waitFor("Kelvarin Installation Completed")) << t.screen();
    EXPECT_EQ(SimHost::lines(calls).size(), 3u);
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);
}

TEST(Interactive, DiskSpaceQuestionCancelledEndsWithTen) {
    SimHost host;
    Tmux t(host.commandLine({}, {"KEL_DISK_EXIT=2"}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("There is not enough space on the disk.")) << t.screen();
    t.send({"Tab", "Enter"});  // Cancel
    ASSERT_TRUE(t.waitFor("Are you sure you want to cancel?")) << t.screen();
    t.send({"BTab", "Enter"});
    EXPECT_EQ(t.waitExit(), 10);
    EXPECT_TRUE(host.cliCalls().empty());
}

TEST(Interactive, BusyPackageManagerOffersRetry) {
    SimHost host;
    Tmux t(host.commandLine({}, {"KEL_PM_INSTALL_EXITS=123 0"}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("Component Installation")) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("instance of package manager is already running")) << t.screen();
    EXPECT_TRUE(t.waitFor("Retry")) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Components installation")) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Kelvarin Installation Completed")) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);
    EXPECT_EQ(host.pmCalls().size(), 3u);
}

TEST(Interactive, DeclinedPackageQuestionEndsWithTen) {
    SimHost host;
    Tmux t(host.commandLine({}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("Component Installation")) << t.screen();
    t.send({"Tab", "Enter"});
    ASSERT_TRUE(t.waitFor("Are you sure you want to cancel?")) << t.screen();
    t.send({"BTab", "Enter"});
    EXPECT_EQ(t.waitExit(), 10);
    EXPECT_EQ(host.pmCalls(), std::vector<std::string>{"--check kel"});
    EXPECT_TRUE(host.cliCalls().empty());
}

TEST(Interactive, ToolFailureShowsTheErrorAndEndsWithOne) {
    SimHost host;
    Tmux t(host.commandLine({}, {"KEL_PM_CHECK_OUT=", "KEL_CLI_EXIT=1"}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    t.send({"Enter"});
    acceptLicence(t);
    ASSERT_TRUE(t.waitFor("Error during configuration Kelvarin.")) << t.screen();
    EXPECT_TRUE(t.waitFor(kLogPath)) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 1);
    EXPECT_EQ(host.printk(), "4\t4\t1\t7\n");
}

}  // namespace
