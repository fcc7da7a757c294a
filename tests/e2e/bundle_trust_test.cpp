// The installer on the simulated host runs the bundle's tools only if no one
// but root, or the user who started it through sudo, can change them: a
// bundle that others can change is refused before anything runs, in both
// modes, with the file, who can write it and the fix; shared folders with the
// sticky bit above the bundle (/tmp) and the sudo user's own bundle pass.
// The optional product checks guard their own tools as they start them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "install_texts.h"
#include "simhost.h"
#include "tmux.h"

using namespace kel;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
const std::string kRefusal = "The installer runs the bundle's tools only if no one but root can change them.";
const std::string kUnpack = "To fix it, unpack the bundle as root into a folder that only root can write.";

std::string chmodFix(const std::string& path) {
    return "To fix it, run: chmod go-w " + path + "\nor unpack the bundle as root into a folder that only root can write.";
}

// A copy of the built bundle in a fresh root-owned folder under /tmp, and a
// copy of its installation tool outside it.
struct Bundle {
    TempDir dir;
    std::string root = dir.path + "/bundle";
    std::string outside = dir.path + "/outside";
    Bundle() {
        fs::copy(kBundle, root, fs::copy_options::recursive);
        fs::create_directory(outside);
        fs::copy_file(root + "/installer-cli", outside + "/installer-cli");
    }
    std::string program() const { return root + "/installer/install"; }
};

// The screen as one line of words: a dialog's text wraps where it fits.
std::string words(const std::string& screen) {
    std::string out;
    bool blank = true;
    for (unsigned char c : screen) {
        // Frame characters (UTF-8 line drawing) count as blanks.
        const bool space = std::isspace(c) || c >= 0x80;
        if (space) {
            if (!blank)
                out += ' ';
            blank = true;
        } else {
            out += static_cast<char>(c);
            blank = false;
        }
    }
    return out;
}

bool waitForWords(Tmux& t, const std::string& text) {
    const std::string want = words(text);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        if (contains(words(t.screen()), want))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Records the stand-in tools left on the host: one file per tool that ran.
std::vector<std::string> toolRecords(const SimHost& host) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host.state() + "/tools", ec))
        found.push_back(entry.path().filename().string());
    return found;
}

// Nothing of the bundle ran, and the log holds the refusal and the exit.
void expectRefusedBeforeAnythingRan(const SimHost& host, const std::string& problem) {
    EXPECT_EQ(toolRecords(host), std::vector<std::string>{});
    const std::string log = host.log();
    EXPECT_FALSE(contains(log, "execCmd: ./")) << log;
    EXPECT_FALSE(contains(log, "exec_with_progress:")) << log;
    EXPECT_TRUE(hasInOrder(logMessages(log), {"Error: " + kRefusal, problem.substr(0, problem.find('\n')),
                                              "Exiting with code 1"}));
}

struct Refusal {
    const char* name;
    // Spoils the bundle; returns the problem the installer must report.
    std::function<std::string(const Bundle&)> spoil;
};

const std::vector<Refusal> kRefusals = {
    {"group-writable installation tool",
     [](const Bundle& b) {
         const std::string cli = b.root + "/installer-cli";
         fs::permissions(cli, fs::perms::group_write, fs::perm_options::add);
         return "'" + cli + "' can be written by the group root (0).\n" + chmodFix(cli);
     }},
    {"world-writable installation tool",
     [](const Bundle& b) {
         const std::string cli = b.root + "/installer-cli";
         fs::permissions(cli, fs::perms::others_write, fs::perm_options::add);
         return "'" + cli + "' can be written by every user.\n" + chmodFix(cli);
     }},
    {"world-writable tool folder",
     [](const Bundle& b) {
         const std::string folder = b.root + "/installer";
         fs::permissions(folder, fs::perms::all);
         return "'" + folder + "' can be written by every user.\n" + chmodFix(folder);
     }},
    {"bundle folder of another user",
     [](const Bundle& b) {
         EXPECT_EQ(chown(b.root.c_str(), kNobody, kNobody), 0);
         return "'" + b.root + "' belongs to user nobody (65534).\n" + kUnpack;
     }},
    {"world-writable parent without the sticky bit",
     [](const Bundle& b) {
         fs::permissions(b.dir.path, fs::perms::all);
         return "'" + b.dir.path + "' can be written by every user.\n" + chmodFix(b.dir.path);
     }},
    {"tool linked to a file outside the bundle",
     [](const Bundle& b) {
         const std::string cli = b.root + "/installer-cli";
         fs::remove(cli);
         fs::create_symlink(b.outside + "/installer-cli", cli);
         return "'" + cli + "' is a symbolic link that leads out of the bundle.\n" + kUnpack;
     }},
};

