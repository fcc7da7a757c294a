// Support for the robustness tests: the installer run from a shell in a real
// terminal (so the terminal can be checked after it ends), the installer's
// processes on a simulated host, and window frames read off the screen.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "simhost.h"
#include "tmux.h"

// A shell command line for Tmux: saves the terminal settings, runs command,
// compares the settings afterwards and prints "[exit N, tty same]" (or
// "changed"), then leaves an interactive shell in the pane. The shell
// survives Ctrl-C; the command does not inherit that.
std::string inShell(const std::string& command, const std::string& dir);

// What inShell printed when the command ended.
struct ShellEnd {
    int status = -1;     // -1: no end seen in time
    bool ttySame = false;
};
ShellEnd waitShellEnd(Tmux& t, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The terminal after the command: full-screen mode left (no alternate screen,
// cursor shown) and a typed command runs and shows its output.
::testing::AssertionResult terminalUsable(Tmux& t);

// Processes that run on the host: everything started inside simhost for it.
std::vector<pid_t> hostProcesses(const SimHost& host);
// The installer's process on the host, waited for; -1 if none shows up.
pid_t installerPid(const SimHost& host, std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Waits until the process is gone (or a zombie); false on time-out.
bool waitProcessGone(pid_t pid, std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Ends what a test left running on the host (tools the installer left behind).
void killHostProcesses(const SimHost& host);

// Polls pred with a bound.
template <typename Pred>
bool pollUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A window's frame on the screen, in cells.
struct Frame {
    int top = -1;
    int left = -1;
    int bottom = -1;
    int right = -1;
};
// The frame of the window that shows text (a line inside it, or its title).
// Empty when any part of the frame is missing: cut off by the screen's edge
// or not drawn.
std::optional<Frame> frameAround(const Tmux& t, const std::string& text);
// The text shows, whole, inside the frame of the window that shows `window`
// (a button's label inside its own small frame counts).
::testing::AssertionResult inWindow(const Tmux& t, const std::string& window, const std::string& text);
// The frame is on the screen and leaves the header (row 0) and the help line
// (the last row) alone.
::testing::AssertionResult frameFits(const Tmux& t, const std::string& text, int rows);

// One screen of an interactive run: a text to wait for, whose window must fit
// the terminal, and the keys that answer it (none: it goes away by itself).
struct Screen {
    std::string text;
    std::vector<std::string> keys = {};
    bool staysUnder = false;  // the keys open a window over it
    // Optional: the window's title, whole on its top border; texts (button
    // labels, entries) in the same window; the label that has the focus.
    std::string title = {};
    std::vector<std::string> parts = {};
    std::string focus = {};
};
// Waits for each screen in turn, checks that its window fits a terminal of
// `rows` rows, holds its title and parts and has the focus where asked, and
// answers it. Fails the test (non-fatally) per screen.
void playScreens(Tmux& t, const std::vector<Screen>& screens, int rows);

// The installer's own log entries: the text after each time stamp, up to the
// end of its line.
std::vector<std::string> stamped(const std::string& log);
// The log's last entries are want, in this order.
::testing::AssertionResult logEndsWith(const std::string& log, const std::vector<std::string>& want);
// The entry that names a lost terminal, with the reason this run found.
std::string lostTerminalEntry(const std::string& log);

// Writes a file of the given bytes; returns its path.
std::string writeBytes(const std::string& dir, const std::string& name, const std::string& bytes);
// Deterministic binary garbage: every byte value, escape and control
// sequences a terminal acts on, invalid UTF-8; n bytes.
std::string garbage(std::size_t n);
