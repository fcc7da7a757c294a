#include "scene_terminal.h"

#include <chrono>
#include <thread>

#include <sstream>

#include "simhost.h"

namespace {

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Byte offset of cell col in row (row.size() past the end).
std::size_t byteOfCell(const std::string& row, int col) {
    int cell = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (continuation(static_cast<unsigned char>(row[i])))
            continue;
        if (cell == col)
            return i;
        ++cell;
    }
    return row.size();
}

}  // namespace

std::size_t cellCount(const std::string& row) {
    std::size_t n = 0;
    for (char c : row)
        n += continuation(static_cast<unsigned char>(c)) ? 0 : 1;
    return n;
}

std::string fromColumn(const std::string& row, int col) {
    return col < 0 ? "" : row.substr(byteOfCell(row, col));
}

int columnOf(const std::string& row, const std::string& text) {
    const std::size_t at = row.find(text);
    return at == std::string::npos ? -1 : static_cast<int>(cellCount(row.substr(0, at)));
}

int rowOf(const Tmux& t, const std::string& text) {
    std::istringstream in(t.screen());
    std::string line;
    for (int y = 0; std::getline(in, line); ++y)
        if (line.find(text) != std::string::npos)
            return y;
    return -1;
}

std::string atCursor(const Tmux& t) {
    const auto [x, y] = t.cursor();
    return fromColumn(t.row(y), x);
}

bool focusOn(const Tmux& t, const std::string& label) {
    // The cursor moves once newt has read the keys sent before: poll, bounded.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (atCursor(t).rfind(label, 0) != 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string cellsTrimmed(const std::string& row, int col, int n) {
    const std::size_t from = byteOfCell(row, col);
    std::string s = row.substr(from, byteOfCell(row, col + n) - from);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string Scene::command(const std::vector<std::string>& args) const {
    std::string line = "cd " + shellQuote(dir.path) + " && exec env KEL_LOG=" + shellQuote(logPath()) + " " +
        shellQuote(kScreenDriver);
    for (const auto& a : args)
        line += " " + shellQuote(a);
    return line;
}

RunResult Scene::plain(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec \"$@\"", dir.path, kScreenDriver, "--plain"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, {"KEL_LOG=" + logPath()});
}

bool play(Tmux& t, const std::vector<Step>& steps) {
    for (const auto& s : steps) {
        t.send(s.keys);
        if (!s.waitFor.empty() && !t.waitFor(s.waitFor))
            return false;
        if (!s.waitGone.empty() && !t.waitGone(s.waitGone))
            return false;
    }
    return true;
}
