// The progress-reporting runner on real shell commands: how progress lines
// move the shared record, the folding of several runs into one scale, the
// output copy's room, and the results and log entries.
#include <signal.h>

#include <cstring>
#include <string>

#include "exec/progress_command.h"
#include "runner_fixture.h"

namespace {

using ProgressRunner = RunnerLog;

progress_data record(int num_parts, int part) {
    progress_data p{};
    p.num_parts = num_parts;
    p.part = part;
    p.action = ACTION_INSTALL;
    std::strcpy(p.message, "untouched");
    p.progress = -7;
    return p;
}

// The tool's output, given as printf's argument (escapes are printf's).
std::string printing(const std::string& out, int code = 0) {
    return "printf '%b' '" + out + "'; exit " + std::to_string(code);
}

TEST_F(ProgressRunner, ProgressLinesMoveTheRecord) {
    const std::string x4095(4095, 'x');
    const std::string long4095 = "[ 55]  " + std::string(4088, 'm');
    struct {
        const char* name;
        int num_parts, part;
        std::string out;
        int code;
        int progress;
        std::string message;
    } cases[] = {
        {"single run", 1, 0, "[ 42]  Copying files\\n", 0, 42, "Copying files "},
        {"second of two", 2, 1, "[ 30]  x\\n", 0, 65, "x "},
        {"first of two", 2, 0, "[ 99]  x\\n", 0, 49, "x "},
        {"no digits, single run", 1, 0, "[abc]  x\\n", 0, 0, "x "},
        {"no digits, second of two", 2, 1, "[---]  x\\n", 0, 50, "x "},
        {"leading zero is octal", 1, 0, "[010]  x\\n", 0, 8, "x "},
        {"hexadecimal", 1, 0, "[0x1f] x\\n", 0, 1, "x "},
        {"not clamped", 1, 0, "[999]  too far\\n", 0, 999, "too far "},
        {"not clamped below", 1, 0, "[-20]  back\\n", 0, -20, "back "},
        {"three parts", 3, 2, "[ 50]  x\\n", 0, 83, "x "},
        {"shorter than eight", 1, 0, "[ 7]\\n", 0, 7, ""},
        {"exactly seven without newline", 1, 0, "[ 12]xy", 0, 12, ""},
        {"eight with the blanked newline", 1, 0, "[ 12]xy\\n", 0, 12, " "},
        {"last line wins, exit code kept", 1, 0, "[ 10]  a\\n[ 20]  b\\n", 1, 20, "b "},
        {"other lines ignored", 1, 0, "hello\\n[ 33]  x\\nworld [ 90]\\n", 0, 33, "x "},
        {"no progress line at all", 1, 0, "plain output\\n", 0, -7, "untouched"},
        // A long line comes in pieces of 4095; each piece is judged alone.
        {"piece starting with a bracket", 1, 0, x4095 + "[ 66]  tail\\n", 0, 66, "tail "},
        {"long progress line, first piece", 1, 0, long4095 + "rest\\n", 0, 55, std::string(4088, 'm')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        progress_data p = record(c.num_parts, c.part);
        const std::string cmd = printing(c.out, c.code);
        EXPECT_EQ(exec_with_progress(cmd.c_str(), &p, nullptr, 0), c.code);
        EXPECT_EQ(p.progress, c.progress);
        EXPECT_EQ(std::string(p.message), c.message);
        // No output line goes to the log, only the status.
        EXPECT_EQ(entries(), (std::vector<std::string>{"exec_with_progress: " + cmd + " " + std::to_string(c.code) + "\n"}));
    }
}

TEST_F(ProgressRunner, LinesFedDirectlyAreJudgedSafely) {
    // Lines from elsewhere than the runner may be longer than a piece: the
    // message is cut to the record.
    progress_data p = record(1, 0);
    ASSERT_TRUE(read_progress_line(("[ 1]   " + std::string(10000, 'z')).c_str(), &p));
    EXPECT_EQ(p.progress, 1);
    EXPECT_EQ(std::string(p.message), std::string(4095, 'z'));
    for (const char* notProgress : {" [ 50]  leading blank", "", "x[ 50]"}) {
        EXPECT_FALSE(read_progress_line(notProgress, &p)) << notProgress;
    }
    ASSERT_TRUE(read_progress_line("[", &p));
    EXPECT_EQ(p.progress, 0);
    EXPECT_STREQ(p.message, "");
}

TEST_F(ProgressRunner, OutputCopyKeepsToItsRoom) {
    const std::string out = "abc\\n[ 50]  def\\nghi\\n";
    const std::string all = "abc\n[ 50]  def\nghi\n";
    struct {
        std::size_t size;
        std::string copied;
    } cases[] = {
        {100, all},
        {all.size() + 1, all},
        {all.size(), all.substr(0, all.size() - 1)},
        {6, "abc\n["},
        {4, "abc"},
        {2, "a"},
        {1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        // Guard bytes after the caller's size must stay untouched.
        std::string buf(c.size + 8, '#');
        progress_data p = record(1, 0);
        EXPECT_EQ(exec_with_progress(printing(out).c_str(), &p, buf.data(), c.size), 0);
        EXPECT_EQ(std::string(buf.c_str()), c.copied);
        EXPECT_EQ(buf.substr(c.size), std::string(8, '#'));
        EXPECT_EQ(p.progress, 50) << "the copy does not change what is judged";
    }

    // No buffer: its size is not room.
    progress_data p = record(1, 0);
    EXPECT_EQ(exec_with_progress(printing(out).c_str(), &p, nullptr, 64), 0);
    EXPECT_EQ(p.progress, 50);
}

TEST_F(ProgressRunner, FailuresAreMinusOne) {
    {
        SCOPED_TRACE("killed after 100 per cent");
        progress_data p = record(1, 0);
        const std::string cmd = "echo '[100]  done'; kill -9 $$";
        EXPECT_EQ(exec_with_progress(cmd.c_str(), &p, nullptr, 0), -1);
        EXPECT_EQ(p.progress, 100);
        EXPECT_EQ(entries(), (std::vector<std::string>{"command " + cmd + " got signal 9\n"}));
    }
    {
        SCOPED_TRACE("status not collected");
        std::filesystem::remove(path);
        struct sigaction ignore{};
        struct sigaction saved{};
        ignore.sa_handler = SIG_IGN;
        ASSERT_EQ(sigaction(SIGCHLD, &ignore, &saved), 0);
        progress_data p = record(1, 0);
        const int rc = exec_with_progress("echo '[ 10]  x'", &p, nullptr, 0);
        sigaction(SIGCHLD, &saved, nullptr);
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(p.progress, 10);
        EXPECT_EQ(entries(), (std::vector<std::string>{"error in pclose(echo '[ 10]  x')\n"}));
    }
}

}  // namespace
