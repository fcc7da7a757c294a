// Only a person at a working terminal answers the screens: without one the
// installer refuses before anything changes, and a terminal that goes away
// under a run is never taken as an answer. The run then ends, with the
// console level put back and the log finished, whether the hang-up signal
// is delivered or ignored.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "install_texts.h"
#include "screens/screen.h"
#include "robustness.h"
#include "scene_terminal.h"
#include "simhost.h"
#include "tmux.h"

using namespace kel;

namespace {

const std::string kPrintk = "4\t4\t1\t7\n";
const std::string kHowToGoOn =
    "Run the installer from a terminal, with TERM set to its type, or use --install or --remove for an unattended "
    "run.";
const std::string kPmInstall = "./installer/pm.sh --install kel --logfile " + kLogPath;
const std::string kUpgradeFirstRun = cliCommand("-e --skip-sections config", kAgentManifest);

// Nothing ran: no tool of the bundle was called and the console level is
// untouched.
void expectNothingRan(const SimHost& host) {
    EXPECT_TRUE(host.pmCalls().empty());
    EXPECT_TRUE(host.cliCalls().empty());
    EXPECT_TRUE(SimHost::lines(host.state() + "/tools/check_disk_space.sh.calls").empty());
    EXPECT_EQ(host.printk(), kPrintk);
}

// ---- no usable terminal ------------------------------------------------------

TEST(Terminal, WithoutATerminalNothingRuns) {
    const std::string notIn = "Standard input is not a terminal.\n" + kHowToGoOn;
    struct Case {
        const char* name;
        std::string shell;  // how sh runs "$0", the installer, without a terminal
        std::string message;
    } cases[] = {
        {"input from /dev/null", "exec \"$0\" </dev/null", notIn},
        {"input from a pipe", "echo y | \"$0\"", notIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        const RunResult r = host.exec({"sh", "-c", c.shell, kInstaller});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, c.message + "\n");
        EXPECT_TRUE(logEndsWith(host.log(), {"Error: Standard input is not a terminal.", "Exiting with code 2"}));
        expectNothingRan(host);
    }
}

TEST(Terminal, OutputToAFileFromARealTerminal) {
    // Standard input is the terminal, standard output is not.
    SimHost host;
    TempDir dir;
    Tmux t(inShell(host.commandLine({}) + " >" + shellQuote(dir.path + "/out"), dir.path));
    const ShellEnd end = waitShellEnd(t);
    EXPECT_EQ(end.status, 2) << t.screen();
    EXPECT_TRUE(end.ttySame);
    EXPECT_TRUE(t.waitFor("Standard output is not a terminal.")) << t.screen();
    EXPECT_EQ(readFile(dir.path + "/out"), "");
    EXPECT_TRUE(logEndsWith(host.log(), {"Error: Standard output is not a terminal.", "Exiting with code 2"}));
    expectNothingRan(host);
}

TEST(Terminal, TerminalTypesTheScreensCannotDrive) {
    const struct {
        const char* term;
        std::string message;
    } cases[] = {
        {"dumb", "The terminal type \"dumb\" cannot draw the installer's screens."},
        {"kel-no-such-terminal", "The terminal type \"kel-no-such-terminal\" is not known on this system."},
        {"", "TERM is not set."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.term);
        SimHost host;
        TempDir dir;
        Tmux t(inShell("TERM=" + shellQuote(c.term) + " " + host.commandLine({}), dir.path));
        const ShellEnd end = waitShellEnd(t);
        EXPECT_EQ(end.status, 2) << t.screen();
        EXPECT_TRUE(end.ttySame);
        // The screen wraps long lines: compare without the breaks.
        std::string screen = t.screen();
        screen.erase(std::remove(screen.begin(), screen.end(), '\n'), screen.end());
        EXPECT_NE(screen.find(c.message), std::string::npos) << t.screen();
        EXPECT_TRUE(terminalUsable(t));
        EXPECT_TRUE(logEndsWith(host.log(), {"Error: " + c.message, "Exiting with code 2"})) << host.log();
        expectNothingRan(host);
    }
}

TEST(Terminal, SmallestTerminalSizeIsChecked) {
    const struct {
        int cols;
        int rows;
        bool runs;
    } cases[] = {
        {MIN_SCREEN_COLS, MIN_SCREEN_ROWS, true},
        {MIN_SCREEN_COLS - 1, MIN_SCREEN_ROWS, false},
        {MIN_SCREEN_COLS, MIN_SCREEN_ROWS - 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cols) + "x" + std::to_string(c.rows));
        SimHost host;
        TempDir dir;
        Tmux t(inShell(host.commandLine({}), dir.path), c.cols, c.rows);
        if (c.runs) {
            ASSERT_TRUE(t.waitFor("Welcome to Kelvarin Installer!")) << t.screen();
            t.send({"Tab", "Enter"});
            ASSERT_TRUE(t.waitFor("Are you sure you want to cancel?")) << t.screen();
            t.send({"BTab", "Enter"});  // " Yes "
            EXPECT_EQ(waitShellEnd(t).status, 10) << t.screen();
            EXPECT_EQ(host.printk(), kPrintk);
            continue;
        }
        const ShellEnd end = waitShellEnd(t);
        EXPECT_EQ(end.status, 2) << t.screen();
        const std::string message = "The terminal has " + std::to_string(c.cols) + " columns and " +
            std::to_string(c.rows) + " rows; the installer's screens need at least " + std::to_string(MIN_SCREEN_COLS) +
            " columns and " + std::to_string(MIN_SCREEN_ROWS) + " rows.";
        EXPECT_TRUE(logEndsWith(host.log(), {"Error: " + message, "Exiting with code 2"})) << host.log();
        EXPECT_TRUE(terminalUsable(t));
        expectNothingRan(host);
    }
}

