// Helpers for screen tests: run a screen_driver scene in tmux or in plain
// mode from a working directory of its own, and read the screen by columns.
#pragma once

#include <string>
#include <vector>

#include "harness.h"
#include "tmux.h"

// Terminal cells hold one character each; box-drawing characters take
// several bytes. These helpers count in cells.
std::size_t cellCount(const std::string& row);
// The cells of row from column col on ("" past the end).
std::string fromColumn(const std::string& row, int col);
// The column where text starts in row, or -1.
int columnOf(const std::string& row, const std::string& text);
// The first screen row that contains text, or -1.
int rowOf(const Tmux& t, const std::string& text);
// The row under the cursor from the cursor on: a focused button's label, a
// focused list entry, and so on, start there.
std::string atCursor(const Tmux& t);
// Waits until the focused widget (under the cursor) starts with label.
bool focusOn(const Tmux& t, const std::string& label);
// Cells [col, col + n) of row with trailing blanks removed.
std::string cellsTrimmed(const std::string& row, int col, int n);

// A scene of the screen driver, run in a directory of its own with its log
// in that directory.
struct Scene {
    TempDir dir;
    std::string logPath() const { return dir.path + "/install.log"; }
    std::string log() const { return readFile(logPath()); }
    // Shell command line for tmux: cd to the directory, run the scene.
    std::string command(const std::vector<std::string>& args) const;
    // The scene in plain mode, waited for.
    RunResult plain(const std::vector<std::string>& args) const;
};

// A key step: keys sent at once, then (when not empty) a text waited for
// and a text waited away.
struct Step {
    std::vector<std::string> keys;
    std::string waitFor = {};
    std::string waitGone = {};
};

// Sends the steps in order; false when a wait runs out.
bool play(Tmux& t, const std::vector<Step>& steps);
