// Bundle tools that misbehave: NUL bytes, megabytes without a newline,
// binary garbage, progress lines out of range or full of format directives,
// a tool killed after "[100%]", a tool that closes its output and runs on,
// thousands of packages, a huge disk-space message. Whatever they print, the
// installer ends with the right code, its log is complete to the end, and the
// terminal is usable afterwards.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "install_texts.h"
#include "robustness.h"
#include "simhost.h"
#include "tmux.h"

using namespace kel;

namespace {

const std::string kInstallCommand = cliCommand("-i", "Manifest");
const std::string kErrorConfig =
    "Error during configuration Kelvarin. Look at " + kLogPath + " for more information.";

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

// The log of one run is whole: it starts with the start line and its last
// entry is the end the exit code stands for: "Exiting with code N", or for a
// success the status of the installation tool, the last thing run.
::testing::AssertionResult logComplete(const std::string& log, int code) {
    if (log.find("Kelvarin " KEL_VERSION " Installer started.\n") == std::string::npos)
        return ::testing::AssertionFailure() << "no start line";
    const std::string want =
        code == 0 ? "exec_with_progress: " + kInstallCommand + " 0" : "Exiting with code " + std::to_string(code);
    const std::string last = lastLine(log);
    // The stamp may follow a block of output that did not end its line.
    const std::size_t colon = last.find(": " + want);
    if (colon == std::string::npos || colon + 2 + want.size() != last.size())
        return ::testing::AssertionFailure() << "the log ends with \"" << last.substr(0, 300) << "\", not with \""
                                             << want << "\"";
    if (code == 0 && log.find("Exiting with code") != std::string::npos)
        return ::testing::AssertionFailure() << "a successful run logged an exit code";
    return ::testing::AssertionSuccess();
}

std::string packageList(char marker, int n) {
    std::string list;
    for (int i = 1; i <= n; ++i)
        list += std::string(1, marker) + " kel-package-" + std::to_string(i) + "\n";
    return list;
}

struct Case {
    const char* name;
    // Files for the stand-in tools: variable name -> bytes; the variable is
    // set to the file's path.
    std::map<std::string, std::string> files;
    std::vector<std::string> env;
    int code;
    std::vector<std::string> outHas = {};
    std::vector<std::string> errHas = {};
    std::vector<std::string> logHas = {};  // lines, in this order
    bool agentInstalled = false;
};

RunResult runCase(const SimHost& host, const TempDir& dir, const Case& c) {
    std::vector<std::string> env = c.env;
    for (const auto& [var, bytes] : c.files)
        env.push_back(var + "=" + writeBytes(dir.path, var, bytes));
    return host.run({"--install"}, env);
}

TEST(HostileTools, UnattendedRunsEndWithTheirCodeAndACompleteLog) {
    const std::string mb20(20 * 1024 * 1024, 'x');
    const std::string mb1(1024 * 1024, 'd');
    const std::string nulProgress("[ 30%] copy\0ing\n\0\0\0[100%] done\0tail\n", 37);
    const std::string nulList("m kel-runtime\0hidden\no kel-doc\n", 31);
    const std::string nulLeftOut("o kel-doc\0\x01\n", 12);
    const std::string nulDisk("Only 1 MB\0 free\n", 16);
    const std::vector<Case> cases = {
        {"NUL bytes in the progress output", {{"KEL_CLI_OUT_FILE", nulProgress}}, {}, 0, {kFinishInstall},
         {}, {}, true},
        {"NUL bytes in the package lists", {{"KEL_PM_CHECK_OUT_FILE", nulList}, {"KEL_PM_INSTALL_OUT_FILE", nulLeftOut}},
         {}, 0, {recommendation("- kel-doc")}, {}, {"execCmd: ./installer/pm.sh --check kel [0]"}, true},
        {"NUL bytes in the disk-space message", {{"KEL_DISK_OUT_FILE", nulDisk}}, {"KEL_DISK_EXIT=2"}, 10,
         {"Only 1 MB\n"}},
        {"20 MB without a newline from the installation tool", {{"KEL_CLI_OUT_FILE", mb20}}, {}, 0, {kFinishInstall},
         {}, {}, true},
        {"20 MB without a newline as the package list", {{"KEL_PM_CHECK_OUT_FILE", mb20}}, {}, 0, {kFinishInstall},
         {}, {"execCmd: ./installer/pm.sh --check kel [0]"}, true},
        {"binary garbage from every tool",
         {{"KEL_CLI_OUT_FILE", garbage(65536)},
          {"KEL_PM_CHECK_OUT_FILE", garbage(30000)},
          {"KEL_PM_INSTALL_OUT_FILE", garbage(30000)}},
         {}, 0, {kFinishInstall}, {}, {}, true},
        {"binary garbage as the disk-space message", {{"KEL_DISK_OUT_FILE", garbage(8192)}}, {"KEL_DISK_EXIT=2"}, 10},
        {"progress out of range and full of format directives", {},
         {"KEL_CLI_LINES=[999%] over\\n[-50%] under\\n[%n%s%s\\n[ 50%] %n%s%s%n%s\\n[100%] done\\n"}, 0,
         {kFinishInstall}, {}, {}, true},
        {"format directives in a failed package list", {},
         {"KEL_PM_INSTALL_OUT=m %n%s%s\no %d%p\n", "KEL_PM_INSTALL_EXITS=1"}, 1, {},
         {"An error occurred while installing the following packages:\n- %n%s%s\n- %d%p\n\nInstall these"}},
        {"format directives in the packages left out", {}, {"KEL_PM_INSTALL_OUT=o %s%n%s\n"}, 0,
         {recommendation("- %s%n%s\n")}, {}, {}, true},
        {"format directives in the disk-space message", {}, {"KEL_DISK_OUT=%n%s%s %d", "KEL_DISK_EXIT=2"}, 10,
         {"%n%s%s %d\n"}},
        {"tool killed by SIGKILL after [100%]", {}, {"KEL_CLI_LINES=[100%] done\\n", "KEL_CLI_SIGNAL=KILL"}, 1, {},
         {kErrorConfig + "\n"},
         // The shell that ran the tool reports its death as 128 + N.
         {"exec_with_progress: " + kInstallCommand + " 137", "Error: " + kErrorConfig}},
        {"tool killed by SIGSEGV after [100%]", {}, {"KEL_CLI_LINES=[100%] done\\n", "KEL_CLI_SIGNAL=SEGV"}, 1, {},
         {kErrorConfig + "\n"}, {"exec_with_progress: " + kInstallCommand + " 139"}},
        {"tool closes its output and runs on", {}, {"KEL_CLI_LINES=[ 50%] half\\n", "KEL_CLI_CLOSE_HOLD=3"}, 0,
         {kFinishInstall}, {},
         // The installer waited for the tool's end before it judged the run.
         {"installer-cli: ran on for 3 seconds with its output closed", "exec_with_progress: " + kInstallCommand + " 0"},
         true},
        {"5,000 packages to install and left out",
         {{"KEL_PM_CHECK_OUT_FILE", packageList('o', 5000)}, {"KEL_PM_INSTALL_OUT_FILE", packageList('o', 5000)}}, {},
         0, {"we recommend you to install the following packages as well:\n- kel-package-1\n", kFinishInstall}, {},
         {}, true},
        {"5,000 mandatory packages that fail", {{"KEL_PM_INSTALL_OUT_FILE", packageList('m', 5000)}},
         {"KEL_PM_INSTALL_EXITS=1"}, 1, {},
         {"An error occurred while installing the following packages:\n- kel-package-1\n- kel-package-2\n"}},
        {"a disk-space message of 1 MB", {{"KEL_DISK_OUT_FILE", mb1}}, {"KEL_DISK_EXIT=2"}, 10,
         // Cut to 4095 bytes, then the line break.
         {std::string(4095, 'd') + "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        TempDir files;
        const RunResult r = runCase(host, files, c);
        EXPECT_EQ(r.status, c.code) << r.err.substr(0, 2000);
        for (const auto& s : c.outHas)
            EXPECT_TRUE(contains(r.out, s)) << "stdout lacks: " << s.substr(0, 200) << "\n" << r.out.substr(0, 2000);
        for (const auto& s : c.errHas)
            EXPECT_TRUE(contains(r.err, s)) << "stderr lacks: " << s << "\n" << r.err.substr(0, 2000);
        const std::string log = host.log();
        EXPECT_TRUE(logComplete(log, c.code));
        std::size_t at = 0;
        for (const auto& line : c.logHas) {
            at = at == std::string::npos ? at : log.find(line + "\n", at);
            EXPECT_NE(at, std::string::npos) << "log lacks, in order: " << line;
        }
        EXPECT_EQ(host.agentInstalled(), c.agentInstalled);
        killHostProcesses(host);
    }
}

TEST(HostileTools, LongOutputReachesTheLogWholeAndTextsAreCut) {
    // 5,000 packages: the list is logged whole, the recommendation printed
    // is cut like every composed text, at 4095 bytes.
    SimHost host;
    TempDir files;
    const std::string list = packageList('o', 5000);
    const RunResult r = runCase(host, files,
                                {"5,000", {{"KEL_PM_CHECK_OUT_FILE", list}, {"KEL_PM_INSTALL_OUT_FILE", list}}, {}, 0});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::size_t from = r.out.find("Kelvarin was successfully installed");
    const std::size_t to = r.out.find(kFinishInstall);
    ASSERT_NE(from, std::string::npos) << r.out.substr(0, 500);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(to - from, 4095u + 1u);
    const std::string log = host.log();
    EXPECT_TRUE(contains(log, "o kel-package-4999\no kel-package-5000\n"));
    EXPECT_EQ(host.pmCalls().size(), 2u);

    // 1 MB of disk-space message: all of it in the log.
    SimHost disk;
    const std::string mb1(1024 * 1024, 'd');
    const RunResult d = runCase(disk, files, {"1 MB", {{"KEL_DISK_OUT_FILE", mb1}}, {"KEL_DISK_EXIT=2"}, 10});
    ASSERT_EQ(d.status, 10);
    EXPECT_GE(disk.log().size(), mb1.size());
    std::size_t ds = 0;
    for (char ch : disk.log())
        ds += ch == 'd' ? 1 : 0;
    EXPECT_GE(ds, mb1.size());
}

}  // namespace

namespace {

const Screen kWelcome{"Welcome to Kelvarin Installer!", {"Enter"}};
const Screen kLicence{"License Agreement", {"BTab", "Enter"}};
const Screen kPackages{"Component Installation", {"Enter"}};
const Screen kLeftOut{"Components installation", {"Enter"}};
const Screen kFinish{"Kelvarin Installation Completed", {"Enter"}};
const Screen kScale{"installing"};
const Screen kSpinner{"Please wait while downloading is in progress"};
// Cancel, then confirm: " No " has the focus in the confirmation.
const std::vector<std::string> kCancelKeys = {"Tab", "Enter"};
const Screen kConfirmCancel{"Are you sure you want to cancel?", {"BTab", "Enter"}};

struct Road {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> env;
    std::vector<Screen> screens;
    int code;
};

// Plays the road in a shell in a terminal; checks every screen's frame, the
// exit code, the terminal and the console level afterwards, and the log.
void playRoad(const Road& road) {
    SCOPED_TRACE(road.name);
    SimHost host;
    TempDir dir;
    std::vector<std::string> env = road.env;
    for (const auto& [var, bytes] : road.files)
        env.push_back(var + "=" + writeBytes(dir.path, var, bytes));
    Tmux t(inShell(host.commandLine({}, env), dir.path));
    playScreens(t, road.screens, 24);
    if (::testing::Test::HasFatalFailure()) {
        killHostProcesses(host);
        return;
    }
    const ShellEnd end = waitShellEnd(t);
    EXPECT_EQ(end.status, road.code) << t.screen();
    EXPECT_TRUE(end.ttySame);
    EXPECT_TRUE(terminalUsable(t));
    EXPECT_EQ(host.printk(), "4\t4\t1\t7\n");
    EXPECT_TRUE(logComplete(host.log(), road.code));
    killHostProcesses(host);
}

TEST(HostileTools, InteractiveRunsKeepTheirWindowsOnScreen) {
    const std::string garbageList = garbage(30000);
    std::vector<std::string> pageDown = {"BTab"};
    pageDown.insert(pageDown.end(), 30, "PageDown");
    const std::vector<Road> roads = {
        {"binary garbage in the package lists",
         {{"KEL_PM_CHECK_OUT_FILE", garbageList}, {"KEL_PM_INSTALL_OUT_FILE", garbageList}},
         {},
         {kWelcome, kLicence, kPackages, kLeftOut, kFinish},
         0},
        {"progress out of range and full of format directives",
         {},
         {"KEL_CLI_LINES=[999%] over\\n[-50%] under\\n[%n%s%s\\n[ 50%] %n%s%s%n%s\\n", "KEL_CLI_HOLD=2"},
         {kWelcome, kLicence, kPackages, kScale, kLeftOut, kFinish},
         0},
        {"tool killed after [100%]",
         {},
         {"KEL_CLI_LINES=[100%] done\\n", "KEL_CLI_SIGNAL=KILL"},
         {kWelcome, kLicence, kPackages, {"Error during configuration Kelvarin.", {"Enter"}}},
         1},
        {"tool closes its output and runs on",
         {},
         {"KEL_CLI_LINES=[ 50%] half\\n", "KEL_CLI_CLOSE_HOLD=3"},
         {kWelcome, kLicence, kPackages, kScale, kLeftOut, kFinish},
         0},
        {"5,000 packages to install and left out",
         {{"KEL_PM_CHECK_OUT_FILE", packageList('o', 5000)}, {"KEL_PM_INSTALL_OUT_FILE", packageList('o', 5000)}},
         {"KEL_PM_DELAY=2"},
         // The list scrolls to where the question's text was cut.
         {kWelcome, kLicence, {"Component Installation", pageDown, true}, {"- kel-package-229", {"Tab", "Enter"}},
          kSpinner, kLeftOut, kFinish},
         0},
        {"5,000 mandatory packages that fail",
         {{"KEL_PM_INSTALL_OUT_FILE", packageList('m', 5000)}},
         {"KEL_PM_INSTALL_EXITS=1"},
         {kWelcome, kLicence, kPackages, {"An error occurred while installing the following", {"Enter"}}},
         1},
        {"a disk-space message of 1 MB",
         {{"KEL_DISK_OUT_FILE", std::string(1024 * 1024, 'd')}},
         {"KEL_DISK_EXIT=2"},
         {kWelcome, kLicence, {"Not enough disk space", kCancelKeys, true}, kConfirmCancel},
         10},
        {"20 MB without a newline as the package list",
         {{"KEL_PM_CHECK_OUT_FILE", std::string(20 * 1024 * 1024, 'x')}},
         {},
         {kWelcome, kLicence, {"Component Installation", kCancelKeys, true}, kConfirmCancel},
         10},
    };
    for (const Road& road : roads)
        playRoad(road);
}

TEST(HostileTools, UnattendedOutputLeavesTheTerminalUsable) {
    // The disk-space message goes to standard output, a failed package list
    // to standard error: both straight to the terminal.
    struct Case {
        const char* name;
        std::string var;
        std::vector<std::string> env;
        int code;
    };
    const std::vector<Case> cases = {
        {"garbage disk-space message", "KEL_DISK_OUT_FILE", {"KEL_DISK_EXIT=2"}, 10},
        {"garbage list of failed packages", "KEL_PM_INSTALL_OUT_FILE", {"KEL_PM_INSTALL_EXITS=1"}, 1},
        {"garbage list of packages left out", "KEL_PM_INSTALL_OUT_FILE", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        TempDir dir;
        // A list led by 'm' counts as mandatory, so the failure shows it.
        std::vector<std::string> env = c.env;
        env.push_back(c.var + "=" + writeBytes(dir.path, "out", "m kel-runtime\n" + garbage(8192)));
        Tmux t(inShell(host.commandLine({"--install"}, env), dir.path));
        const ShellEnd end = waitShellEnd(t);
        EXPECT_EQ(end.status, c.code) << t.screen();
        EXPECT_TRUE(end.ttySame);
        EXPECT_TRUE(terminalUsable(t));
        EXPECT_TRUE(logComplete(host.log(), c.code));
        killHostProcesses(host);
    }
}

}  // namespace
