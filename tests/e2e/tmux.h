// Drives a program in a real terminal: a tmux session of a given size on a
// private tmux server, keys sent with send-keys, the screen read with capture-pane.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class Tmux {
public:
    // Starts `command` (run by sh) in a detached session of cols x rows.
    Tmux(const std::string& command, int cols = 80, int rows = 24);
    ~Tmux();
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    // tmux key names: "Enter", "Tab", "Escape", "F12", "Down", or literal text.
    void send(const std::vector<std::string>& keys);
    std::string screen() const;
    // Polls the screen until it contains text; false (and the screen is
    // printed into the failure) when the bounded wait runs out.
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Polls until the screen no longer contains text.
    bool waitGone(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits for the program to end; its exit status, or -1 on time-out.
    // tmux then adds a "Pane is dead" line, which may scroll the screen by one.
    int waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Row y of the screen (0-based), or "" past the end.
    std::string row(int y) const;
    // Cursor position as reported by tmux: {x, y}.
    std::pair<int, int> cursor() const;
    // A tmux format expanded for the pane, e.g. "#{alternate_on}".
    std::string query(const std::string& format) const;

private:
    std::string tmux(const std::vector<std::string>& args) const;
    std::string socket_;
    std::string conf_;
    std::string status_;
};
