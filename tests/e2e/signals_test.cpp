// SIGINT, SIGTERM and SIGHUP, from kill, from Ctrl-C and from a closed
// terminal, in both modes: the terminal is left as it was found, the console
// level put back, the command that was running and the exit code logged, and
// the installer ends by the signal itself.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <regex>
#include <string>
#include <vector>

#include "install_texts.h"
#include "robustness.h"
#include "simhost.h"
#include "tmux.h"

using namespace kel;

namespace {

const std::string kInstallCommand = cliCommand("-i", "Manifest");
const std::string kPmInstall = "./installer/pm.sh --install kel --logfile " + kLogPath;
const std::string kPrintk = "4\t4\t1\t7\n";
// What full-screen mode lowers the console level to on that host.
const std::string kPrintkLowered = "3\t4\t1\t7\n";

// Tools that stay busy long enough to be interrupted.
const std::vector<std::string> kSlowTool = {"KEL_CLI_LINES=[ 40%] Unpacking\\n", "KEL_CLI_HOLD=60"};
const std::vector<std::string> kSlowPackages = {"KEL_PM_DELAY=60"};

// The run's last entries: the interrupted command (if one ran), the lost
// terminal (if it went), then the exit.
::testing::AssertionResult endsBySignal(const std::string& log, int sig, const std::string& command,
                                        bool terminalLost = false) {
    std::vector<std::string> want;
    if (!command.empty())
        want.push_back("Interrupted while running: " + command);
    if (terminalLost)
        want.push_back(lostTerminalEntry(log));
    want.push_back("Exiting with code " + std::to_string(128 + sig));
    return logEndsWith(log, want);
}

struct When {
    const char* name;
    std::vector<std::string> env;
    std::string tool;     // the stand-in whose start is waited for ("" none)
    std::string command;  // the command the log names
};

// The moment's tool has started (the package script's second call installs).
bool started(const SimHost& host, const When& when) {
    if (when.tool == "installer-cli")
        return !host.cliCalls().empty();
    return host.pmCalls().size() >= 2;
}

const std::vector<When> kUnattendedMoments = {
    {"while the installation tool runs", kSlowTool, "installer-cli", kInstallCommand},
    {"while the package script runs", kSlowPackages, "pm.sh --install", kPmInstall},
};

TEST(Signals, UnattendedRunEndsByTheSignal) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        for (const When& when : kUnattendedMoments) {
            SCOPED_TRACE(std::string(strsignal(sig)) + " " + when.name);
            SimHost host;
            auto run = std::async(std::launch::async, [&] { return host.run({"--install"}, when.env); });
            const pid_t pid = installerPid(host);
            ASSERT_GT(pid, 0);
            ASSERT_TRUE(pollUntil([&] { return started(host, when); }));
            ASSERT_EQ(kill(pid, sig), 0);
            EXPECT_TRUE(waitProcessGone(pid));
            EXPECT_TRUE(endsBySignal(host.log(), sig, when.command));
            // Unattended runs never touch the console level.
            EXPECT_EQ(host.printk(), kPrintk);
            // The tool is not stopped by the installer and still holds the
            // output streams it inherited; once it is gone, simhost's report
            // of the installer's end comes through: 128 + N for signal N.
            killHostProcesses(host);
            ASSERT_EQ(run.wait_for(std::chrono::seconds(30)), std::future_status::ready);
            const RunResult r = run.get();
            EXPECT_EQ(r.status, 128 + sig) << r.err;
            // What was printed before the tool started is not lost.
            EXPECT_TRUE(contains(r.out, kWaitInstall)) << r.out;
            EXPECT_FALSE(host.agentInstalled());
        }
    }
}

