// Full-screen base in a real terminal: header and help line, the general
// dialog's focus and answers, the cancel confirmation, the error path, and
// the printk console level lowered during the run and restored at every exit.
#include <gtest/gtest.h>

#include <filesystem>

#include "simhost.h"
#include "tmux.h"

namespace {

using namespace std::chrono_literals;

const std::string kDriverLog = "/var/log/kel-driver.log";

struct Screen {
    SimHost host;
    explicit Screen(std::vector<std::string> settings = {}) : host(std::move(settings)) {}
    std::string command(const std::vector<std::string>& sceneArgs) const {
        return host.commandLine(sceneArgs, {"KEL_LOG=" + kDriverLog}, kScreenDriver);
    }
    std::vector<std::string> log() const { return logMessages(readFile(host.hostPath(kDriverLog))); }
};

TEST(FullScreen, UnattendedRunLogsStartAndModeAndLeavesPrintkAlone) {
    SimHost host;
    host.run({"--install"});
    const auto log = logMessages(host.log());
    ASSERT_GE(log.size(), 4u) << host.log();
    EXPECT_EQ(log[0], "");
    EXPECT_EQ(log[1], "");
    EXPECT_EQ(log[2], "Kelvarin " KEL_VERSION " Installer started.");
    EXPECT_EQ(log[3], "Unattended install mode.");
    EXPECT_EQ(host.printk(), "4\t4\t1\t7\n");
}

TEST(FullScreen, HeaderHelpLineAndConsoleLevelWhileShown) {
    struct Case {
        std::string printk;
        std::string during;
    };
    // The console level drops to the minimum level, but never below 3.
    for (const Case& c : {Case{"4 4 1 7", "3\t4\t1\t7\n"}, Case{"7 4 4 7", "4\t4\t4\t7\n"}}) {
        SCOPED_TRACE(c.printk);
        Screen s({"PRINTK=" + c.printk});
        Tmux term(s.command({"baseDialog", "Caption", "Some label", "-", "First", "Second", "0"}));
        ASSERT_TRUE(term.waitFor("Some label")) << term.screen();
        EXPECT_EQ(term.row(0).rfind("Kelvarin 1.0 Installer - Copyright (c) 2025-2026 the Kelvarin developers", 0), 0u)
            << term.row(0);
        EXPECT_NE(term.row(23).find("  <Tab> to switch between elements  |  <Space> to select"), std::string::npos)
            << term.row(23);
        EXPECT_EQ(s.host.printk(), c.during);
        term.send({"Enter"});
        EXPECT_EQ(term.waitExit(), 0) << term.screen();
        const std::string original = c.printk.substr(0, 1) + "\t" + c.printk.substr(2, 1) + "\t" +
                                     c.printk.substr(4, 1) + "\t" + c.printk.substr(6, 1) + "\n";
        EXPECT_EQ(s.host.printk(), original);
    }
}

TEST(FullScreen, UnreadablePrintkIsLoggedAndNeverWritten) {
    Screen s;
    s.host.exec({"true"});
    writeFile(s.host.state() + "/printk", "garbage\n");
    Tmux term(s.command({"Cancel"}));
    ASSERT_TRUE(term.waitFor("Are you sure you want to cancel?")) << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
    EXPECT_EQ(s.host.printk(), "garbage\n");
    EXPECT_EQ(s.log(), std::vector<std::string>{"Failed to setup console printk level."});
}

TEST(FullScreen, BaseDialogFocusAndAnswers) {
    struct Case {
        std::string name;
        std::vector<std::string> scene;
        std::vector<std::string> keys;
        int result;
    };
    const std::vector<std::string> two = {"baseDialog", "Caption", "Pick one", "-", "First", "Second"};
    auto with = [&](std::string def) {
        auto v = two;
        v.push_back(def);
        return v;
    };
    const std::vector<Case> cases = {
        {"focus on the first button", with("0"), {"Enter"}, 0},
        {"focus on the second button", with("1"), {"Enter"}, 1},
        {"tab to the second button", with("0"), {"Tab", "Enter"}, 1},
        {"escape ends the form", with("1"), {"Escape"}, 0},
        {"F12 ends the form", with("1"), {"F12"}, 0},
        {"one button keeps the focus", {"baseDialog", "Caption", "Only", "-", "Alone", "-", "1"}, {"Enter"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Screen s;
        Tmux term(s.command(c.scene));
        ASSERT_TRUE(term.waitFor("Caption")) << term.screen();
        term.send(c.keys);
        EXPECT_EQ(term.waitExit(), c.result) << term.screen();
    }
}

TEST(FullScreen, CancelConfirmationDefaultsToNo) {
    struct Case {
        std::vector<std::string> keys;
        int result;
    };
    for (const Case& c : {Case{{"Enter"}, 0}, Case{{"Left", "Enter"}, 1}, Case{{"Escape"}, 1}, Case{{"F12"}, 1}}) {
        SCOPED_TRACE(c.keys[0]);
        Screen s;
        Tmux term(s.command({"Cancel"}));
        ASSERT_TRUE(term.waitFor("      Are you sure you want to cancel?")) << term.screen();
        EXPECT_NE(term.screen().find("Warning"), std::string::npos);
        EXPECT_NE(term.screen().find("Yes"), std::string::npos) << term.screen();
        term.send(c.keys);
        EXPECT_EQ(term.waitExit(), c.result) << term.screen();
    }
}

TEST(FullScreen, ErrorDialogLogsFirstThenExitsWithItsCode) {
    Screen s;
    Tmux term(s.command({"Error", "1", "The disk caught fire."}));
    ASSERT_TRUE(term.waitFor("The disk caught fire.")) << term.screen();
    EXPECT_NE(term.screen().find("Error"), std::string::npos);
    EXPECT_NE(term.screen().find("Exit"), std::string::npos);
    EXPECT_EQ(s.log(), std::vector<std::string>{"Error: The disk caught fire."});
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 1);
    EXPECT_EQ(s.log(), (std::vector<std::string>{"Error: The disk caught fire.", "Exiting with code 1"}));
    EXPECT_EQ(s.host.printk(), "4\t4\t1\t7\n");
}

TEST(FullScreen, MessageBoxesScrollPastSixRowsAndDefaultTheirTitle) {
    std::string tenRows;
    for (int i = 1; i <= 10; ++i)
        tenRows += "Row number " + std::to_string(i) + "\n";
    Screen s;
    Tmux term(s.command({"show_message2", tenRows, "Ok", "-"}));
    ASSERT_TRUE(term.waitFor("Row number 1")) << term.screen();
    const std::string shown = term.screen();
    EXPECT_NE(shown.find("Message"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Row number 6"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Row number 7"), std::string::npos) << shown;
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
}

// Plain mode: the error goes to standard error after the log line; the
// message is complete however long it is.
TEST(PlainErrors, ErrorWritesTheWholeMessageToStandardError) {
    TempDir dir;
    const std::string logPath = dir.path + "/driver.log";
    const std::string longText = std::string(5000, 'x') + " end";
    struct Case {
        std::string code;
        std::string text;
        int status;
    };
    for (const Case& c : {Case{"1", longText, 1}, Case{"0", "ends with newline\n", 0}}) {
        std::filesystem::remove(logPath);
        const RunResult r = runProcess({kScreenDriver, "--plain", "Error", c.code, c.text}, {"KEL_LOG=" + logPath});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.text + "\n");
        const std::string log = readFile(logPath);
        const auto lines = logMessages(log);
        EXPECT_EQ(log.find("Error: " + c.text + "\n"), log.find(": Error: ") + 2) << log;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Exiting with code " + c.code);
    }
}

}  // namespace
