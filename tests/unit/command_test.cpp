// The command runner on real shell commands: results, log entries to the
// byte, the caller's captured text across calls, the spinner thread's
// lifetime, and the failure paths (start, status, read errors, thread).
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/command.h"
#include "runner_fixture.h"
#include "screens/progress.h"

namespace {

using Command = RunnerLog;

std::string status(const std::string& cmd, int code) {
    return "execCmd: " + cmd + " [" + std::to_string(code) + "]\n";
}

struct Case {
    const char* name;
    std::string cmd;
    int result;
    std::vector<std::string> log;  // without the status entry for cmd and result
    const char* captured;          // nullptr: *mess stays null
};

TEST_F(Command, ResultsCaptureAndLogEntries) {
    const std::string x4095(4095, 'x');
    const std::string x4096(4096, 'x');
    const Case cases[] = {
        {"silent success", "true", 0, {}, nullptr},
        {"exit code", "exit 3", 3, {}, nullptr},
        {"output and exit code", "echo hello; exit 5", 5, {"hello\n"}, "hello\n"},
        {"missing program", "kel-no-such-program 2>/dev/null", 127, {}, nullptr},
        {"one full block", "head -c 4095 /dev/zero | tr '\\0' x", 0, {x4095}, x4095.c_str()},
        {"a block and one byte", "head -c 4096 /dev/zero | tr '\\0' x", 0, {x4095, "x"}, x4096.c_str()},
        {"NUL byte", "printf 'ab\\000cd'", 0, {"ab"}, "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        char* mess = nullptr;
        EXPECT_EQ(execCmd2(c.cmd.c_str(), &mess), c.result);
        std::vector<std::string> expected = c.log;
        expected.push_back(status(c.cmd, c.result));
        EXPECT_EQ(entries(), expected);
        if (c.captured) {
            ASSERT_NE(mess, nullptr);
            EXPECT_EQ(std::string(mess), c.captured);
        } else {
            EXPECT_EQ(mess, nullptr);
        }
        std::free(mess);
    }
}

TEST_F(Command, KilledBySignalIsMinusOne) {
    const std::string cmd = "echo before; kill -9 $$";
    char* mess = nullptr;
    EXPECT_EQ(execCmd2(cmd.c_str(), &mess), -1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"before\n", "command " + cmd + " got signal 9\n"}));
    ASSERT_NE(mess, nullptr);
    EXPECT_STREQ(mess, "before\n");
    std::free(mess);
}

TEST_F(Command, LongOutputIsCapturedWholeAndLoggedPerBlock) {
    // 3 MB in lines of 100: growth and block boundaries fall inside lines.
    char* mess = nullptr;
    const std::string cmd = "yes 'abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopq' "
                            "| head -n 30000";
    EXPECT_EQ(execCmd2(cmd.c_str(), &mess), 0);
    ASSERT_NE(mess, nullptr);
    const std::string line = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopq\n";
    std::string expected;
    for (int i = 0; i < 30000; ++i)
        expected += line;
    EXPECT_EQ(std::string(mess), expected);
    const auto log = entries();
    ASSERT_EQ(log.size(), expected.size() / 4095 + 1 + 1);
    std::string joined;
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        EXPECT_EQ(log[i].size(), i + 2 < log.size() ? 4095u : expected.size() % 4095) << "block " << i;
        joined += log[i];
    }
    EXPECT_EQ(joined, expected);
    std::free(mess);
}

TEST_F(Command, CapturedTextAcrossCallsOnOnePointer) {
    char* mess = nullptr;
    EXPECT_EQ(execCmd2("true", &mess), 0);
    EXPECT_EQ(mess, nullptr) << "nothing printed: null stays null";

    EXPECT_EQ(execCmd2("echo a-rather-long-first-output", &mess), 0);
    ASSERT_NE(mess, nullptr);
    EXPECT_STREQ(mess, "a-rather-long-first-output\n");

    EXPECT_EQ(execCmd2("printf xy", &mess), 0);
    EXPECT_STREQ(mess, "xy") << "new output replaces from the first byte";

    char* const before = mess;
    EXPECT_EQ(execCmd2("exit 4", &mess), 4);
    EXPECT_EQ(mess, before) << "nothing printed: the earlier text stays in place";
    EXPECT_STREQ(mess, "xy");
    std::free(mess);

    // A caller's own malloc'ed text is grown in place of the old one.
    mess = strdup("caller text");
    EXPECT_EQ(execCmd2("printf 'new'", &mess), 0);
    EXPECT_STREQ(mess, "new");
    std::free(mess);
}

