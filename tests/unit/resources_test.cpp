// Bounds that must hold whatever a tool prints and however it ends: reading
// output costs the same memory for 64 MiB as for a line (capture aside), and
// no descriptor or child process outlives a run of any runner, on the
// failure paths included.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "exec/command.h"
#include "exec/progress_command.h"
#include "runner_fixture.h"
#include "screens/progress.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KEL_SANITIZED 1
#endif
#endif

namespace {

using Resources = RunnerLog;

constexpr long kOutputBytes = 64L << 20;
// Far below the output's size, far above what a block or a line needs.
constexpr long kMaxGrowthKiB = 8 << 10;

// Runs `run` in a child and gives back its peak resident set growth in KiB,
// or -1 with `result` unset when the child failed.
long peakGrowthKiB(const std::function<int()>& run, int& result) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        close(fds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const int rc = run();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const long report[2] = {rc, after.ru_maxrss - before.ru_maxrss};
        const bool sent = write(fds[1], report, sizeof report) == static_cast<ssize_t>(sizeof report);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    long report[2] = {0, -1};
    const bool got = read(fds[0], report, sizeof report) == static_cast<ssize_t>(sizeof report);
    close(fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (!got || !WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0)
        return -1;
    result = static_cast<int>(report[0]);
    return report[1];
}

TEST_F(Resources, MemoryStaysFlatWhileReadingHugeOutput) {
#ifdef KEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's quarantine and shadow memory grow with every allocation; measured in the plain build";
#endif
    // Every block of execCmd's output goes to the log: keep it off the disk.
    log_path = const_cast<char*>("/dev/null");
    const std::string n = std::to_string(kOutputBytes);
    const std::string oneLine = "head -c " + n + " /dev/zero | tr '\\0' x";
    const std::string lines = "yes 0123456789abcdef | head -c " + n;
    const std::string progressLines = "yes '[ 42]  step' | head -c " + n;
    struct {
        const char* name;
        std::function<int()> run;
    } cases[] = {
        {"execCmd, no newline", [&] { return execCmd(oneLine.c_str()); }},
        {"execCmd, short lines", [&] { return execCmd(lines.c_str()); }},
        {"exec_with_progress, no newline",
         [&] {
             progress_data progr{};
             progr.num_parts = 1;
             return exec_with_progress(oneLine.c_str(), &progr, nullptr, 0);
         }},
        {"exec_with_progress, progress lines",
         [&] {
             progress_data progr{};
             progr.num_parts = 1;
             char copy[256];
             const int rc = exec_with_progress(progressLines.c_str(), &progr, copy, sizeof copy);
             return rc == 0 && progr.progress == 42 ? 0 : 100 + rc;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int rc = -1;
        const long growth = peakGrowthKiB(c.run, rc);
        ASSERT_GE(growth, 0) << "the measuring child failed";
        EXPECT_EQ(rc, 0);
        EXPECT_LT(growth, kMaxGrowthKiB) << "KiB of peak memory for " << (kOutputBytes >> 20) << " MiB of output";
    }
}

// Open descriptors of this process, with what each refers to.
std::map<int, std::string> openDescriptors() {
    std::map<int, std::string> fds;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return fds;
    const int own = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const int fd = std::atoi(e->d_name);
        if (fd == own)
            continue;
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) < 0)
            std::strcpy(target, "?");
        fds[fd] = target;
    }
    closedir(dir);
    return fds;
}

// Runs `call` with the process in a state that makes a runner fail, and
// puts the state back afterwards.
int withTightDescriptors(const std::function<int()>& call) {
    // One free descriptor: enough for the log, not for a pipe.
    const int probe = open("/dev/null", O_RDONLY);
    close(probe);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit tight = {static_cast<rlim_t>(probe) + 1, saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &tight);
    const int rc = call();
    setrlimit(RLIMIT_NOFILE, &saved);
    return rc;
}

int withChildrenReapedBehindTheRunner(const std::function<int()>& call) {
    struct sigaction ignore{};
    struct sigaction saved{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &saved);
    const int rc = call();
    sigaction(SIGCHLD, &saved, nullptr);
    return rc;
}

int withoutThreads(const std::function<int()>& call) {
    pthread_attr_t saved;
    pthread_attr_t huge;
    pthread_getattr_default_np(&saved);
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, std::size_t{1} << 44);
    pthread_setattr_default_np(&huge);
    const int rc = call();
    pthread_setattr_default_np(&saved);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&saved);
    return rc;
}

