// The installation log: entry format, append mode, silence on failure, and
// what may lie at its path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <vector>

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

// What lies at the log path when an entry is written: both writers (the
// signal path's too) write only to a regular file, follow no link, and never
// wait for a FIFO's reader.
TEST_F(Log, OnlyARegularFileIsWrittenAndNothingBlocks) {
    const std::string target = (dir / "target").string();
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"link to a file", [&](const std::string& p) {
             std::ofstream(target) << "kept\n";
             std::filesystem::create_symlink(target, p);
         }},
        {"link to no file", [&](const std::string& p) { std::filesystem::create_symlink(target, p); }},
        {"FIFO without a reader", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        {"FIFO with a reader", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
    };
    using Writer = std::pair<const char*, std::function<void()>>;
    const std::vector<Writer> writers = {{"write_log", [] { write_log("entry %d\n", 1); }}};
    for (const auto& c : cases) {
        for (const auto& [writer, write] : writers) {
            SCOPED_TRACE(std::string(c.name) + ", " + writer);
            std::filesystem::remove_all(path);
            std::filesystem::remove(target);
            c.make(path);
            int reader = -1;
            if (std::string(c.name) == "FIFO with a reader")
                reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
            write();
            if (reader >= 0) {
                char buf[16];
                EXPECT_LE(read(reader, buf, sizeof buf), 0);
                close(reader);
            }
            EXPECT_EQ(slurp(target), std::filesystem::exists(target) ? "kept\n" : "");
            EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
        }
    }
}

TEST_F(Log, NewLogIsPrivateAndAnOldOneKeepsItsMode) {
    for (mode_t mask : {0000, 0022, 0077}) {
        SCOPED_TRACE(mask);
        std::filesystem::remove(path);
        const mode_t old = umask(mask);
        write_log("new\n");
        umask(old);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    write_log("again\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(std::regex_search(slurp(path), std::regex(std::string(kStamp) + "again\n$"))) << slurp(path);
}

TEST_F(Log, OpenedLogBlocksAgainAndIsNotInherited) {
    const int fd = open_log(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    close(fd);
    EXPECT_EQ(open_log(nullptr), -1);
}

}  // namespace
