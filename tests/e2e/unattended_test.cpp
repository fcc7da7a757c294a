// Unattended runs of the real installer on the simulated host: the
// installation tool's runs per action, the host refusals with their texts
// and exit codes, the package-manager script's protocol, and the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install_texts.h"
#include "simhost.h"

namespace fs = std::filesystem;
using namespace kel;

namespace {

const std::string kStartLine = "Kelvarin " KEL_VERSION " Installer started.";

// A copy of the built bundle that a test may change.
struct BundleCopy {
    TempDir dir;
    std::string root = dir.path + "/bundle";
    BundleCopy() { fs::copy(kBundle, root, fs::copy_options::recursive); }
    std::string installer() const { return root + "/installer/install"; }
};

// ---- installation, upgrade, removal ----------------------------------------

TEST(Unattended, InstallRunsTheToolOnceWithItsExactFields) {
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "-f" : "no -f");
        SimHost host;
        std::vector<std::string> args = {"--install"};
        if (force)
            args.push_back("-f");
        const RunResult r = host.run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, kWaitInstall + recommendation(kDefaultLeftOut) + kFinishInstall);
        EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest", force)});
        EXPECT_EQ(host.pmCalls(), (std::vector<std::string>{"--check kel", "--install kel --logfile " + kLogPath}));
        EXPECT_TRUE(host.agentInstalled());

        const auto log = logMessages(host.log());
        EXPECT_TRUE(hasInOrder(log, {
                                        kStartLine,
                                        "Unattended install mode.",
                                        "execCmd: ./installer/check_selinux.sh 2>&1 [1]",
                                        "execCmd: ./installer/check_disk_space.sh 2>&1 [0]",
                                        "execCmd: rpm -qf /etc/corvane-release 2>&1 [0]",
                                        "execCmd: rpm -qf --qf '%{version}.%{release}' /etc/corvane-release [0]",
                                        "execCmd: uname -r [0]",
                                        "execCmd: file -L /usr/share/durureveror/durureveror.so.0 2>/dev/null | "
                                        "grep -q 'ELF 64-bit LSB shared object' [1]",
                                        "execCmd: ./installer/pm.sh --check kel [0]",
                                        "execCmd: ./installer/pm.sh --install kel --logfile " + kLogPath + " [0]",
                                        "exec_with_progress: " + cliCommand("-i", "Manifest", force) + " 0",
                                    }));
        // The kernel query's format holds a line break, so its entry spans two lines.
        EXPECT_TRUE(hasInOrder(log, {"execCmd: rpm -q --qf '%{version}.%{release}",
                                     "' --whatprovides cvkernel [0]"}));
        // A complete run ends without an exit line; the tool's own lines come last.
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "exec_with_progress: " + cliCommand("-i", "Manifest", force) + " 0");
        for (const auto& line : log)
            EXPECT_EQ(line.rfind("Exiting with code", 0), std::string::npos) << line;
    }
}