// Not about sudo: whatever the calling shell had, root alone is trusted.
const std::vector<std::string> kNoSudo = {"SUDO_UID="};

TEST(BundleTrust, UnattendedRunRefusesBeforeAnythingRuns) {
    for (const auto& c : kRefusals) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Bundle b;
        const std::string problem = c.spoil(b);
        const RunResult r = host.exec({b.program(), "--install"}, kNoSudo);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, kRefusal + "\n" + problem + "\n");
        expectRefusedBeforeAnythingRan(host, problem);
    }
}

TEST(BundleTrust, FullScreenRunRefusesBeforeAnythingRuns) {
    for (const auto& c : kRefusals) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Bundle b;
        const std::string problem = c.spoil(b);
        Tmux t(host.commandLine({}, kNoSudo, b.program()));
        ASSERT_TRUE(waitForWords(t, kRefusal + " " + problem)) << t.screen();
        EXPECT_TRUE(contains(t.screen(), "Error")) << t.screen();
        EXPECT_FALSE(contains(t.screen(), "Welcome")) << t.screen();
        t.send({"Enter"});
        EXPECT_EQ(t.waitExit(), 1);
        expectRefusedBeforeAnythingRan(host, problem);
    }
}

struct Pass {
    const char* name;
    std::function<void(const Bundle&)> prepare;
    std::vector<std::string> env;
};

const std::vector<Pass> kPasses = {
    {"bundle under /tmp", [](const Bundle&) {}, kNoSudo},
    {"bundle of the sudo user",
     [](const Bundle& b) {
         for (const auto& entry : fs::recursive_directory_iterator(b.root))
             EXPECT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
         EXPECT_EQ(chown(b.root.c_str(), kNobody, kNobody), 0);
     },
     {"SUDO_UID=65534"}},
};

TEST(BundleTrust, TrustedBundlesInstallUnattended) {
    for (const auto& c : kPasses) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Bundle b;
        c.prepare(b);
        const RunResult r = host.exec({b.program(), "--install"}, c.env);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest")});
        EXPECT_TRUE(host.agentInstalled());
        EXPECT_FALSE(contains(host.log(), kRefusal));
    }
}

TEST(BundleTrust, TrustedBundlesInstallInFullScreen) {
    for (const auto& c : kPasses) {
        SCOPED_TRACE(c.name);
        SimHost host;
        Bundle b;
        c.prepare(b);
        // No missing packages: welcome, licence, the run, the finish screen.
        std::vector<std::string> env = c.env;
        env.push_back("KEL_PM_CHECK_OUT=");
        Tmux t(host.commandLine({}, env, b.program()));
        ASSERT_TRUE(t.waitFor("Welcome to Kelvarin Installer!")) << t.screen();
        t.send({"Enter"});
        ASSERT_TRUE(t.waitFor("License Agreement")) << t.screen();
        ASSERT_TRUE(t.waitFor("Decline")) << t.screen();
        t.send({"BTab", "Enter"});
        ASSERT_TRUE(t.waitFor("Kelvarin Installation Completed")) << t.screen();
        t.send({"Enter"});
        EXPECT_EQ(t.waitExit(), 0);
        EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest")});
        EXPECT_TRUE(host.agentInstalled());
    }
}

TEST(BundleTrust, OptionalChecksRefuseToolsOthersCanChange) {
    const struct {
        const char* check;  // screen driver scene
        const char* tool;   // relative to the bundle
        std::vector<std::string> host;
    } cases[] = {
        {"check_hardware_virtualization", "installer/cpu_check", {}},
        {"check_conflicts", "installer/conflict_check", {}},
        {"check_running_halcrest", "InstallationCheck", {"HLC=yes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.check);
        SimHost host(c.host);
        Bundle b;
        const std::string tool = b.root + "/" + c.tool;
        fs::permissions(tool, fs::perms::others_write, fs::perm_options::add);
        const std::string script =
            "cd " + shellQuote(b.root) + " && exec " + shellQuote(kScreenDriver) + " --plain " + c.check;
        const RunResult r = host.exec({"sh", "-c", script}, {"SUDO_UID=", "KEL_LOG=" + kLogPath});
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_EQ(r.err, kRefusal + "\n'" + tool + "' can be written by every user.\n" + chmodFix(tool) + "\n");
        EXPECT_EQ(toolRecords(host), std::vector<std::string>{});
    }
}

}  // namespace
