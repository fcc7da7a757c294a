// The input dialogs in a real terminal, driven through the screen driver on
// the simulated host (full-screen mode touches the printk levels), and the
// plain prompt on standard input.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "simhost.h"
#include "tmux.h"

namespace {

// A scene in full-screen mode on a fresh simulated host. The result is the
// exit status (255 for -1); what the scene reports is read after its end.
struct Scene {
    TempDir dir;
    SimHost host;
    Tmux term;
    explicit Scene(const std::vector<std::string>& args)
        : term(host.commandLine(args, {"KEL_SCENE_REPORT=" + dir.path + "/report"}, kScreenDriver)) {}
    std::string report() const { return readFile(dir.path + "/report"); }
};

// Row (0-based) of the first screen line holding text, or -1.
int rowOf(const std::string& screen, const std::string& text) {
    std::istringstream in(screen);
    std::string line;
    for (int y = 0; std::getline(in, line); ++y)
        if (line.find(text) != std::string::npos)
            return y;
    return -1;
}

TEST(ProxyDialog, ConfirmingFillsBothFieldsAndCancelLeavesThemAlone) {
    const std::string longName(30, 'n');
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> keys;  // sent one group after another
        int status;
        std::string user;
        std::string password;
    } cases[] = {
        {"Enter in the name entry", {{"alice"}, {"Tab"}, {"s3cret"}, {"BTab"}, {"Enter"}}, 0, "alice", "s3cret"},
        {"OK button", {{"bob"}, {"Tab"}, {"pw"}, {"Tab"}, {"Enter"}}, 0, "bob", "pw"},
        {"Enter in the password entry, longer than the entry is wide", {{longName}, {"Tab"}, {"x y"}, {"Enter"}}, 0,
         longName, "x y"},
        {"Cancel button", {{"carol"}, {"Tab"}, {"pw"}, {"Tab"}, {"Tab"}, {"Enter"}}, 255, "untouched", "untouched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s({"getProxyUserPassInput", "Proxy login"});
        ASSERT_TRUE(s.term.waitFor("Your proxy server requires authentication."));
        EXPECT_NE(s.term.screen().find("Proxy login"), std::string::npos);
        for (const auto& group : c.keys)
            s.term.send(group);
        EXPECT_EQ(s.term.waitExit(), c.status) << s.term.screen();
        EXPECT_EQ(s.report(), "user=[" + c.user + "]\npassword=[" + c.password + "]\n");
    }
}

// Screen column of text in a row: box-drawing characters take one column
// but several bytes.
int columnOf(const std::string& row, const std::string& text) {
    const auto at = row.find(text);
    if (at == std::string::npos)
        return -1;
    int column = 0;
    for (size_t i = 0; i < at; ++i)
        column += (static_cast<unsigned char>(row[i]) & 0xC0) != 0x80;
    return column;
}

// Polls (bounded) until the cursor is at want; where it is then.
std::pair<int, int> waitCursor(const Tmux& term, std::pair<int, int> want) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto at = term.cursor();
    while (at != want && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        at = term.cursor();
    }
    return at;
}

TEST(ProxyDialog, EntriesLineUpAndEscapeConfirmsEmptyFields) {
    Scene s({"getProxyUserPassInput", "Proxy login"});
    ASSERT_TRUE(s.term.waitFor("Your proxy server requires authentication."));
    const std::string screen = s.term.screen();
    const int nameRow = rowOf(screen, "User Name:");
    const int passRow = rowOf(screen, "Password:");
    ASSERT_EQ(passRow, nameRow + 1) << screen;
    const int labelColumn = columnOf(s.term.row(nameRow), "User Name:");
    EXPECT_EQ(columnOf(s.term.row(passRow), "Password:"), labelColumn) << screen;
    // The name entry has the focus; both entries start 12 columns after the labels.
    EXPECT_EQ(waitCursor(s.term, {labelColumn + 12, nameRow}), std::make_pair(labelColumn + 12, nameRow));
    s.term.send({"Tab"});
    EXPECT_EQ(waitCursor(s.term, {labelColumn + 12, passRow}), std::make_pair(labelColumn + 12, passRow));
    s.term.send({"Escape"});
    EXPECT_EQ(s.term.waitExit(), 0) << s.term.screen();
    EXPECT_EQ(s.report(), "user=[]\npassword=[]\n");
}