TEST(Unattended, InstallOverAnInstalledAgentUpgradesInTwoRuns) {
    SimHost host({"AGENT=yes"});
    const RunResult r = host.run({"--install"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kWaitUpgrade + recommendation(kDefaultLeftOut) + kFinishUpgrade);
    EXPECT_EQ(host.cliCalls(), (std::vector<std::string>{cliArgs("-e --skip-sections config " + kAgentManifest),
                                                         cliArgs("-i Manifest")}));
    EXPECT_EQ(host.pmCalls().size(), 2u);
    EXPECT_TRUE(host.agentInstalled());
    EXPECT_TRUE(hasInOrder(logMessages(host.log()),
                           {"exec_with_progress: " + cliCommand("-e --skip-sections config", kAgentManifest) + " 0",
                            "exec_with_progress: " + cliCommand("-i", "Manifest") + " 0"}));
}

TEST(Unattended, RemoveRunsOnlyTheToolsRemoval) {
    // Without a licence file: a removal never looks for it.
    BundleCopy bundle;
    fs::remove(bundle.root + "/LICENSE");
    SimHost host({"AGENT=yes"});
    const RunResult r = host.exec({bundle.installer(), "--remove"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kWaitRemove + kFinishRemove);
    EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-e " + kAgentManifest)});
    EXPECT_TRUE(host.pmCalls().empty());
    EXPECT_FALSE(host.agentInstalled());
    const std::string log = host.log();
    for (const char* probe : {"check_selinux", "check_disk_space", "execCmd: rpm ", "execCmd: uname", "durureveror"})
        EXPECT_FALSE(contains(log, probe)) << probe;
    EXPECT_TRUE(hasInOrder(logMessages(log), {kStartLine, "Unattended install mode.",
                                              "exec_with_progress: " + cliCommand("-e", kAgentManifest) + " 0"}));

    // The same bundle cannot install: the licence must exist for that.
    const RunResult install = host.exec({bundle.installer(), "--install"});
    EXPECT_EQ(install.status, 1);
    EXPECT_EQ(install.err, "License agreement file 'LICENSE' cannot be found\n");
}

TEST(Unattended, RemoveWithoutAnAgentIsRefused) {
    SimHost host;
    const RunResult r = host.run({"--remove"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Kelvarin is not installed\n");
    EXPECT_TRUE(host.cliCalls().empty());
    const auto log = logMessages(host.log());
    EXPECT_TRUE(hasInOrder(log, {"Unattended install mode.", "Error: Kelvarin is not installed", "Exiting with code 1"}));
}

TEST(Unattended, FindsItsBundleThroughARelativePathAndASymbolicLink) {
    TempDir elsewhere;
    const std::string link = elsewhere.path + "/kel-install";
    fs::create_symlink(kInstaller, link);
    const fs::path bundle(kBundle);
    const std::vector<std::pair<std::string, std::vector<std::string>>> starts = {
        {"relative path", {"sh", "-c", "cd \"$0\" && exec ./" + bundle.filename().string() + "/installer/install --remove",
                           bundle.parent_path().string()}},
        {"symbolic link", {"sh", "-c", "cd / && exec \"$0\" --remove", link}},
        {"relative symbolic link", {"sh", "-c", "cd \"$0\" && exec ./kel-install --remove", elsewhere.path}},
    };
    for (const auto& [how, command] : starts) {
        SCOPED_TRACE(how);
        SimHost host;
        const RunResult r = host.exec(command);
        // Past the bundle check, which only passes from the bundle root.
        EXPECT_EQ(r.err, "Kelvarin is not installed\n");
        EXPECT_EQ(r.status, 1);
    }
}

// ---- refusals of the host checks --------------------------------------------

TEST(Unattended, MissingInstallationToolIsFatalBeforeTheActionQuestion) {
    BundleCopy bundle;
    fs::remove(bundle.root + "/installer-cli");
    for (const char* mode : {"--install", "--remove"}) {
        SCOPED_TRACE(mode);
        SimHost host({"AGENT=yes"});
        const RunResult r = host.exec({bundle.installer(), mode});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "An error occurred when checking archives: \nfile 'installer-cli': No such file or directory\n");
        EXPECT_TRUE(host.cliCalls().empty());
        EXPECT_TRUE(host.agentInstalled());
    }
}

struct DiskCase {
    std::string name;
    std::vector<std::string> env;
    int status;
    std::string out;
};

TEST(Unattended, DiskSpaceShortageEndsWithTenAndTheProbesText) {
    const std::string longText(5000, 'x');
    const std::vector<DiskCase> cases = {
        {"probe text", {"KEL_DISK_EXIT=2", "KEL_DISK_OUT=Only 12 MB free in /usr, 300 MB needed."}, 10,
         "Only 12 MB free in /usr, 300 MB needed.\n"},
        {"probe silent", {"KEL_DISK_EXIT=2"}, 10, "There is not enough space on the disk.\n"},
        {"cut at 4095", {"KEL_DISK_EXIT=2", "KEL_DISK_OUT=" + longText}, 10, longText.substr(0, 4095) + "\n"},
        {"probe fails otherwise", {"KEL_DISK_EXIT=1", "KEL_DISK_OUT=df: no such file"}, 0,
         kWaitInstall + recommendation(kDefaultLeftOut) + kFinishInstall},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        const RunResult r = host.run({"--install"}, c.env);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(host.cliCalls().size(), c.status == 0 ? 1u : 0u);
        if (c.status == 10) {
            EXPECT_EQ(logMessages(host.log()).back(), "Exiting with code 10");
        }
    }
}

TEST(Unattended, MissingDiskProbeIsNoObjection) {
    BundleCopy bundle;
    fs::remove(bundle.root + "/installer/check_disk_space.sh");
    SimHost host;
    const RunResult r = host.exec({bundle.installer(), "--install"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(host.cliCalls().size(), 1u);
}

struct HostCase {
    std::vector<std::string> settings;
    int result;  // of the platform check: 0 to 4
};

const char* const kPlatformMessages[] = {
    nullptr,
    "Installation can not be continued.\nThere is no Corvane Virozevovo installed on the system.",
    "Installation can not be continued.\nThe currently installed QC verion is not supported by the Corvane agent.\n"
    "Please update QC Linux to the version 4.0.0-464 or later,\nwith HQC Linux kernel version 2.6.18-028stab060.1 "
    "or later,\nand start the installation again.",
    "Installation can not be continued.\nThe currently installed kernels are not supported by the Corvane agent.\n"
    "Please update QC Linux kernel (cvkernel) to the version 2.6.18-028stab060.1 or later,\nreboot into it and "
    "start the installation again.",
    "Installation can not be continued.\nThe currently loaded kernel is not supported by the Corvane agent.\n"
    "Reboot into kernel 2.6.18-028stab060.1 or later and start the installation again.",
};

void expectPlatformResult(const SimHost& host, const RunResult& r, int result) {
    if (result == 0) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(host.cliCalls().size(), 1u);
        return;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(kPlatformMessages[result]) + "\n");
    EXPECT_TRUE(host.cliCalls().empty());
    EXPECT_TRUE(hasInOrder(logMessages(host.log()), {"Error: Installation can not be continued.", "Exiting with code 1"}));
}

TEST(Unattended, PlatformAndKernelsAgainstTheMinimums) {
    const std::vector<HostCase> cases = {
        {{}, 0},
        {{"PLATFORM=none"}, 1},
        {{"PLATFORM=unowned"}, 1},
        {{"PLATFORM=4.0.0-463"}, 2},
        {{"PLATFORM=3.9.9-999"}, 2},
        {{"PLATFORM=4.0.1-1"}, 0},
        {{"KERNELS="}, 3},
        {{"KERNELS=3.10.0-327.36.1.el7"}, 3},
        {{"KERNELS=2.6.18-028stab059.1"}, 3},
        {{"KERNELS=2.6.18-028stab059.1 2.6.18-028stab060.1"}, 0},
        {{"RUNNING=2.6.18-028stab060"}, 4},
        {{"RUNNING=3.10.0-327.el7.x86_64"}, 4},
        {{"RUNNING=2.6.18-028stab060.1.el5"}, 0},
        // Installed kernels are judged before the running one.
        {{"KERNELS=", "RUNNING=3.10.0"}, 3},
        // A release file of another package: neither version nor kernels matter.
        {{"PLATFORM=other:hq-base-1.0-1", "KERNELS=", "RUNNING=1.0"}, 0},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const auto& s : c.settings)
            name += s + " ";
        SCOPED_TRACE(name);
        SimHost host(c.settings);
        expectPlatformResult(host, host.run({"--install"}), c.result);
    }
}

// A query that exits with 0 but prints nothing is judged on what the query
// before it left in the capture. The stand-ins are mounted over the real
// programs inside the host's namespace, for this run only: the installer
// finds its commands through a fixed PATH.
TEST(Unattended, QueryThatPrintsNothingIsJudgedOnTheEarlierText) {
    TempDir wrap;
    writeFile(wrap.path + "/rpm",
              "#!/bin/sh\n"
              "# Prints nothing for the one query in $KEL_QUIET.\n"
              "[ \"$*\" = \"$KEL_QUIET\" ] && exit 0\n"
              "exec \"$KEL_WRAP/rpm.real\" \"$@\"\n",
              0755);
    writeFile(wrap.path + "/uname",
              "#!/bin/sh\n"
              "[ \"uname $*\" = \"$KEL_QUIET\" ] && exit 0\n"
              "exec \"$KEL_WRAP/uname.real\" \"$@\"\n",
              0755);
    // Each stand-in goes over the program found through the installer's
    // PATH; the program itself (for uname, simhost's shim) is kept beside it.
    const std::string mountAndRun =
        "for p in rpm uname; do real=$(PATH=/usr/sbin:/usr/bin:/sbin:/bin command -v $p) && "
        "cp \"$real\" \"$KEL_WRAP/$p.real\" && mount --bind \"$KEL_WRAP/$p\" \"$real\" || exit 125; done; "
        "exec \"$0\" --install";
    const std::vector<std::pair<std::string, int>> cases = {
        {"-qf /etc/corvane-release", 0},  // no owner named: accepted
        {"-qf --qf %{version}.%{release} /etc/corvane-release", 2},
        {"-q --qf %{version}.%{release}\n --whatprovides cvkernel", 3},
        {"uname -r", 4},
    };
    for (const auto& [query, result] : cases) {
        SCOPED_TRACE(query);
        SimHost host;
        const RunResult r =
            host.exec({"sh", "-c", mountAndRun, kInstaller}, {"KEL_WRAP=" + wrap.path, "KEL_QUIET=" + query});
        expectPlatformResult(host, r, result);
    }
}

TEST(Unattended, MigrationLibraryOf64BitsIsRefused) {
    const std::vector<std::pair<std::string, int>> cases = {{"MIGLIB=64", 1}, {"MIGLIB=32", 0}, {"MIGLIB=none", 0}};
    for (const auto& [setting, status] : cases) {
        SCOPED_TRACE(setting);
        SimHost host({setting});
        const RunResult r = host.run({"--install"});
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.err, status ? "Installation can not be continued.\nYou have incompatible 64-bit libcvnbdmig "
                                  "library installed already.\n"
                                : "");
        EXPECT_EQ(host.cliCalls().size(), status ? 0u : 1u);
    }
}

TEST(Unattended, SelinuxGoesOnWithoutAWord) {
    SimHost host;
    const RunResult r = host.run({"--install"}, {"KEL_SELINUX_EXIT=0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kWaitInstall + recommendation(kDefaultLeftOut) + kFinishInstall);
    EXPECT_TRUE(contains(host.log(), "execCmd: ./installer/check_selinux.sh 2>&1 [0]"));
}

// ---- required packages ----------------------------------------------------------

struct PackageCase {
    std::string name;
    std::vector<std::string> env;
    int status;
    std::string out;  // after the waiting line; the whole output when status != 0
    std::string err;
    size_t installCalls;
};

TEST(Unattended, PackageScriptProtocol) {
    const std::string listError = "An error occurred while installing the following packages:\n";
    const std::string listErrorEnd = "\nInstall these packages manually and start the Kelvarin installation again.\n";
    const std::string unknown = "An unknown error occurred while installing the required packages.\n";
    const std::vector<PackageCase> cases = {
        {"nothing to install", {"KEL_PM_CHECK_OUT="}, 0, kFinishInstall, "", 0},
        {"only blanks", {"KEL_PM_CHECK_OUT= \n \n"}, 0, kFinishInstall, "", 0},
        {"installed, nothing left out", {"KEL_PM_CHECK_OUT=o foo\n", "KEL_PM_INSTALL_OUT="}, 0, kFinishInstall, "", 1},
        {"optional left out", {"KEL_PM_CHECK_OUT=o foo\n", "KEL_PM_INSTALL_OUT=o bar\n"}, 0,
         recommendation("- bar\n") + kFinishInstall, "", 1},
        {"format characters in names", {"KEL_PM_CHECK_OUT=m foo%s%n\n", "KEL_PM_INSTALL_OUT=o bar%s%n%x\n"}, 0,
         recommendation("- bar%s%n%x\n") + kFinishInstall, "", 1},
        {"no package manager, mandatory first", {"KEL_PM_CHECK_EXIT=124", "KEL_PM_CHECK_OUT=m foo\no bar%n\n"}, 1, "",
         "Installer cannot detect package manager on your system. Install the following packages and rerun Kelvarin "
         "installation:\n- foo\n- bar%n\n\n",
         0},
        {"no package manager, optional first", {"KEL_PM_CHECK_EXIT=124", "KEL_PM_CHECK_OUT=o bar\nm foo\n"}, 0,
         kFinishInstall, "", 0},
        {"check fails", {"KEL_PM_CHECK_EXIT=3"}, 1, "",
         "Unable to identify the missing components. Please contact the Corvane support team for assistance.\n", 0},
        {"busy four times", {"KEL_PM_INSTALL_EXITS=123 123 123 123 0"}, 0,
         recommendation(kDefaultLeftOut) + kFinishInstall, "", 5},
        {"busy five times", {"KEL_PM_INSTALL_EXITS=123", "KEL_PM_INSTALL_OUT=m foo\n"}, 1, "",
         listError + "- foo\n" + listErrorEnd, 5},
        {"busy five times, nothing mandatory", {"KEL_PM_INSTALL_EXITS=123"}, 1, "", unknown, 5},
        {"failure lists with dashes", {"KEL_PM_INSTALL_EXITS=2", "KEL_PM_INSTALL_OUT=m foo\no bar%s\n"}, 1, "",
         listError + "- foo\n- bar%s\n" + listErrorEnd, 1},
        {"failure, optional first", {"KEL_PM_INSTALL_EXITS=2", "KEL_PM_INSTALL_OUT=o bar\nm foo\n"}, 1, "", unknown, 1},
        {"failure, silent", {"KEL_PM_INSTALL_EXITS=2", "KEL_PM_INSTALL_OUT="}, 1, "", unknown, 1},
        // A busy attempt's list says nothing about the attempt that succeeded.
        {"list of a busy attempt", {"KEL_PM_INSTALL_EXITS=123 0", "KEL_PM_BUSY_OUT=m foo\n", "KEL_PM_INSTALL_OUT="},
         0, kFinishInstall, "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host;
        const RunResult r = host.run({"--install"}, c.env);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        const auto calls = host.pmCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0], "--check kel");
        EXPECT_EQ(calls.size() - 1, c.installCalls);
        if (c.status == 0) {
            EXPECT_EQ(r.out, kWaitInstall + c.out);
            EXPECT_EQ(host.cliCalls().size(), 1u);
        } else {
            // The waiting line comes first; the tool never runs.
            EXPECT_EQ(r.out, kWaitInstall);
            EXPECT_TRUE(host.cliCalls().empty());
            EXPECT_EQ(logMessages(host.log()).back(), "Exiting with code 1");
        }
    }
}

// ---- the installation tool ------------------------------------------------------

TEST(Unattended, ToolFailureIsFatalAndPointsToTheLog) {
    struct Case {
        std::string name;
        std::vector<std::string> settings;
        std::string out;
        size_t calls;
    };
    const std::vector<Case> cases = {
        {"install", {}, kWaitInstall, 1},
        // The second run of an upgrade never starts after a failed first.
        {"upgrade", {"AGENT=yes"}, kWaitUpgrade, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host(c.settings);
        const RunResult r = host.run({"--install"}, {"KEL_CLI_EXITS=1 0"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "Error during configuration Kelvarin. Look at " + kLogPath + " for more information.\n");
        EXPECT_EQ(host.cliCalls().size(), c.calls);
        EXPECT_TRUE(hasInOrder(logMessages(host.log()),
                               {"Error: Error during configuration Kelvarin. Look at " + kLogPath +
                                    " for more information.",
                                "Exiting with code 1"}));
    }
}

TEST(Unattended, LogPathWithShellCharactersReachesTheToolsUnchanged) {
    // Blanks, a quote, and command substitutions that must never run.
    for (const std::string name : {"it's $(cd $KEL_SIM_STATE;touch pwned) `touch pwned2`.log",
                                   "run $(cd $KEL_SIM_STATE;touch pwned) log"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        fs::create_directory(dir.path + "/kel logs");
        const std::string log = dir.path + "/kel logs/" + name;
        SimHost host;
        const RunResult r = host.run({"--install", "--log-path=" + log});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, kWaitInstall + recommendation(kDefaultLeftOut) + kFinishInstall);
        EXPECT_FALSE(fs::exists(host.state() + "/tools/pwned"));
        EXPECT_FALSE(fs::exists(kBundle + "/pwned2"));
        EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest", false, log)});
        EXPECT_EQ(host.pmCalls().back(), "--install kel --logfile " + log);
        // Both tools wrote into exactly that file, after the installer's own lines.
        EXPECT_TRUE(hasInOrder(logMessages(readFile(log)),
                               {kStartLine, "pm.sh: installing the required packages for kel (exit 0)",
                                "installer-cli: exit 0"}));
        EXPECT_FALSE(fs::exists(host.hostPath(kLogPath)));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path + "/kel logs"), fs::directory_iterator()), 1);
    }
}

TEST(Unattended, ValgrindFindsNoErrors) {
    SimHost host;
    for (const char* arg : {"--install", "--help"}) {
        SCOPED_TRACE(arg);
        const RunResult r = host.exec({"valgrind", "--error-exitcode=1", "--leak-check=no", "-q", kInstaller, arg});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(host.cliCalls().size(), 1u);
}

}  // namespace
