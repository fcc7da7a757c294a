#include "robustness.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "harness.h"
#include "scene_terminal.h"

namespace {

const char* const kShellReady = "[shell ready]";

std::string procFile(pid_t pid, const char* name) {
    return readFile("/proc/" + std::to_string(pid) + "/" + name);
}

std::vector<pid_t> allPids() {
    std::vector<pid_t> pids;
    DIR* d = opendir("/proc");
    if (!d)
        return pids;
    while (const dirent* e = readdir(d)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*e->d_name && *end == '\0')
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(d);
    return pids;
}

// State letter and parent from /proc/PID/stat ('\0' when gone).
std::pair<char, pid_t> statOf(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size())
        return {'\0', 0};
    std::istringstream rest(stat.substr(close + 2));
    char state = '\0';
    pid_t ppid = 0;
    rest >> state >> ppid;
    return {state, ppid};
}

// One screen row split into cells (UTF-8 characters).
std::vector<std::string> cells(const std::string& row) {
    std::vector<std::string> out;
    for (unsigned char c : row) {
        if ((c & 0xC0) == 0x80 && !out.empty())
            out.back() += static_cast<char>(c);
        else
            out.emplace_back(1, static_cast<char>(c));
    }
    return out;
}

std::vector<std::vector<std::string>> screenCells(const Tmux& t) {
    std::vector<std::vector<std::string>> grid;
    std::istringstream in(t.screen());
    std::string line;
    while (std::getline(in, line))
        grid.push_back(cells(line));
    return grid;
}

}  // namespace

std::string inShell(const std::string& command, const std::string& dir) {
    const std::string before = shellQuote(dir + "/tty.before");
    const std::string after = shellQuote(dir + "/tty.after");
    return "trap : INT; stty -g >" + before + "; echo '" + kShellReady + "'; " + command +
        "\nrc=$?; stty -g >" + after + "; if cmp -s " + before + " " + after +
        "; then s=same; else s=changed; fi; echo \"[exit $rc, tty $s]\"; PS1='$ ' exec bash --norc --noprofile -i";
}

ShellEnd waitShellEnd(Tmux& t, std::chrono::milliseconds timeout) {
    ShellEnd end;
    if (!t.waitFor("[exit ", timeout))
        return end;
    std::smatch m;
    const std::string screen = t.screen();
    if (std::regex_search(screen, m, std::regex(R"(\[exit (\d+), tty (same|changed)\])"))) {
        end.status = std::stoi(m[1]);
        end.ttySame = m[2] == "same";
    }
    return end;
}

::testing::AssertionResult terminalUsable(Tmux& t) {
    if (t.query("#{alternate_on}") != "0")
        return ::testing::AssertionFailure() << "still on the alternate screen:\n" << t.screen();
    if (t.query("#{cursor_flag}") != "1")
        return ::testing::AssertionFailure() << "cursor hidden:\n" << t.screen();
    if (t.screen().find(kShellReady) == std::string::npos)
        return ::testing::AssertionFailure() << "the screen before the run is gone:\n" << t.screen();
    // The shell's own output, which the typed line itself does not contain.
    t.send({"echo ok-$((40+2))", "Enter"});
    if (!t.waitFor("ok-42", std::chrono::seconds(10)))
        return ::testing::AssertionFailure() << "a typed command shows nothing:\n" << t.screen();
    return ::testing::AssertionSuccess();
}

