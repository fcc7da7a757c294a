// Runners and progress windows in a real terminal: the spinner of a slow
// command, the preparation scale moved by progress lines (one window across
// the parts of an upgrade), and the package progress window.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "harness.h"
#include "simhost.h"
#include "tmux.h"

namespace {

// A shell snippet that waits (bounded) until the test creates a file.
std::string waitFile(const std::string& path) {
    return "i=0; while [ ! -e " + path + " ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done";
}

std::string driverLine(const std::vector<std::string>& args, const std::string& log) {
    std::string line = "KEL_LOG=";
    line += shellQuote(log);
    line += " ";
    line += shellQuote(kScreenDriver);
    for (const auto& a : args)
        line += " " + shellQuote(a);
    return line;
}

void touch(const std::string& path) {
    writeFile(path, "");
}

// Polls (bounded) for a file that a scene's command creates.
bool waitForFile(const std::string& path) {
    for (int i = 0; i < 400; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The screen row holding text, or "".
std::string rowWith(const Tmux& term, const std::string& text) {
    std::istringstream in(term.screen());
    std::string line;
    while (std::getline(in, line))
        if (line.find(text) != std::string::npos)
            return line;
    return "";
}

TEST(ProgressScreens, SpinnerTurnsWhileTheCommandRunsAndLeavesNoWindow) {
    TempDir dir;
    const std::string log = dir.path + "/install.log";
    const std::string msg = "Installing prerequisite packages";
    const std::string cmd = waitFile(dir.path + "/go") + "; echo out";
    Tmux term(driverLine({"spinner", msg, cmd}, log));
    ASSERT_TRUE(term.waitFor(msg)) << term.screen();

    // The symbol after the message, frame by frame.
    std::set<char> symbols;
    for (int i = 0; i < 200 && symbols.size() < 2; ++i) {
        const std::string row = rowWith(term, msg);
        const auto at = row.find(msg + " ");
        if (at != std::string::npos && at + msg.size() + 1 < row.size()) {
            const char symbol = row[at + msg.size() + 1];
            EXPECT_NE(std::string("/-\\|").find(symbol), std::string::npos) << row;
            symbols.insert(symbol);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GE(symbols.size(), 2u) << term.screen();

    touch(dir.path + "/go");
    ASSERT_TRUE(term.waitFor("finished: rc=0")) << term.screen();
    EXPECT_EQ(term.screen().find(msg), std::string::npos) << "window left behind:\n" << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
    const auto entries = logMessages(readFile(log));
    EXPECT_EQ(entries, (std::vector<std::string>{"out", "execCmd: " + cmd + " [0]"}));
}

TEST(ProgressScreens, SpinnerInPlainModeShowsNothing) {
    const RunResult r = runProcess({kScreenDriver, "--plain", "spinner", "Working", "sleep 0.3; exit 4"});
    EXPECT_EQ(r.out, "finished: rc=4\nRESULT 4\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 4);
}

TEST(ProgressScreens, PreparationScaleMovesWithProgressLines) {
    TempDir dir;
    const std::string cmd = "printf '[ 20]  one\\n'; " + waitFile(dir.path + "/go1") + "; printf '[ 60]  two\\n'; " +
                            waitFile(dir.path + "/go2");
    Tmux term(driverLine({"prepare", "install", "window", cmd}, dir.path + "/install.log"));
    ASSERT_TRUE(term.waitFor(" 20%")) << term.screen();
    EXPECT_NE(rowWith(term, "installing"), "") << "titled with the action's gerund\n" << term.screen();
    touch(dir.path + "/go1");
    ASSERT_TRUE(term.waitFor(" 60%")) << term.screen();
    touch(dir.path + "/go2");
    ASSERT_TRUE(term.waitFor("finished: rc=0 progress=60 message=two")) << term.screen();
    EXPECT_EQ(rowWith(term, "installing"), "") << "window left behind:\n" << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
    EXPECT_EQ(logMessages(readFile(dir.path + "/install.log")),
              (std::vector<std::string>{"exec_with_progress: " + cmd + " 0"}));
}

TEST(ProgressScreens, UpgradeKeepsOneWindowAcrossItsTwoParts) {
    TempDir dir;
    const std::string part0 =
        "printf '[ 40]  first\\n'; " + waitFile(dir.path + "/go1") + "; printf '[100]  first done\\n'";
    const std::string part1 = "touch " + dir.path + "/part1; " + waitFile(dir.path + "/go2") +
                              "; printf '[ 40]  second\\n'; " + waitFile(dir.path + "/go3");
    Tmux term(driverLine({"prepare", "upgrade", "window", part0, part1}, dir.path + "/install.log"));
    ASSERT_TRUE(term.waitFor(" 20%")) << term.screen();
    EXPECT_NE(rowWith(term, "upgrading"), "") << term.screen();

    touch(dir.path + "/go1");
    ASSERT_TRUE(waitForFile(dir.path + "/part1"));
    // The second part has started: the first part's window and scale are
    // still there, neither closed nor opened afresh.
    EXPECT_NE(rowWith(term, "upgrading"), "") << term.screen();
    EXPECT_NE(term.screen().find(" 50%"), std::string::npos) << term.screen();

    touch(dir.path + "/go2");
    ASSERT_TRUE(term.waitFor(" 70%")) << term.screen();
    touch(dir.path + "/go3");
    ASSERT_TRUE(term.waitFor("finished: rc=0 progress=70")) << term.screen();
    EXPECT_EQ(rowWith(term, "upgrading"), "") << "window left behind:\n" << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
}

TEST(ProgressScreens, WindowOnlyWithAWindowRecord) {
    for (const bool window : {true, false}) {
        SCOPED_TRACE(window ? "window" : "nowindow");
        TempDir dir;
        // Filler beyond a pipe's capacity: once the command gets past it, the
        // runner has read and handled the progress line before it.
        const std::string cmd = "printf '[ 30]  x\\n'; yes filler-line | head -c 100000; touch " + dir.path +
                                "/past; " + waitFile(dir.path + "/go");
        Tmux term(driverLine({"prepare", "install", window ? "window" : "nowindow", cmd}, dir.path + "/install.log"));
        ASSERT_TRUE(waitForFile(dir.path + "/past"));
        EXPECT_EQ(term.waitFor("installing", std::chrono::seconds(window ? 20 : 1)), window) << term.screen();
        EXPECT_EQ(term.screen().find(" 30%") != std::string::npos, window) << term.screen();
        touch(dir.path + "/go");
        ASSERT_TRUE(term.waitFor("finished: rc=0 progress=30 message=x")) << term.screen();
        term.send({"Enter"});
        EXPECT_EQ(term.waitExit(), 0);
    }
}

TEST(ProgressScreens, FailedRunLeavesTheWindowOpenForTheErrorReport) {
    struct {
        const char* mode;
        const char* finished;
        const char* logged;
    } cases[] = {
        {"nopipe", "finished: rc=-1 progress=0", "Error on popen(printf '[ 30]  x\\n')"},
        {"noreap", "finished: rc=-1 progress=30", "error in pclose(printf '[ 30]  x\\n')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        Tmux term(driverLine({"prepare", "install", c.mode, "printf '[ 30]  x\\n'"}, dir.path + "/install.log"));
        ASSERT_TRUE(term.waitFor(c.finished)) << term.screen();
        EXPECT_NE(rowWith(term, "installing"), "") << term.screen();
        term.send({"Enter"});
        EXPECT_EQ(term.waitExit(), 1);
        EXPECT_EQ(logMessages(readFile(dir.path + "/install.log")), (std::vector<std::string>{c.logged}));
    }
}

TEST(ProgressScreens, PackageWindowLabelsAndPercentages) {
    TempDir dir;
    Tmux term(driverLine({"packages", "Installing packages", "pkg:alpha:10 KB:10:First package summary", "wait",
                          "amt:5:10", "wait", "amt:30:10", "wait", "pkg:beta:20 KB:20:Second summary", "wait", "stop"},
                         dir.path + "/install.log"));
    struct {
        const char* name;
        const char* visible;
        const char* package;
        const char* overall;
    } steps[] = {
        {"first package begins", "alpha", "  0%", "  0%"},
        {"half of it", "alpha", " 50%", "100%"},
        {"more than its size", "alpha", "100%", "100%"},
        {"next package begins", "beta", "  0%", "100%"},
    };
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(term.waitFor("step " + std::to_string(++n))) << term.screen();
        EXPECT_NE(rowWith(term, "Name:").find(s.visible), std::string::npos) << term.screen();
        const std::string pkg = rowWith(term, "Package progress");
        const std::string all = rowWith(term, "Overall progress");
        EXPECT_NE(pkg.find(std::string(s.package) + " "), std::string::npos) << pkg;
        EXPECT_NE(all.find(std::string(s.overall) + " "), std::string::npos) << all;
        term.send({"Enter"});
    }
    ASSERT_TRUE(term.waitFor("finished")) << term.screen();
    EXPECT_EQ(rowWith(term, "Package progress"), "") << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 0);
}

}  // namespace
