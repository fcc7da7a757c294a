// Throughput of the command runners against `cat` of the same stream, and
// the peak memory of each run. Every run happens in a child process so that
// each gets its own wall time and its own peak resident size.
//
// kel_bench [MEGABYTES]   (default 200)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "exec/command.h"
#include "exec/progress_command.h"
#include "installer/state.h"

namespace {

struct Run {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

// Runs body in a child; its exit status is body's result.
Run measure(const std::function<int()>& body) {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    Run run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKb = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

void report(const char* name, const Run& run, const Run& base, double lines) {
    std::printf("%-34s %7.2f s  x%5.2f of cat  peak RSS %7.1f MB", name, run.seconds, run.seconds / base.seconds,
                static_cast<double>(run.peakKb) / 1024.0);
    if (lines > 0)
        std::printf("  %.2f M lines/s", lines / run.seconds / 1e6);
    std::printf("%s\n", run.status == 0 ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
    const long long bytes = megabytes * 1024 * 1024;
    // 100-byte progress lines: "[ 42]  " and filler up to the newline.
    const std::string line = "[ 42]  " + std::string(92, 'p');
    const std::string stream = "yes '" + line + "' | head -c " + std::to_string(bytes);
    const double lines = static_cast<double>(bytes) / 100.0;
    // Every captured block goes to the log too; keep it off the disk.
    log_path = const_cast<char*>("/dev/null");

    std::printf("stream: %lld MB in lines of 100 bytes (%.0f lines), log to /dev/null\n", megabytes, lines);

    const std::string catCmd = stream + " | cat > /dev/null";
    const Run cat = measure([&] { return std::system(catCmd.c_str()) == 0 ? 0 : 1; });
    report("cat > /dev/null", cat, cat, 0);

    const Run capture = measure([&] {
        char* mess = nullptr;
        const int rc = execCmd2(stream.c_str(), &mess);
        const bool whole = mess && static_cast<long long>(std::strlen(mess)) == bytes;
        std::free(mess);
        return rc == 0 && whole ? 0 : 1;
    });
    report("execCmd2, capturing", capture, cat, 0);

    const Run progressRun = measure([&] {
        progress_data p{};
        p.num_parts = 1;
        const int rc = exec_with_progress(stream.c_str(), &p, nullptr, 0);
        return rc == 0 && p.progress == 42 ? 0 : 1;
    });
    report("exec_with_progress, line per 100 B", progressRun, cat, lines);
    return cat.status || capture.status || progressRun.status ? 1 : 0;
}
