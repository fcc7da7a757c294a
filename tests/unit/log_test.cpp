// The installation log: entry format, append mode, silence on failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "exec/log.h"
#include "installer/state.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Log : ::testing::Test {
    std::filesystem::path dir;
    std::string path;
    void SetUp() override {
        char tmpl[] = "/tmp/kel-log.XXXXXX";
        dir = mkdtemp(tmpl);
        path = (dir / "install.log").string();
        log_path = path.data();
    }
    void TearDown() override {
        log_path = nullptr;
        std::filesystem::remove_all(dir);
    }
};

const char* kStamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: )";

TEST_F(Log, EntriesAreStampedAppendedAndUnterminatedByDefault) {
    std::ofstream(path) << "earlier run\n";
    write_log("\n\n%s %s Installer started.\n", "Kelvarin", "1.2.3.4");
    write_log("no newline %d", 7);
    write_log("%s", "block\nof two lines\n");
    const std::regex expected(std::string("earlier run\n") + kStamp + "\n\nKelvarin 1.2.3.4 Installer started.\n" +
                              kStamp + "no newline 7" + kStamp + "block\nof two lines\n");
    EXPECT_TRUE(std::regex_match(slurp(path), expected)) << slurp(path);
}

TEST_F(Log, DateMatchesTheStampPattern) {
    char buf[64];
    get_date(buf, sizeof buf);
    EXPECT_TRUE(std::regex_match(std::string(buf) + ": ", std::regex(kStamp))) << buf;
}

TEST_F(Log, FailuresAreSilent) {
    std::string missing = (dir / "no-such-dir" / "install.log").string();
    log_path = missing.data();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    write_log("lost %s\n", "entry");
    log_path = nullptr;
    write_log("also lost\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
