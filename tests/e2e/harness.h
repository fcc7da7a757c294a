// Runs the real installer binary: as a child process with captured output,
// on the simulated host, or in a tmux terminal.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;  // exit code, or 128 + signal
    std::string out;
    std::string err;
};

// Runs argv with stdin from /dev/null; env entries (KEY=VALUE) are added.
RunResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Runs argv with every standard stream on /dev/null (for programs that leave
// a daemon holding their output open); returns the exit status.
int runQuiet(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text, int mode = 0644);

// A fresh temporary directory, removed with everything in it on destruction.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

// The installer runs a bundle's tools only if no one but root can change them,
// the folders from / down included. The built bundle lies wherever the
// repository was cloned, so each test process runs a copy of it in a fresh
// root-owned folder under /tmp (removed at exit): the tests pass wherever the
// clone sits. Files are hard links where the file system allows.
const std::string& trustedBundleCopy();

inline const std::string kBundle = trustedBundleCopy();
inline const std::string kInstaller = kBundle + "/installer/install";
inline const std::string kSimhost = KEL_SIMHOST;
inline const std::string kScreenDriver = KEL_SCREEN_DRIVER;

// Lines of a log with the time stamp prefix removed; fails the test when an
// entry does not start with a well-formed stamp.
std::vector<std::string> logMessages(const std::string& log);
