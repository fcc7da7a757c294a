#include "tmux.h"

#include <unistd.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "harness.h"

namespace {
std::atomic<int> sessions{0};
}

Tmux::Tmux(const std::string& command, int cols, int rows) {
    socket_ = "kel-test-" + std::to_string(getpid()) + "-" + std::to_string(sessions++);
    conf_ = "/tmp/" + socket_ + ".conf";
    // The pane stays after the program ends, so its last screen and exit
    // status can still be read.
    writeFile(conf_, "set -g remain-on-exit on\nset -g status off\n");
    // The server outlives new-session and keeps its streams: start it quietly.
    // The exit status goes to a file: tmux may notice a dead pane late when
    // something else still holds the terminal open.
    status_ = "/tmp/" + socket_ + ".status";
    const std::string wrapped = "(" + command + "\n)\necho $? > " + status_ + ".part && mv " + status_ + ".part " + status_;
    runQuiet({"tmux", "-L", socket_, "-f", conf_, "new-session", "-d", "-s", "t", "-x", std::to_string(cols), "-y",
              std::to_string(rows), wrapped},
             {"TERM=xterm"});
}

Tmux::~Tmux() {
    tmux({"kill-server"});
    unlink(conf_.c_str());
    unlink(status_.c_str());
}

std::string Tmux::tmux(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"tmux", "-L", socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, {"TERM=xterm"}).out;
}

void Tmux::send(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"send-keys", "-t", "t"};
    args.insert(args.end(), keys.begin(), keys.end());
    tmux(args);
}

std::string Tmux::screen() const {
    return tmux({"capture-pane", "-p", "-t", "t"});
}

std::string Tmux::row(int y) const {
    std::istringstream in(screen());
    std::string line;
    for (int i = 0; std::getline(in, line); ++i)
        if (i == y)
            return line;
    return "";
}

std::pair<int, int> Tmux::cursor() const {
    std::istringstream in(tmux({"display-message", "-p", "-t", "t", "#{cursor_x} #{cursor_y}"}));
    int x = -1;
    int y = -1;
    in >> x >> y;
    return {x, y};
}

std::string Tmux::query(const std::string& format) const {
    std::string value = tmux({"display-message", "-p", "-t", "t", format});
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

bool Tmux::waitFor(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (screen().find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool Tmux::waitGone(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (screen().find(text) == std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int Tmux::waitExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string status = readFile(status_);
        if (!status.empty())
            return std::stoi(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}
