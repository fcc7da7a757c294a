// Terminal sizes: every window of the main sequence fits common terminals
// whole, and on a terminal of 14 rows or fewer the licence can still be read
// to its end and accepted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "robustness.h"
#include "simhost.h"
#include "tmux.h"

namespace {

struct Size {
    int cols;
    int rows;
};

const std::vector<Size> kSizes = {{80, 24}, {80, 25}, {132, 43}};

// Slow enough tools that the spinner and the progress scale can be caught.
const std::vector<std::string> kSlowTools = {"KEL_PM_DELAY=3", "KEL_CLI_LINES=[ 40%] Unpacking\\n", "KEL_CLI_HOLD=3"};

void playAtSize(const Size& size, const std::vector<std::string>& settings, const std::vector<Screen>& screens) {
    SCOPED_TRACE(std::to_string(size.cols) + "x" + std::to_string(size.rows));
    SimHost host(settings);
    TempDir dir;
    Tmux t(inShell(host.commandLine({}, kSlowTools), dir.path), size.cols, size.rows);
    playScreens(t, screens, size.rows);
    const ShellEnd end = waitShellEnd(t);
    EXPECT_EQ(end.status, 0) << t.screen();
    EXPECT_TRUE(end.ttySame);
    killHostProcesses(host);
}

TEST(TerminalSize, InstallationWindowsFit) {
    const std::vector<Screen> screens = {
        {"Welcome to Kelvarin Installer!", {"Enter"}},
        {"License Agreement", {"BTab", "Enter"}},
        {"Component Installation", {"Enter"}},
        {"Please wait while downloading is in progress"},
        {"installing"},
        {"Components installation", {"Enter"}},
        {"Kelvarin Installation Completed", {"Enter"}},
    };
    for (const Size& size : kSizes)
        playAtSize(size, {}, screens);
}

TEST(TerminalSize, UpgradeOrRemoveChoiceFits) {
    // Remove: the choice, then the removal's scale and its finish screen.
    const std::vector<Screen> screens = {
        {"Welcome to Kelvarin Installer!", {"Enter"}},
        {"Please select action to perform:", {"Down", "Enter"}},
        {"removing"},
        {"Kelvarin Installation Completed", {"Enter"}},
    };
    for (const Size& size : kSizes)
        playAtSize(size, {"AGENT=yes"}, screens);
}

TEST(TerminalSize, LicenceCanBeReadAndAcceptedOnFewRows) {
    const std::string lastLine = "Copyright (c) Halcrest. All rights reserved.";
    std::vector<std::string> toTheEnd = {"BTab", "BTab"};
    toTheEnd.insert(toTheEnd.end(), 40, "Down");
    for (int rows : {14, 12, 10}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        SimHost host;
        TempDir dir;
        Tmux t(inShell(host.commandLine({}, {}), dir.path), 80, rows);
        ASSERT_TRUE(t.waitFor("Welcome to Kelvarin")) << t.screen();
        t.send({"Enter"});
        ASSERT_TRUE(t.waitFor("Decline")) << t.screen();
        // The whole window is on the screen, title and buttons included.
        EXPECT_TRUE(frameAround(t, "License Agreement")) << t.screen();
        EXPECT_TRUE(frameAround(t, "KELVARIN AGENT LICENCE AGREEMENT")) << t.screen();
        // From " Decline " back over " Accept " to the text, which scrolls.
        t.send(toTheEnd);
        EXPECT_TRUE(t.waitFor(lastLine)) << t.screen();
        t.send({"Tab", "Enter"});
        // Accepted: the run goes on to the package check.
        EXPECT_TRUE(pollUntil([&] { return !host.pmCalls().empty(); })) << t.screen();
        killHostProcesses(host);
    }
}

}  // namespace
