#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

// In a forked child: adds env and runs argv; never returns.
[[noreturn]] void execWith(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    for (const auto& kv : env)
        putenv(const_cast<char*>(kv.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

}  // namespace

RunResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        execWith(argv, env);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_fds = 2;
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[65536];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

int runQuiet(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execWith(argv, env);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& text, int mode) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), static_cast<mode_t>(mode));
}

const std::string& trustedBundleCopy() {
    namespace fs = std::filesystem;
    static const struct Copy {
        std::string dir;
        std::string bundle;
        Copy() {
            char tmpl[] = "/tmp/kel-bundle.XXXXXX";
            if (!mkdtemp(tmpl)) {
                bundle = KEL_BUNDLE_DIR;
                return;
            }
            dir = tmpl;
            // Readable by all, as the built bundle is: some cases run it as another user.
            fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
            bundle = dir + "/bundle";
            const fs::path from = KEL_BUNDLE_DIR;
            fs::create_directory(bundle);
            for (const auto& entry : fs::recursive_directory_iterator(from)) {
                const fs::path to = bundle / fs::relative(entry.path(), from);
                std::error_code ec;
                if (entry.is_symlink())
                    fs::copy_symlink(entry.path(), to);
                else if (entry.is_directory())
                    fs::create_directory(to);
                else if (fs::create_hard_link(entry.path(), to, ec); ec)
                    fs::copy_file(entry.path(), to);
            }
            // A checkout under umask 002 leaves group write on everything.
            for (const auto& entry : fs::recursive_directory_iterator(bundle))
                if (!entry.is_symlink())
                    fs::permissions(entry.path(), fs::perms::group_write | fs::perms::others_write,
                                    fs::perm_options::remove);
            fs::permissions(bundle, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
        }
        ~Copy() {
            std::error_code ec;
            if (!dir.empty())
                fs::remove_all(dir, ec);
        }
    } copy;
    return copy.bundle;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/kel-test.XXXXXX";
    path = mkdtemp(tmpl);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::vector<std::string> logMessages(const std::string& log) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: )");
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, stamp))
            lines.push_back(m.suffix());
        else
            lines.push_back(line);
    }
    return lines;
}