TEST(Signals, IgnoredHangUpStaysIgnored) {
    // As under nohup: the run goes on to its end.
    SimHost host;
    std::vector<std::string> env = {"KEL_CLI_LINES=[ 40%] Unpacking\\n", "KEL_CLI_HOLD=3"};
    auto run = std::async(std::launch::async, [&] {
        return host.exec({"env", "--ignore-signal=HUP", kInstaller, "--install"}, env);
    });
    const pid_t pid = installerPid(host);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(pollUntil([&] { return !host.cliCalls().empty(); }));
    ASSERT_EQ(kill(pid, SIGHUP), 0);
    ASSERT_EQ(run.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const RunResult r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(host.agentInstalled());
    EXPECT_FALSE(contains(host.log(), "Exiting with code"));
}

TEST(Signals, CtrlCInAnUnattendedRun) {
    // The terminal sends SIGINT to the whole foreground job: the installer
    // and the tool it runs.
    SimHost host;
    TempDir dir;
    Tmux t(inShell(host.commandLine({"--install"}, kSlowTool), dir.path));
    ASSERT_TRUE(pollUntil([&] { return !host.cliCalls().empty(); }, std::chrono::seconds(30))) << t.screen();
    t.send({"C-c"});
    const ShellEnd end = waitShellEnd(t);
    EXPECT_EQ(end.status, 130) << t.screen();
    EXPECT_TRUE(end.ttySame);
    EXPECT_TRUE(terminalUsable(t));
    EXPECT_TRUE(endsBySignal(host.log(), SIGINT, kInstallCommand));
    // The tool got the same Ctrl-C: nothing of the run is left.
    EXPECT_TRUE(pollUntil([&] { return hostProcesses(host).empty(); })) << hostProcesses(host).size();
    EXPECT_EQ(host.printk(), kPrintk);
    killHostProcesses(host);
}

// Full-screen moments: a question on the screen, the spinner thread drawing
// while the package script runs, the progress scale while the tool runs.
const std::vector<When> kScreenMoments = {
    {"on the welcome screen", {}, "", ""},
    {"while the spinner turns", kSlowPackages, "pm.sh --install", kPmInstall},
    {"under the progress scale", kSlowTool, "installer-cli", kInstallCommand},
};

void reach(Tmux& t, const SimHost& host, const When& when) {
    ASSERT_TRUE(t.waitFor("Welcome to Kelvarin Installer!")) << t.screen();
    if (when.tool.empty())
        return;
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Decline")) << t.screen();
    t.send({"BTab", "Enter"});
    ASSERT_TRUE(t.waitFor("Component Installation")) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(pollUntil([&] { return started(host, when); })) << t.screen();
    ASSERT_TRUE(t.waitFor(when.tool == "installer-cli" ? "installing" : "Please wait while downloading"))
        << t.screen();
}

TEST(Signals, FullScreenRunLeavesTheTerminalAndConsoleLevelAsFound) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        for (const When& when : kScreenMoments) {
            SCOPED_TRACE(std::string(strsignal(sig)) + " " + when.name);
            SimHost host;
            TempDir dir;
            Tmux t(inShell(host.commandLine({}, when.env), dir.path));
            reach(t, host, when);
            if (HasFatalFailure())
                return;
            EXPECT_EQ(host.printk(), kPrintkLowered);
            const pid_t pid = installerPid(host);
            ASSERT_GT(pid, 0);
            ASSERT_EQ(kill(pid, sig), 0);
            const ShellEnd end = waitShellEnd(t);
            EXPECT_EQ(end.status, 128 + sig) << t.screen();
            EXPECT_TRUE(end.ttySame);
            EXPECT_TRUE(terminalUsable(t));
            EXPECT_EQ(host.printk(), kPrintk);
            EXPECT_TRUE(endsBySignal(host.log(), sig, when.command));
            killHostProcesses(host);
        }
    }
}

TEST(Signals, ClosedTerminalHangsUpTheRun) {
    for (const When& when : kScreenMoments) {
        SCOPED_TRACE(when.name);
        SimHost host;
        TempDir dir;
        pid_t pid = -1;
        {
            Tmux t(inShell(host.commandLine({}, when.env), dir.path));
            reach(t, host, when);
            if (HasFatalFailure())
                return;
            pid = installerPid(host);
            ASSERT_GT(pid, 0);
        }  // The terminal goes away with its tmux server.
        EXPECT_TRUE(waitProcessGone(pid));
        EXPECT_EQ(host.printk(), kPrintk);
        EXPECT_TRUE(endsBySignal(host.log(), SIGHUP, when.command, true));
        killHostProcesses(host);
    }
}

}  // namespace