TEST_F(Command, StatusOnlyRunnerLogsTheOutput) {
    EXPECT_EQ(execCmd("echo only-logged; exit 2"), 2);
    EXPECT_EQ(entries(), (std::vector<std::string>{"only-logged\n", status("echo only-logged; exit 2", 2)}));
}

// What the spinner routine saw, for the tests below.
struct Seen {
    std::string message;
    std::atomic<bool> ended{false};
};
Seen seen;

// Records the message, waits for the runner to clear the flag, then takes
// a while longer: the runner must still wait for it.
void* recordingRoutine(void* p) {
    auto* arg = static_cast<progress_func_arg*>(p);
    seen.message = arg->message;
    while (arg->is_running)
        usleep(1000);
    usleep(50000);
    seen.ended = true;
    return nullptr;
}

TEST_F(Command, SpinnerGetsTheMessageAndIsJoinedBeforeTheResult) {
    const std::string long5000(5000, 'm');
    struct {
        const char* msg;
        std::string expected;
    } cases[] = {
        {nullptr, "Please wait while downloading is in progress"},
        {"Installing packages", "Installing packages"},
        {long5000.c_str(), std::string(4095, 'm')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.substr(0, 20));
        seen.message.clear();
        seen.ended = false;
        char* mess = nullptr;
        EXPECT_EQ(execCmd3("echo out; exit 6", &mess, recordingRoutine, c.msg), 6);
        EXPECT_TRUE(seen.ended) << "returned before the thread ended";
        EXPECT_EQ(seen.message, c.expected);
        EXPECT_STREQ(mess, "out\n");
        std::free(mess);
    }
}

// Runs the real spinner in plain mode, then lets the command finish: the
// command can only end after progress_func has returned.
std::string fifoPath;
void* plainSpinnerThenRelease(void* p) {
    progress_func(p);
    const int fd = open(fifoPath.c_str(), O_WRONLY);
    if (fd >= 0) {
        const char text[] = "spinner ended\n";
        (void)!write(fd, text, sizeof text - 1);
        close(fd);
    }
    return nullptr;
}

TEST_F(Command, SpinnerInPlainModeDrawsNothingAndEndsAtOnce) {
    fifoPath = (dir / "release").string();
    ASSERT_EQ(mkfifo(fifoPath.c_str(), 0600), 0);
    char* mess = nullptr;
    ::testing::internal::CaptureStdout();
    const int rc = execCmd3(("cat " + fifoPath).c_str(), &mess, plainSpinnerThenRelease, "Working");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(rc, 0);
    EXPECT_STREQ(mess, "spinner ended\n");
    std::free(mess);
}

TEST_F(Command, ThreadThatCannotStartLeavesTheResultAlone) {
    // A child whose threads ask for a stack far beyond any memory.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0 || pthread_attr_setstacksize(&attr, std::size_t{1} << 44) != 0 ||
            pthread_setattr_default_np(&attr) != 0)
            _exit(90);
        char* mess = nullptr;
        const int rc = execCmd3("echo hi", &mess, recordingRoutine, "never shown");
        _exit(rc == 0 && mess && std::strcmp(mess, "hi\n") == 0 ? 0 : 92);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 0);
    EXPECT_EQ(entries(), (std::vector<std::string>{"can't start thread: " + std::string(std::strerror(EAGAIN)) + "\n",
                                                   "hi\n", status("echo hi", 0)}));
}