std::vector<pid_t> hostProcesses(const SimHost& host) {
    const std::string mark = "KEL_SIM_STATE=" + host.state() + "/tools";
    std::vector<pid_t> found;
    for (pid_t pid : allPids()) {
        const std::string env = procFile(pid, "environ");
        std::size_t at = 0;
        while (at < env.size()) {
            const std::size_t end = env.find('\0', at);
            const std::string entry = env.substr(at, end == std::string::npos ? std::string::npos : end - at);
            if (entry == mark) {
                found.push_back(pid);
                break;
            }
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
    }
    return found;
}

pid_t installerPid(const SimHost& host, std::chrono::milliseconds timeout) {
    const std::string installer = std::filesystem::canonical(kInstaller).string();
    pid_t result = -1;
    pollUntil(
        [&] {
            std::set<pid_t> candidates;
            for (pid_t pid : hostProcesses(host)) {
                std::error_code ec;
                const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
                if (!ec && exe.string() == installer)
                    candidates.insert(pid);
            }
            // A child between fork and exec still shows the installer's image.
            for (pid_t pid : candidates)
                if (!candidates.count(statOf(pid).second))
                    result = pid;
            return result > 0;
        },
        timeout);
    return result;
}

bool waitProcessGone(pid_t pid, std::chrono::milliseconds timeout) {
    return pollUntil(
        [pid] {
            const char state = statOf(pid).first;
            return state == '\0' || state == 'Z';
        },
        timeout);
}

void killHostProcesses(const SimHost& host) {
    for (int round = 0; round < 50; ++round) {
        const auto pids = hostProcesses(host);
        if (pids.empty())
            return;
        for (pid_t pid : pids)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<Frame> frameAround(const Tmux& t, const std::string& text) {
    const auto grid = screenCells(t);
    const auto at = [&](int y, int x) -> std::string {
        if (y < 0 || y >= static_cast<int>(grid.size()) || x < 0 || x >= static_cast<int>(grid[y].size()))
            return "";
        return grid[y][x];
    };
    int row = -1;
    int col = -1;
    for (int y = 0; y < static_cast<int>(grid.size()) && row < 0; ++y) {
        std::string line;
        for (const auto& c : grid[y])
            line += c;
        const std::size_t pos = line.find(text);
        if (pos != std::string::npos) {
            row = y;
            col = static_cast<int>(cells(line.substr(0, pos)).size());
        }
    }
    if (row < 0)
        return std::nullopt;

    Frame f;
    // Leftwards: a side of the frame, or its top-left corner when the text
    // is the title.
    for (int x = col - 1; x >= 0 && f.left < 0; --x) {
        if (at(row, x) == "│") {
            f.left = x;
            for (int y = row - 1; y >= 0 && f.top < 0; --y) {
                if (at(y, x) == "┌")
                    f.top = y;
                else if (at(y, x) != "│")
                    return std::nullopt;
            }
        } else if (at(row, x) == "┌") {
            f.left = x;
            f.top = row;
        }
    }
    if (f.top < 0)
        return std::nullopt;
    for (int x = f.left + 1; x < static_cast<int>(grid[f.top].size()) && f.right < 0; ++x)
        if (at(f.top, x) == "┐")
            f.right = x;
    for (int y = f.top + 1; y < static_cast<int>(grid.size()) && f.bottom < 0; ++y) {
        if (at(y, f.left) == "└")
            f.bottom = y;
        else if (at(y, f.left) != "│")
            return std::nullopt;
    }
    if (f.right < 0 || f.bottom < 0 || at(f.bottom, f.right) != "┘")
        return std::nullopt;
    return f;
}

::testing::AssertionResult inWindow(const Tmux& t, const std::string& window, const std::string& text) {
    const auto f = frameAround(t, window);
    if (!f)
        return ::testing::AssertionFailure() << "no whole frame around \"" << window << "\":\n" << t.screen();
    const auto grid = screenCells(t);
    for (int y = f->top + 1; y < f->bottom && y < static_cast<int>(grid.size()); ++y) {
        std::string inside;
        for (int x = f->left + 1; x < f->right && x < static_cast<int>(grid[y].size()); ++x)
            inside += grid[y][x];
        if (inside.find(text) != std::string::npos)
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\"" << text << "\" is not whole in the window of \"" << window
                                         << "\":\n"
                                         << t.screen();
}

::testing::AssertionResult frameFits(const Tmux& t, const std::string& text, int rows) {
    const auto f = frameAround(t, text);
    if (!f)
        return ::testing::AssertionFailure() << "no whole frame around \"" << text << "\":\n" << t.screen();
    if (f->top < 1 || f->bottom > rows - 2)
        return ::testing::AssertionFailure() << "frame of \"" << text << "\" on rows " << f->top << "-" << f->bottom
                                             << " covers the header or the help line:\n"
                                             << t.screen();
    return ::testing::AssertionSuccess();
}

void playScreens(Tmux& t, const std::vector<Screen>& screens, int rows) {
    for (const Screen& s : screens) {
        SCOPED_TRACE(s.text);
        ASSERT_TRUE(t.waitFor(s.text, std::chrono::seconds(30))) << t.screen();
        // Windows that are redrawn (the spinner) may be caught between frames.
        ::testing::AssertionResult fits = ::testing::AssertionFailure();
        pollUntil([&] { return static_cast<bool>(fits = frameFits(t, s.text, rows)); }, std::chrono::seconds(5));
        EXPECT_TRUE(fits);
        const auto frame = frameAround(t, s.text);
        if (frame && !s.title.empty()) {
            EXPECT_NE(t.row(frame->top).find("┤ " + s.title + " ├"), std::string::npos)
                << "title \"" << s.title << "\" not whole on the top border:\n" << t.screen();
        }
        for (const std::string& part : s.parts)
            EXPECT_TRUE(inWindow(t, s.text, part));
        if (!s.focus.empty()) {
            EXPECT_TRUE(focusOn(t, s.focus)) << "the focus is not on \"" << s.focus << "\":\n" << t.screen();
        }
        if (s.keys.empty())
            continue;
        t.send(s.keys);
        if (!s.staysUnder) {
            EXPECT_TRUE(t.waitGone(s.text)) << t.screen();
        }
    }
}

std::string writeBytes(const std::string& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    writeFile(path, bytes);
    return path;
}

std::string garbage(std::size_t n) {
    // What a terminal acts on: another screen, a line-drawing character set,
    // shift-out, a reset, hidden text and cursor, a title, bells, returns.
    std::string g =
        "\x1b[?1049h\x1b(0\x0e\x1b" "c\x1b[8m\x1b[?25l\x1b]0;owned\x07\x1b[2J\r\b\x07\x1b[?1000h\x1b[31m";
    for (int b = 0; b < 256; ++b)
        g += static_cast<char>(b);
    // UTF-8 that is not: a lone continuation, a cut sequence, an 8-bit CSI.
    g += "\x80\xc3\xff\xfe\xc2\x9b" "2J";
    unsigned int x = 12345;
    while (g.size() < n) {
        x = x * 1103515245u + 12345u;
        g += static_cast<char>((x >> 16) & 0xFF);
    }
    g.resize(n);
    return g;
}

std::vector<std::string> stamped(const std::string& log) {
    std::vector<std::string> out;
    static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: )");
    for (std::sregex_iterator it(log.begin(), log.end(), stamp); it != std::sregex_iterator(); ++it) {
        const std::size_t from = static_cast<std::size_t>(it->position() + it->length());
        const std::size_t nl = log.find('\n', from);
        out.push_back(log.substr(from, nl == std::string::npos ? std::string::npos : nl - from));
    }
    return out;
}

::testing::AssertionResult logEndsWith(const std::string& log, const std::vector<std::string>& want) {
    const auto entries = stamped(log);
    if (entries.size() >= want.size() &&
        std::equal(want.begin(), want.end(), entries.end() - static_cast<long>(want.size())))
        return ::testing::AssertionSuccess();
    std::string tail;
    for (std::size_t i = entries.size() > 6 ? entries.size() - 6 : 0; i < entries.size(); ++i)
        tail += "  | " + entries[i] + "\n";
    return ::testing::AssertionFailure() << "the log's last entries are:\n" << tail;
}

std::string lostTerminalEntry(const std::string& log) {
    // Whichever came first: the failed read of a question, or the hang-up
    // seen while a command ran.
    const std::string readFailed = "Lost the terminal: reading the terminal failed";
    const auto entries = stamped(log);
    return std::find(entries.begin(), entries.end(), readFailed) != entries.end()
        ? readFailed
        : "Lost the terminal: the terminal hung up";
}