// ---- a terminal lost under a run ---------------------------------------------

// Where the run is when its terminal goes: a screen waiting for an answer, or
// a command running.
struct Moment {
    const char* name;
    std::vector<std::string> settings;  // the host's
    std::vector<std::string> env;       // the tools' scenario
    std::vector<Step> steps;            // keys and screens on the way there
    std::string tool;                   // a record that shows the command runs ("" none)
    std::string command;                // the command the log names ("" none)
    int repeats;                        // screens race the hang-up against the failed read
};

const Step kWelcome = {{}, "Welcome to Kelvarin Installer!"};
const Step kLicence = {{"Enter"}, "Decline"};
const Step kAccept = {{"BTab", "Enter"}, ""};

int repeats(int wanted) {
    // Sanitizer stages set fewer rounds; the race itself is caught by the plain build.
    const char* env = std::getenv("KEL_RACE_REPEATS");
    return env ? std::min(wanted, std::max(1, std::atoi(env))) : wanted;
}

const std::vector<Moment>& moments() {
    static const std::vector<Moment> all = {
        {"welcome", {}, {}, {kWelcome}, "", "", 10},
        {"licence", {}, {}, {kWelcome, kLicence}, "", "", 10},
        {"action_list", {"AGENT=yes"}, {}, {kWelcome, {{"Enter"}, "Please select action to perform"}}, "", "", 10},
        {"packages_question", {}, {}, {kWelcome, kLicence, kAccept, {{}, "Component Installation"}}, "", "", 10},
        {"finish",
         {},
         {},
         {kWelcome, kLicence, kAccept, {{}, "Component Installation"}, {{"Enter"}, "we recommend"},
          {{"Enter"}, "Congratulations"}},
         "",
         "",
         3},
        {"probe", {}, {"KEL_DISK_DELAY=60"}, {kWelcome, kLicence, kAccept}, "check_disk_space.sh",
         "./installer/check_disk_space.sh 2>&1", 3},
        {"spinner", {}, {"KEL_PM_DELAY=60"},
         {kWelcome, kLicence, kAccept, {{}, "Component Installation"}, {{"Enter"}, "Please wait while downloading"}},
         "pm.sh", kPmInstall, 3},
        {"progress_scale",
         {"AGENT=yes"},
         {"KEL_CLI_LINES=[ 40%] Unpacking\\n", "KEL_CLI_HOLD=60"},
         {kWelcome, {{"Enter"}, "Please select action to perform"}, {{"Enter"}, "Decline"}, kAccept,
          {{}, "Component Installation"}, {{"Enter"}, "upgrading"}},
         "installer-cli",
         kUpgradeFirstRun,
         3},
    };
    return all;
}