TEST(ProxyDialog, WrongCredentialsWarningDefaultsToNo) {
    const struct {
        const char* name;
        std::vector<std::string> keys;
        int status;
    } cases[] = {
        {"Enter on the focused No", {"Enter"}, 0},
        {"Yes", {"BTab", "Enter"}, 1},
        {"Escape", {"Escape"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s({"WrongProxyCredentialsMessage"});
        ASSERT_TRUE(s.term.waitFor("You entered an invalid name or password."));
        EXPECT_NE(s.term.screen().find("click No and check the name"), std::string::npos) << s.term.screen();
        s.term.send(c.keys);
        EXPECT_EQ(s.term.waitExit(), c.status) << s.term.screen();
    }
}

TEST(DependencyDialog, ThreeAnswers) {
    TempDir t;
    writeFile(t.path + "/conflicts", "kel-core requires libfoo >= 2\n  kel-extras conflicts with bar\n");
    const struct {
        const char* name;
        std::vector<std::string> keys;
        int status;
        const char* retry;
    } cases[] = {
        {"Abort has the focus", {"Enter"}, 1, "retry=0\n"},
        {"Try again", {"BTab", "Enter"}, 0, "retry=1\n"},
        {"Skip", {"BTab", "BTab", "Enter"}, 0, "retry=0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s({"depDialog", t.path + "/conflicts"});
        ASSERT_TRUE(s.term.waitFor("Dependency conflict"));
        const std::string screen = s.term.screen();
        EXPECT_NE(screen.find("Installing Corvane Virozevovo on your system will cause"), std::string::npos) << screen;
        EXPECT_NE(screen.find("kel-core requires libfoo >= 2"), std::string::npos) << screen;
        EXPECT_NE(screen.find("kel-extras conflicts with bar"), std::string::npos) << screen;
        for (const char* label : {"Skip", "Try again", "Abort"})
            EXPECT_NE(screen.find(label), std::string::npos) << label;
        s.term.send(c.keys);
        EXPECT_EQ(s.term.waitExit(), c.status) << s.term.screen();
        EXPECT_EQ(s.report(), c.retry);
    }
}

TEST(FileTextBox, TenLinesShowSixAndScroll) {
    TempDir t;
    std::string text;
    for (int i = 1; i <= 10; ++i)
        text += "  line-" + std::to_string(i) + "\n";
    writeFile(t.path + "/ten", text);
    Scene s({"layoutTextFromFile", t.path + "/ten"});
    ASSERT_TRUE(s.term.waitFor("line-1 "));
    std::string screen = s.term.screen();
    const int first = rowOf(screen, "line-1 ");
    EXPECT_EQ(rowOf(screen, "line-6"), first + 5) << screen;
    EXPECT_EQ(rowOf(screen, "line-7"), -1) << screen;
    // The box takes the focus after the button; scrolling brings the rest in.
    s.term.send({"Tab"});
    for (int i = 0; i < 9; ++i)
        s.term.send({"Down"});
    ASSERT_TRUE(s.term.waitFor("line-10")) << s.term.screen();
    screen = s.term.screen();
    EXPECT_EQ(rowOf(screen, "line-10"), first + 5) << screen;
    s.term.send({"Tab", "Enter"});
    EXPECT_EQ(s.term.waitExit(), 0);
}

TEST(MissingPackages, ListBoxHoldsUpToSixRowsAndScrollsBeyond) {
    for (int count : {3, 7}) {
        SCOPED_TRACE(count);
        std::vector<std::string> args = {"missedPackages"};
        for (int i = 1; i <= count; ++i)
            args.push_back("kel-pkg-" + std::to_string(i));
        Scene s(args);
        ASSERT_TRUE(s.term.waitFor("kel-pkg-1"));
        std::string screen = s.term.screen();
        EXPECT_NE(screen.find("are omitted from your installation media"), std::string::npos) << screen;
        const int first = rowOf(screen, "kel-pkg-1");
        const int shown = count > 6 ? 6 : count;
        EXPECT_EQ(rowOf(screen, "kel-pkg-" + std::to_string(shown)), first + shown - 1) << screen;
        // One blank row, then the button's frame: the box is exactly as high as shown.
        EXPECT_EQ(rowOf(screen, "Exit"), first + shown + 2) << screen;
        if (count > 6) {
            EXPECT_EQ(rowOf(screen, "kel-pkg-7"), -1) << screen;
            s.term.send({"Tab"});
            for (int i = 0; i < 6; ++i)
                s.term.send({"Down"});
            ASSERT_TRUE(s.term.waitFor("kel-pkg-7")) << s.term.screen();
            EXPECT_EQ(rowOf(s.term.screen(), "kel-pkg-7"), first + 5);
            s.term.send({"Tab"});
        }
        s.term.send({"Enter"});
        EXPECT_EQ(s.term.waitExit(), 0) << s.term.screen();
    }
}

TEST(PlainPrompt, ReadsOneLineWithoutItsEnd) {
    const std::string longLine(5000, 'z');
    const struct {
        const char* name;
        std::string input;
        std::string line;
    } cases[] = {
        {"a line and more", "typed line\nsecond\n", "line=[typed line]"},
        {"last line without newline", "no end", "line=[no end]"},
        {"empty line", "\n", "line=[]"},
        {"end of input", "", "line=NULL"},
        {"longer than the buffer: the first 4094 characters", longLine + "\n", "line=[" + longLine.substr(0, 4094) + "]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir t;
        writeFile(t.path + "/in", c.input);
        const RunResult r = runProcess(
            {"sh", "-c", shellQuote(kScreenDriver) + " --plain read_stdin 'Your name: ' <" + shellQuote(t.path + "/in")});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "Your name: RESULT 0\n" + c.line + "\n");
    }
}

}  // namespace
