// Command-line handling of the real binary: texts to the byte, exit codes,
// and that nothing is logged before the root check.
#include <gtest/gtest.h>

#include <filesystem>

#include "harness.h"

namespace {

const std::string kVersion = KEL_VERSION;

const std::string kUsage =
    "Kelvarin installer " + kVersion + "\n"
    "Usage: install [OPTION]\n"
    "       -i,--install                automatic (unattended) installation or upgrade \n"
    "       -r,--remove                 automatic (unattended) removal \n"
    "       -f,--force                  forced removing mode: skip errors and try to do as much as possible \n"
    "       -h,--help                   display this help text\n"
    "       -v,--version                report version\n";

const std::string kVersionLine = "Kelvarin installation " + kVersion + "\n";

// Runs the installer as an unprivileged user when asked; the log goes to a
// temporary directory anyone may write to.
struct CmdLine : ::testing::Test {
    TempDir dir;
    std::string logPath() const { return dir.path + "/install.log"; }
    void SetUp() override { std::filesystem::permissions(dir.path, std::filesystem::perms::all); }
    RunResult run(std::vector<std::string> args, bool asNobody = false) {
        std::vector<std::string> argv;
        if (asNobody)
            argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        argv.push_back(kInstaller);
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv);
    }
};

struct TextCase {
    std::vector<std::string> args;
    bool asNobody;
    int status;
    std::string err;
};

TEST_F(CmdLine, VersionAndHelpTextsAreExactForAnyUser) {
    const std::vector<TextCase> cases = {
        {{"--version"}, false, 0, kVersionLine},
        {{"-v"}, true, 0, kVersionLine},
        {{"--help"}, false, 0, kUsage},
        {{"-h"}, true, 0, kUsage},
        {{"--help", "--version"}, true, 0, kVersionLine},
        {{"-h", "-v"}, false, 0, kVersionLine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.asNobody ? " as nobody" : " as root"));
        const RunResult r = run(c.args, c.asNobody);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CmdLine, ErrorsExitWithTwoAndLogNothing) {
    const std::string prog = kInstaller;
    const std::string both = prog + ": unattended installing and unattended removal cannot be performed simultaneosly.\n";
    const std::string logOpt = "--log-path=" + logPath();
    const std::vector<TextCase> cases = {
        {{"--install", "--remove", logOpt}, false, 2, both},
        {{"-r", "-i", logOpt}, false, 2, both},
        {{"--version", "--install", "--remove", logOpt}, false, 2, both},
        {{"--bogus", logOpt}, false, 2, prog + ": bad argument --bogus: unknown option\n" + kUsage},
        {{"stray", "--install", logOpt}, false, 2, prog + ": bad argument stray\n" + kUsage},
        {{"--log-path"}, false, 2, prog + ": bad argument --log-path: missing argument\n" + kUsage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunResult r = run(c.args, c.asNobody);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(std::filesystem::exists(logPath()));
    }
}

TEST_F(CmdLine, NonRootIsRefusedAndOnlyTheExitIsLogged) {
    const RunResult r = run({"--install", "--log-path=" + logPath()}, true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, kInstaller + " can be run only as root\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(logMessages(readFile(logPath())), std::vector<std::string>{"Exiting with code 2"});
}

}  // namespace