struct Loss {
    const Moment* moment;
    bool hangUpIgnored;
};

void PrintTo(const Loss& loss, std::ostream* os) {
    *os << loss.moment->name << (loss.hangUpIgnored ? ", hang-up ignored" : ", hang-up delivered");
}

std::string lossName(const ::testing::TestParamInfo<Loss>& info) {
    return std::string(info.param.moment->name) + (info.param.hangUpIgnored ? "_HangUpIgnored" : "_HangUpDelivered");
}

std::vector<Loss> losses() {
    std::vector<Loss> out;
    for (const Moment& m : moments())
        for (bool ignored : {false, true})
            out.push_back({&m, ignored});
    return out;
}

class TerminalLost : public ::testing::TestWithParam<Loss> {};

// Calls of a tool so far (the package script's records include --check).
std::size_t calls(const SimHost& host, const std::string& tool) {
    return SimHost::lines(host.state() + "/tools/" + tool + ".calls").size();
}

TEST_P(TerminalLost, IsNeverAnAnswerAndEndsTheRun) {
    const Moment& m = *GetParam().moment;
    // Rounds share a host unless the moment comes after a completed run.
    const bool freshHost = std::string(m.name) == "finish";
    std::optional<SimHost> host;
    for (int round = 0; round < repeats(m.repeats); ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        if (freshHost || !host)
            host.emplace(m.settings);
        TempDir dir;
        const std::string status = dir.path + "/status";
        // The shell that reports the status survives the hang-up; simhost
        // and the installer get it as usual, or ignore it as under nohup.
        const std::vector<std::string> args =
            GetParam().hangUpIgnored ? std::vector<std::string>{"--ignore-signal=HUP", kInstaller}
                                     : std::vector<std::string>{};
        const std::string run = host->commandLine(args, m.env, GetParam().hangUpIgnored ? "env" : kInstaller);
        // The package script's second call of a run installs.
        const std::size_t toolBefore = m.tool.empty() ? 0 : calls(*host, m.tool) + (m.tool == "pm.sh" ? 1 : 0);
        pid_t pid = -1;
        std::size_t pmCalls = 0;
        std::size_t cliCalls = 0;
        {
            Tmux t("trap '' HUP; env --default-signal=HUP " + run + "; echo $? >" + shellQuote(status));
            ASSERT_TRUE(play(t, m.steps)) << t.screen();
            if (!m.tool.empty()) {
                ASSERT_TRUE(pollUntil([&] { return calls(*host, m.tool) > toolBefore; })) << t.screen();
            }
            pid = installerPid(*host);
            ASSERT_GT(pid, 0);
            EXPECT_NE(host->printk(), kPrintk);
            pmCalls = host->pmCalls().size();
            cliCalls = host->cliCalls().size();
        }  // The terminal goes away with its tmux server.
        const auto lost = std::chrono::steady_clock::now();
        EXPECT_TRUE(waitProcessGone(pid, std::chrono::seconds(10)));
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lost).count();
        std::printf("[ ended ] %s%s round %d: %lld ms\n", m.name, GetParam().hangUpIgnored ? " (hang-up ignored)" : "",
                    round + 1, static_cast<long long>(ms));
        // No tool that changes the host started after the loss.
        EXPECT_EQ(host->pmCalls().size(), pmCalls);
        EXPECT_EQ(host->cliCalls().size(), cliCalls);
        EXPECT_TRUE(pollUntil([&] { return !readFile(status).empty(); })) << "no exit status";
        EXPECT_EQ(readFile(status), "129\n");
        EXPECT_EQ(host->printk(), kPrintk);
        std::vector<std::string> tail;
        if (!m.command.empty())
            tail.push_back("Interrupted while running: " + m.command);
        tail.push_back(lostTerminalEntry(host->log()));
        tail.push_back("Exiting with code 129");
        EXPECT_TRUE(logEndsWith(host->log(), tail));
        // No process of the installer is left; tools it left running (they
        // ignore the hang-up too) are the test's to stop.
        EXPECT_EQ(installerPid(*host, std::chrono::milliseconds(200)), -1);
        killHostProcesses(*host);
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, TerminalLost, ::testing::ValuesIn(losses()), lossName);

}  // namespace
