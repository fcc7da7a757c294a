// The command lines that hand the log path to the bundle's tools: one that
// would be cut is never run, the longest one that fits is. Stand-in tools in
// a temporary bundle record each call.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "exec/text.h"
#include "installer/installation.h"
#include "installer/packages.h"
#include "installer/state.h"

namespace {

namespace fs = std::filesystem;

struct ToolCommandDeathTest : ::testing::Test {
    std::string bundle;
    void SetUp() override {
        // Forked, not started again: the child must see this bundle.
        GTEST_FLAG_SET(death_test_style, "fast");
        char tmpl[] = "/tmp/kel-tools.XXXXXX";
        bundle = mkdtemp(tmpl);
        fs::create_directory(bundle + "/installer");
        // Each records its arguments; the package script's check asks for one package.
        tool("installer-cli", "");
        tool("installer/pm.sh", "[ \"$1\" = --check ] && echo 'm kel-runtime'");
    }
    void TearDown() override { fs::remove_all(bundle); }
    void tool(const std::string& rel, const std::string& then) {
        const std::string path = bundle + "/" + rel;
        std::ofstream(path) << "#!/bin/sh\necho \"" << rel << " $1\" >>" << bundle << "/calls\n" << then << "\nexit 0\n";
        fs::permissions(path, fs::perms(0755));
    }
    std::string calls() const {
        std::ifstream in(bundle + "/calls");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Sets a log path in the bundle, of plain characters, that makes line()
    // exactly size bytes long. Its last name is too long for any file system,
    // so no log is written.
    std::string path;
    void logPathFor(std::size_t size, std::string (*line)()) {
        path = bundle + "/";
        log_path = path.data();
        path += std::string(size - line().size(), 'l');
        log_path = path.data();
    }
};

std::string installLine() {
    return cli_command_line("-i", "Manifest");
}

TEST_F(ToolCommandDeathTest, InstallationToolRunsOnlyWithAWholeCommandLine) {
    for (const std::size_t size : {TEXT_BUF - 1, TEXT_BUF}) {
        SCOPED_TRACE(size);
        std::remove((bundle + "/calls").c_str());
        logPathFor(size, installLine);
        ASSERT_EQ(installLine().size(), size);
        if (size < TEXT_BUF) {
            EXPECT_EXIT(
                {
                    if (chdir(bundle.c_str()) == 0)
                        run_cli_installer("-i", "Manifest");
                    std::_Exit(0);
                },
                ::testing::ExitedWithCode(0), "");
            EXPECT_EQ(calls(), "installer-cli --verbose\n");
        } else {
            EXPECT_EXIT(
                {
                    if (chdir(bundle.c_str()) == 0)
                        run_cli_installer("-i", "Manifest");
                    std::_Exit(0);
                },
                ::testing::ExitedWithCode(1),
                "The command line of \\./installer-cli is too long \\(" + std::to_string(size) +
                    " bytes\\); it was not run\\.");
            EXPECT_EQ(calls(), "");
        }
    }
    log_path = nullptr;
}

TEST_F(ToolCommandDeathTest, PackageScriptDoesNotInstallWithACutCommandLine) {
    logPathFor(TEXT_BUF, pm_install_command_line);
    EXPECT_EXIT(
        {
            if (chdir(bundle.c_str()) == 0)
                download_required_packages();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        "The command line of \\./installer/pm\\.sh is too long \\(" + std::to_string(TEXT_BUF) +
            " bytes\\); it was not run\\.");
    // The check ran; nothing was installed.
    EXPECT_EQ(calls(), "installer/pm.sh --check\n");
    log_path = nullptr;
}

}  // namespace