TEST_F(Command, ShellThatCannotStartIsMinusOne) {
    // Leave exactly one free descriptor: enough for the log, not for a pipe.
    const int probe = open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    close(probe);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit tight = {static_cast<rlim_t>(probe) + 1, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    char* mess = nullptr;
    const int rc = execCmd3("echo never", &mess, recordingRoutine, nullptr);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(mess, nullptr);
    EXPECT_EQ(entries(), (std::vector<std::string>{"Error on popen(echo never)\n"}));
}

TEST_F(Command, StatusThatCannotBeCollectedIsMinusOne) {
    // Children reaped behind the runner's back leave pclose nothing to wait for.
    struct sigaction ignore{};
    struct sigaction saved{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &saved), 0);
    const int rc = execCmd("echo reaped");
    sigaction(SIGCHLD, &saved, nullptr);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"reaped\n", "error in pclose(echo reaped)\n"}));
}

void onAlarm(int) {}

TEST_F(Command, InterruptedReadsAreLoggedAndReadingGoesOn) {
    struct sigaction alarm{};
    struct sigaction saved{};
    alarm.sa_handler = onAlarm;  // no SA_RESTART: reads fail with EINTR
    ASSERT_EQ(sigaction(SIGALRM, &alarm, &saved), 0);
    const itimerval every5ms = {{0, 5000}, {0, 5000}};
    const itimerval off = {};
    setitimer(ITIMER_REAL, &every5ms, nullptr);
    char* mess = nullptr;
    const int rc = execCmd2("sleep 0.3; echo late", &mess);
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &saved, nullptr);

    EXPECT_EQ(rc, 0);
    ASSERT_NE(mess, nullptr);
    EXPECT_STREQ(mess, "late\n");
    const auto log = entries();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "error in reading output of command sleep 0.3; echo late\n");
    EXPECT_EQ(log.back(), status("sleep 0.3; echo late", 0));
    EXPECT_NE(std::find(log.begin(), log.end(), "late\n"), log.end());
    for (const auto& entry : log)
        EXPECT_TRUE(entry == "late\n" || entry == log.front() || entry == log.back()) << entry;
    std::free(mess);
}

// A stream whose reads fail in a scripted way, for errors a pipe cannot
// be made to show on demand.
struct Script {
    int eintrFirst;      // this many interrupted reads before anything else
    const char* data;    // then this text, once
    bool failForever;    // then EIO on every read instead of end of file
    int reads = 0;
};

ssize_t scriptedRead(void* cookie, char* buf, size_t size) {
    auto* s = static_cast<Script*>(cookie);
    ++s->reads;
    if (s->eintrFirst > 0) {
        --s->eintrFirst;
        errno = EINTR;
        return -1;
    }
    if (s->data) {
        const size_t n = std::min(size, std::strlen(s->data));
        std::memcpy(buf, s->data, n);
        s->data = nullptr;
        return static_cast<ssize_t>(n);
    }
    if (s->failForever) {
        errno = EIO;
        return -1;
    }
    return 0;
}

TEST_F(Command, ReadErrorsWithoutEndOfFileAreBounded) {
    const std::string err = "error in reading output of command tool\n";
    struct {
        const char* name;
        Script script;
        const char* captured;
        std::size_t errorEntries;
    } cases[] = {
        // Interrupted reads never count towards giving up.
        {"many interrupts, then data", {COMMAND_READ_RETRIES * 2, "data\n", false}, "data\n",
         COMMAND_READ_RETRIES * 2 + 1},
        {"failing for ever", {0, nullptr, true}, nullptr, COMMAND_READ_RETRIES},
        {"data, then failing for ever", {0, "partial", true}, "partial", COMMAND_READ_RETRIES + 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        cookie_io_functions_t io{};
        io.read = scriptedRead;
        FILE* stream = fopencookie(&c.script, "r", io);
        ASSERT_NE(stream, nullptr);
        char* mess = nullptr;
        read_command_output(stream, "tool", &mess);
        std::fclose(stream);
        if (c.captured) {
            ASSERT_NE(mess, nullptr);
            EXPECT_STREQ(mess, c.captured);
        } else {
            EXPECT_EQ(mess, nullptr);
        }
        const auto log = entries();
        EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), err)), c.errorEntries);
        if (c.captured) {
            EXPECT_NE(std::find(log.begin(), log.end(), c.captured), log.end());
        }
        std::free(mess);
    }
}

}  // namespace
