// The optional product checks on the simulated host, from the bundle root,
// with the bundle's stand-in probes and the server product's stand-in tools
// (simhost HLC): unattended defaults with --plain, the questions in tmux.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "simhost.h"
#include "tmux.h"

namespace fs = std::filesystem;

namespace {

const std::string kLog = "/var/log/halcrest-kel-agent.log";

// The screen driver started from a bundle root, for sh -c.
std::string sceneScript(const std::vector<std::string>& args, bool plain, const std::string& bundle = kBundle) {
    std::string line = "cd " + shellQuote(bundle) + " && exec " + shellQuote(kScreenDriver);
    if (plain)
        line += " --plain";
    for (const auto& a : args)
        line += " " + shellQuote(a);
    return line;
}

std::vector<std::string> withLog(std::vector<std::string> env) {
    env.push_back("KEL_LOG=" + kLog);
    return env;
}

RunResult plainScene(const SimHost& host, const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                     const std::string& bundle = kBundle) {
    return host.exec({"sh", "-c", sceneScript(args, true, bundle)}, withLog(env));
}

// What a scene run in tmux reports is written to a file in the host's state dir.
std::string reportPath(const SimHost& host) {
    return host.state() + "/scene.report";
}

std::string tmuxScene(const SimHost& host, const std::vector<std::string>& args,
                      std::vector<std::string> env = {}, const std::string& bundle = kBundle) {
    env.push_back("KEL_SCENE_REPORT=" + reportPath(host));
    return host.commandLine({"-c", sceneScript(args, false, bundle)}, withLog(env), "sh");
}

std::vector<std::string> records(const SimHost& host, const std::string& tool) {
    return SimHost::lines(host.state() + "/tools/" + tool + ".calls");
}

bool logHas(const SimHost& host, const std::string& line) {
    for (const auto& l : logMessages(host.log()))
        if (l == line)
            return true;
    return false;
}

// A copy of the bundle without some of its tools.
struct BundleWithout {
    TempDir dir;
    std::string root;
    explicit BundleWithout(const std::vector<std::string>& removed) : root(dir.path + "/bundle") {
        fs::copy(kBundle, root, fs::copy_options::recursive);
        for (const auto& r : removed)
            fs::remove(root + "/" + r);
    }
};

using Strings = std::vector<std::string>;

// Sends keys; with confirm keys, waits for the cancel confirmation and answers it.
void answer(Tmux& term, const Strings& keys, const Strings& confirm = {}) {
    term.send(keys);
    if (confirm.empty())
        return;
    ASSERT_TRUE(term.waitFor("Are you sure you want to cancel?")) << term.screen();
    term.send(confirm);
}

// Polls pred for a bounded time.
template <typename Pred>
bool waitUntil(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The confirmation's focus is on " No "; " Yes " is before it.
const Strings kConfirmYes = {"BTab", "Enter"};

// ---- the running server product ---------------------------------------------------

TEST(RunningServerProduct, UnattendedRunsGoOnAndStopTheService) {
    const struct {
        const char* name;
        const char* hlc;
        const char* exits;
        int result;
        Strings hlcCalls;
        size_t probeRuns;
    } cases[] = {
        {"not installed: nothing is run", "no", "0", 0, {}, 0},
        {"installed, not running", "yes", "0", 0, {"halcrest-server stop"}, 1},
        {"running (112): shut down", "yes", "112", 0, {"hlcsrvctl shutdown --force", "halcrest-server stop"}, 1},
        {"running (113): shut down", "yes", "113", 0, {"hlcsrvctl shutdown --force", "halcrest-server stop"}, 1},
        {"probe failed: gives up at once", "yes", "7", 1, {"halcrest-server stop"}, 1},
        {"probe cannot start its work", "yes", "127", 1, {"halcrest-server stop"}, 1},
        {"running, without the control tool and init script", "ctl", "112", 0, {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host({std::string("HLC=") + c.hlc});
        const RunResult r = plainScene(host, {"check_running_halcrest"}, {std::string("KEL_INSTCHECK_EXITS=") + c.exits});
        EXPECT_EQ(r.status, c.result) << r.out << r.err;
        EXPECT_EQ(SimHost::lines(host.state() + "/tools/hlc.calls"), c.hlcCalls);
        EXPECT_EQ(records(host, "InstallationCheck").size(), c.probeRuns);
        EXPECT_EQ(logHas(host, "The file /usr/bin/hlcctl cannot be found."), std::string(c.hlc) == "no")
            << host.log();
    }
}

TEST(RunningServerProduct, WarningNamesTheActionTwiceAndCancelEnds) {
    const struct {
        const char* name;
        const char* action;
        const char* gerund;
        Strings keys;
        Strings confirm;
        int status;
        Strings hlcCalls;
    } cases[] = {
        {"upgrade, go on", "upgrade", "upgrading", {"Enter"}, {}, 0,
         {"hlcsrvctl shutdown --force", "halcrest-server stop"}},
        {"install, cancel confirmed", "install", "installing", {"Tab", "Enter"}, kConfirmYes, 10, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host({"HLC=yes"});
        Tmux term(tmuxScene(host, {"check_running_halcrest", c.action}, {"KEL_INSTCHECK_EXITS=113"}));
        ASSERT_TRUE(term.waitFor("Warning"));
        ASSERT_TRUE(term.waitFor(std::string("You are about to start ") + c.gerund)) << term.screen();
        ASSERT_TRUE(term.waitFor(std::string("proceed to ") + c.gerund + "?")) << term.screen();
        answer(term, c.keys, c.confirm);
        EXPECT_EQ(term.waitExit(), c.status) << term.screen();
        EXPECT_EQ(SimHost::lines(host.state() + "/tools/hlc.calls"), c.hlcCalls);
    }
}

TEST(RunningServerProduct, FailedProbeOffersRetryWithItsOutput) {
    const struct {
        const char* name;
        const char* exits;
        const char* outs;
        bool secondQuestion;  // cancelled there
        int status;
        size_t probeRuns;
    } cases[] = {
        {"retry, then the probe passes", "9 0", "probe: lock held by pid 42", false, 0, 2},
        // The second run prints nothing: the first run's text stays on show.
        {"retry, then cancel", "9", "probe: lock held by pid 42;", true, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host({"HLC=yes"});
        Tmux term(tmuxScene(host, {"check_running_halcrest"},
                            {std::string("KEL_INSTCHECK_EXITS=") + c.exits, std::string("KEL_INSTCHECK_OUTS=") + c.outs}));
        ASSERT_TRUE(term.waitFor("probe: lock held by pid 42")) << term.screen();
        EXPECT_NE(term.screen().find("Retry"), std::string::npos);
        term.send({"Enter"});  // Retry has the focus
        if (c.secondQuestion) {
            ASSERT_TRUE(waitUntil([&] { return records(host, "InstallationCheck").size() == 2; }));
            ASSERT_TRUE(term.waitFor("Retry")) << term.screen();
            ASSERT_TRUE(term.waitFor("probe: lock held by pid 42")) << term.screen();
            answer(term, {"Tab", "Enter"}, kConfirmYes);
        }
        EXPECT_EQ(term.waitExit(), c.status) << term.screen();
        EXPECT_EQ(records(host, "InstallationCheck").size(), c.probeRuns);
        EXPECT_EQ(SimHost::lines(host.state() + "/tools/hlc.calls"), Strings{"halcrest-server stop"});
    }
}

// ---- processor probes ---------------------------------------------------------------

TEST(ProcessorProbes, HardwareVirtualizationIsTheProbesStatus) {
    BundleWithout noProbe({"installer/cpu_check"});
    const struct {
        const char* name;
        std::string bundle;
        const char* exitCode;
        int result;
        const char* logged;
    } cases[] = {
        {"probe agrees", kBundle, "0", 0, "check_hardware_virtualization: ./installer/cpu_check return 0"},
        {"probe refuses", kBundle, "3", 3, "check_hardware_virtualization: ./installer/cpu_check return 3"},
        {"no probe in the bundle", noProbe.root, "3", 0, "check_hardware_virtualization: (not found) return 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        const RunResult r = plainScene(host, {"check_hardware_virtualization"},
                                       {std::string("KEL_CPU_CHECK_EXIT=") + c.exitCode}, c.bundle);
        EXPECT_EQ(r.status, c.result) << r.out << r.err;
        EXPECT_TRUE(logHas(host, c.logged)) << host.log();
    }
}

TEST(ProcessorProbes, LongModeFlagOfThisMachine) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    bool lm = false;
    std::string line;
    const std::regex flags(R"(^flags\b.*\blm\b.*)");
    while (std::getline(cpuinfo, line))
        lm = lm || std::regex_match(line, flags);
    SimHost host;
    const RunResult r = plainScene(host, {"check_cpu_amd64"});
    EXPECT_EQ(r.status, lm ? 1 : 0) << r.out << r.err;
    EXPECT_TRUE(logHas(host, std::string("execCmd: grep -qs '^flags\\>.*\\<lm\\>' /proc/cpuinfo [") + (lm ? "0" : "1") +
                                 "]"))
        << host.log();
}

TEST(ProcessorProbes, FileExistsMeansReadableByThisProcess) {
    TempDir t;
    fs::permissions(t.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    writeFile(t.path + "/open", "x", 0644);
    writeFile(t.path + "/closed", "x", 0600);
    const struct {
        const char* name;
        std::string path;
        bool asNobody;
        int result;
    } cases[] = {
        {"readable", t.path + "/open", false, 0},
        {"missing", t.path + "/missing", false, 1},
        {"readable by others", t.path + "/open", true, 0},
        {"not readable by this process", t.path + "/closed", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv;
        if (c.asNobody)
            argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        argv.insert(argv.end(), {kScreenDriver, "--plain", "file_exists", c.path});
        const RunResult r = runProcess(argv);
        EXPECT_EQ(r.status, c.result) << r.out << r.err;
    }
}

// ---- conflicting products --------------------------------------------------------------

TEST(Conflicts, UnattendedRunsSkipEveryConflict) {
    BundleWithout noProbe({"installer/conflict_check"});
    const struct {
        const char* name;
        std::string bundle;
        const char* exitCode;
        int result;
        const char* logged;
    } cases[] = {
        {"no conflict", kBundle, "0", 0, "check conflict products: ./installer/conflict_check return 0"},
        {"conflicting installation skipped", kBundle, "1", 0,
         "check conflict products: ./installer/conflict_check return 0"},
        {"old desktop product skipped", kBundle, "2", 0, "check conflict products: ./installer/conflict_check return 0"},
        {"other status returned unasked", kBundle, "3", 3,
         "check conflict products: ./installer/conflict_check return 3"},
        {"no probe in the bundle", noProbe.root, "1", 0, "check conflict products: (not found) return 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        const RunResult r = plainScene(host, {"check_conflicts"},
                                       {std::string("KEL_CONFLICT_EXIT=") + c.exitCode, "KEL_CONFLICT_OUT=conflict"},
                                       c.bundle);
        EXPECT_EQ(r.status, c.result) << r.out << r.err;
        EXPECT_NE(r.out.find("action=1\n"), std::string::npos) << r.out;
        EXPECT_TRUE(logHas(host, c.logged)) << host.log();
        EXPECT_TRUE(host.cliCalls().empty());
        EXPECT_TRUE(records(host, "hk_remove").empty());
    }
}

TEST(Conflicts, NextRemovesTheConflictSkipLeavesItCancelEnds) {
    const struct {
        const char* name;
        const char* exitCode;
        Strings keys;
        int status;
        size_t cliRuns;
        size_t hkRuns;
        const char* logged;  // nullptr: no end-of-check line (the process ended)
    } cases[] = {
        {"conflicting installation, Next", "1", {"Enter"}, 0, 1, 0,
         "check conflict products: ./installer/conflict_check return 0"},
        {"conflicting installation, Skip", "1", {"Tab", "Enter"}, 0, 0, 0,
         "check conflict products: ./installer/conflict_check return 0"},
        {"old desktop product, Next", "2", {"Enter"}, 0, 0, 1, "check conflict products: ./installer/hk_remove return 0"},
        {"old desktop product, Skip", "2", {"Tab", "Enter"}, 0, 0, 0,
         "check conflict products: ./installer/conflict_check return 0"},
        {"Cancel ends at once", "1", {"Tab", "Tab", "Enter"}, 10, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Tmux term(tmuxScene(host, {"check_conflicts"},
                            {std::string("KEL_CONFLICT_EXIT=") + c.exitCode,
                             "KEL_CONFLICT_OUT=Halcrest Desktop 1.0 must go first."}));
        ASSERT_TRUE(term.waitFor("Kelvarin Installer")) << term.screen();
        ASSERT_TRUE(term.waitFor("Halcrest Desktop 1.0 must go first.")) << term.screen();
        term.send(c.keys);
        EXPECT_EQ(term.waitExit(), c.status) << term.screen();
        EXPECT_EQ(term.screen().find("Are you sure"), std::string::npos);
        // The action is back at installing after a removal.
        EXPECT_EQ(readFile(reportPath(host)), c.status == 0 ? "action=1\n" : "");
        EXPECT_EQ(host.cliCalls().size(), c.cliRuns);
        if (c.cliRuns) {
            EXPECT_TRUE(std::regex_search(host.cliCalls()[0], std::regex(R"((^| )-e Manifest$)")))
                << host.cliCalls()[0];
        }
        EXPECT_EQ(records(host, "hk_remove").size(), c.hkRuns);
        if (c.logged) {
            EXPECT_TRUE(logHas(host, c.logged)) << host.log();
        } else {
            EXPECT_TRUE(logHas(host, "Exiting with code 10")) << host.log();
        }
    }
}

TEST(Conflicts, OldDesktopProductWithoutItsRemoverIsFatal) {
    BundleWithout noRemover({"installer/hk_remove"});
    SimHost host;
    Tmux term(tmuxScene(host, {"check_conflicts"}, {"KEL_CONFLICT_EXIT=2", "KEL_CONFLICT_OUT=Old desktop product found."},
                        noRemover.root));
    ASSERT_TRUE(term.waitFor("Old desktop product found.")) << term.screen();
    term.send({"Enter"});
    ASSERT_TRUE(term.waitFor("Error while removing Halcrest Workstation 2.2.")) << term.screen();
    term.send({"Enter"});
    EXPECT_EQ(term.waitExit(), 1);
    EXPECT_TRUE(logHas(host, "Error: Error while removing Halcrest Workstation 2.2.")) << host.log();
}

// ---- Xen ------------------------------------------------------------------------------------

TEST(XenQuestion, ScopeChoices) {
    const struct {
        const char* name;
        Strings keys;
        Strings confirm;
        int status;
        const char* report;
    } cases[] = {
        {"the entire server is preselected", {"Enter"}, {}, 0, "asked\nis_xen=0\n"},
        {"Xen virtual machines only", {"Down", "Enter"}, {}, 0, "asked\nis_xen=1\n"},
        {"Cancel, confirmed", {"Tab", "Tab", "Enter"}, kConfirmYes, 10, "asked\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Tmux term(tmuxScene(host, {"ask_xen_installation"}));
        ASSERT_TRUE(term.waitFor("The installer has detected the Xen virtualization layer")) << term.screen();
        EXPECT_NE(term.screen().find("Xen Virtualization Layer Detected"), std::string::npos) << term.screen();
        ASSERT_TRUE(term.waitFor("Migrate Xen virtual machines only")) << term.screen();
        EXPECT_NE(term.screen().find("Migrate the entire server"), std::string::npos);
        answer(term, c.keys, c.confirm);
        EXPECT_EQ(term.waitExit(), c.status) << term.screen();
        EXPECT_EQ(readFile(reportPath(host)), c.report);
    }
}

TEST(XenQuestion, UnattendedMigratesTheEntireServer) {
    SimHost host;
    const RunResult r = plainScene(host, {"ask_xen_installation"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "RESULT 0\nasked\nis_xen=0\n");
}

}  // namespace