void* quietRoutine(void*) {
    return nullptr;
}

int progressRun(const char* cmd, char* buf = nullptr, std::size_t size = 0) {
    progress_data progr{};
    progr.num_parts = 1;
    return exec_with_progress(cmd, &progr, buf, size);
}

TEST_F(Resources, NoDescriptorOrChildOutlivesARun) {
    struct {
        const char* name;
        std::function<int()> run;
        int result;
    } cases[] = {
        {"execCmd, success", [] { return execCmd("echo out"); }, 0},
        {"execCmd, exit code", [] { return execCmd("exit 3"); }, 3},
        {"execCmd, missing program", [] { return execCmd("/nonexistent/tool 2>/dev/null"); }, 127},
        {"execCmd, killed", [] { return execCmd("echo partial; kill -9 $$"); }, -1},
        {"execCmd2, capture",
         [] {
             char* mess = nullptr;
             const int rc = execCmd2("echo captured", &mess);
             std::free(mess);
             return rc;
         },
         0},
        {"execCmd3, spinner thread",
         [] {
             char* mess = nullptr;
             const int rc = execCmd3("echo spun", &mess, progress_func, "waiting");
             std::free(mess);
             return rc;
         },
         0},
        {"execCmd3, thread cannot start",
         [] { return withoutThreads([] { return execCmd3("echo alone", nullptr, quietRoutine, nullptr); }); }, 0},
        {"execCmd, shell cannot start", [] { return withTightDescriptors([] { return execCmd("echo never"); }); },
         -1},
        {"execCmd, status cannot be collected",
         [] { return withChildrenReapedBehindTheRunner([] { return execCmd("echo reaped"); }); }, -1},
        {"exec_with_progress, success",
         [] {
             char copy[64];
             return progressRun("echo '[ 50]  half'; echo done", copy, sizeof copy);
         },
         0},
        {"exec_with_progress, exit code", [] { return progressRun("echo '[ 10]  some'; exit 1"); }, 1},
        {"exec_with_progress, killed", [] { return progressRun("echo '[100]  all'; kill -9 $$"); }, -1},
        {"exec_with_progress, shell cannot start",
         [] { return withTightDescriptors([] { return progressRun("echo never"); }); }, -1},
        {"exec_with_progress, status cannot be collected",
         [] { return withChildrenReapedBehindTheRunner([] { return progressRun("echo reaped"); }); }, -1},
    };

    const auto before = openDescriptors();
    ASSERT_FALSE(before.empty());
    for (int round = 0; round < 20; ++round) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_EQ(c.run(), c.result);
            // No child left for anyone to reap, whichever way the run ended.
            errno = 0;
            ASSERT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
            ASSERT_EQ(errno, ECHILD);
        }
    }
    EXPECT_EQ(openDescriptors(), before);
}

std::set<int> numbers(const char* text) {
    std::set<int> out;
    std::istringstream in(text ? text : "");
    for (int n; in >> n;)
        out.insert(n);
    return out;
}

TEST_F(Resources, CommandsInheritOnlyTheStandardStreams) {
    // Descriptors this process passes on to any child it starts.
    std::set<int> inherited;
    for (const auto& [fd, target] : openDescriptors())
        if (fd > 2 && !(fcntl(fd, F_GETFD) & FD_CLOEXEC))
            inherited.insert(fd);
    // The shell's descriptors above 2, leaving out the one that lists them
    // (the directory listing them is closed again by the time -e looks).
    const char* list = "for f in /proc/$$/fd/*; do n=${f##*/}; [ -e $f ] && [ $n -gt 2 ] && echo $n; done; exit 0";

    char* mess = nullptr;
    ASSERT_EQ(execCmd2(list, &mess), 0);
    EXPECT_EQ(numbers(mess), inherited) << "execCmd2";
    std::free(mess);

    char copy[256];
    ASSERT_EQ(progressRun(list, copy, sizeof copy), 0);
    EXPECT_EQ(numbers(copy), inherited) << "exec_with_progress";
}

}  // namespace
