// The screens that frame a run, in a real terminal and in plain mode: the
// welcome question of the installer itself, the licence agreement and the
// finish screens through screen_driver scenes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <string>
#include <vector>

#include "scene_terminal.h"
#include "simhost.h"
#include "tmux.h"

namespace {

const std::string kWelcome = "Welcome to Kelvarin Installer!";
const std::string kAreYouSure = "Are you sure you want to cancel?";

bool logHas(const std::string& log, const std::string& message) {
    for (const auto& m : logMessages(log))
        if (m == message)
            return true;
    return false;
}

// ---- welcome ----------------------------------------------------------------

TEST(WelcomeScreen, ShowsItsTextReflowedWithNextFocusedAndTheRowPadded) {
    SimHost host;
    Tmux t(host.commandLine({}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    EXPECT_NE(rowOf(t, "┤ Kelvarin Installer ├"), -1) << t.screen();

    const int top = rowOf(t, kWelcome);
    const int col = columnOf(t.row(top), kWelcome);
    const std::vector<std::string> text = {
        kWelcome,
        "",
        "This Installer will help you install Kelvarin used to",
        "migrate a Corvane Container to a Corvane Virtual Machine.",
        "",
        "Click \"Next\" to start the installation process.",
        "Click \"Cancel\" at any moment to stop installing.",
    };
    for (std::size_t i = 0; i < text.size(); ++i)
        EXPECT_EQ(cellsTrimmed(t.row(top + static_cast<int>(i)), col, 58), text[i]) << t.screen();

    EXPECT_TRUE(focusOn(t, "Next >")) << t.screen();
    // The first button's frame starts 36 columns right of the text.
    const int buttonTop = t.cursor().second - 1;
    EXPECT_EQ(columnOf(t.row(buttonTop), "┌") - col, 36) << t.screen();
}

TEST(WelcomeScreen, CancelAsksFirstNoReturnsToTheQuestionYesExitsWithTen) {
    SimHost host;
    Tmux t(host.commandLine({}));
    ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
    ASSERT_TRUE(play(t, {{{"Tab", "Enter"}, kAreYouSure, ""}})) << t.screen();
    EXPECT_TRUE(focusOn(t, " No ")) << t.screen();

    ASSERT_TRUE(play(t, {{{"Enter"}, "", kAreYouSure}})) << t.screen();
    EXPECT_NE(rowOf(t, kWelcome), -1) << t.screen();
    EXPECT_TRUE(focusOn(t, "Cancel")) << t.screen();

    ASSERT_TRUE(play(t, {{{"Enter"}, kAreYouSure, ""}, {{"Tab"}, "", ""}})) << t.screen();
    EXPECT_TRUE(focusOn(t, " Yes ")) << t.screen();
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 10) << t.screen();
    const auto log = logMessages(host.log());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Exiting with code 10");
}

TEST(WelcomeScreen, EscapeAndF12GoOn) {
    for (const char* key : {"Escape", "F12"}) {
        SCOPED_TRACE(key);
        SimHost host;
        Tmux t(host.commandLine({}));
        ASSERT_TRUE(t.waitFor(kWelcome)) << t.screen();
        t.send({key});
        ASSERT_TRUE(t.waitGone(kWelcome)) << t.screen();
        // Whatever comes next, it is not the way out.
        ASSERT_TRUE(t.waitFor("┤")) << t.screen();
        EXPECT_EQ(rowOf(t, kAreYouSure), -1) << t.screen();
        EXPECT_FALSE(logHas(host.log(), "Exiting with code 10")) << host.log();
    }
}

TEST(WelcomeScreen, UnattendedRunShowsNoWelcomeAndEndsWithTheFinishMessage) {
    SimHost host;
    const RunResult r = host.run({"--install"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Welcome"), std::string::npos) << r.out;
    const std::string finish = "Congratulations!\n\nYou have successfully completed installing Kelvarin for Linux.\n\n\n";
    ASSERT_GE(r.out.size(), finish.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - finish.size()), finish);
}

// ---- licence ----------------------------------------------------------------

// A licence whose first lines show the text box's width: the first line is
// exactly `width` characters and stays on one row, the second one character
// more and wraps its last word. Numbered rows follow.
std::string measuringLicence(int width) {
    std::string text = std::string(width - 6, 'P') + " QQQQQ\n" + std::string(width - 6, 'R') + " SSSSSS\n";
    for (int i = 3; i <= 30; ++i)
        text += "row H" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "\n";
    return text;
}

// The name of numbered row i.
std::string rowName(int i) {
    return "H" + std::string(i < 10 ? "0" : "") + std::to_string(i);
}

TEST(LicenceScreen, TextBoxFitsTheTerminal) {
    struct Case {
        int cols;
        int rows;
        int boxWidth;
        int boxRows;
    };
    // Below 15 rows the box keeps three rows, so the text can still be read.
    // Below 70 columns it gives up columns: the window keeps its border,
    // margin and scroll bar on the screen.
    const std::vector<Case> cases = {{80, 24, 64, 10}, {50, 24, 44, 10}, {80, 14, 64, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cols) + "x" + std::to_string(c.rows));
        Scene scene;
        writeFile(scene.dir.path + "/LICENSE", measuringLicence(c.boxWidth));
        Tmux t(scene.command({"license_agreement_show"}), c.cols, c.rows);
        ASSERT_TRUE(t.waitFor("QQQQQ")) << t.screen();

        const int first = rowOf(t, "QQQQQ");
        EXPECT_NE(t.row(first).find("PPPP"), std::string::npos) << t.screen();
        EXPECT_NE(t.row(first + 1).find("RRRR"), std::string::npos) << t.screen();
        EXPECT_EQ(t.row(first + 1).find('S'), std::string::npos) << t.screen();
        EXPECT_NE(t.row(first + 2).find("SS"), std::string::npos) << t.screen();
        // Three rows hold the two measuring lines; numbered rows fill the rest.
        const int lastShown = c.boxRows - 1;
        for (int i = 3; i <= lastShown; ++i)
            EXPECT_EQ(rowOf(t, rowName(i)), first + i) << t.screen();
        EXPECT_EQ(rowOf(t, rowName(lastShown + 1)), -1) << t.screen();
        EXPECT_NE(rowOf(t, "Accept"), -1) << t.screen();
        EXPECT_NE(rowOf(t, "Declin"), -1) << t.screen();
        if (c.rows == 14) {
            // The window leaves the header and the help line alone.
            EXPECT_EQ(rowOf(t, "Kelvarin 1.0 Installer"), 0) << t.screen();
            EXPECT_EQ(rowOf(t, "<Tab> to switch"), c.rows - 1) << t.screen();
            // Accept is still within reach.
            t.send({"Tab", "Tab"});
            EXPECT_TRUE(focusOn(t, " Accept ")) << t.screen();
            t.send({"Enter"});
            EXPECT_EQ(t.waitExit(), 1) << t.screen();
        }
    }
}

TEST(LicenceScreen, OnlyDeclineDeclines) {
    struct Case {
        std::vector<std::string> args;
        std::string focused;
        std::vector<std::string> keys;
        int result;
    };
    const std::vector<Case> cases = {
        {{"license_agreement_show"}, " Decline ", {"Enter"}, 0},
        {{"license_agreement_show"}, " Decline ", {"Escape"}, 1},
        {{"license_agreement_show"}, " Decline ", {"F12"}, 1},
        {{"license_agreement_show"}, " Decline ", {"Tab", "Tab", "Enter"}, 1},
        {{"scrAgreement", "Terms", "1", "LICENSE", "1"}, " Agree ", {"Enter"}, 1},
        {{"scrAgreement", "Terms", "0", "LICENSE", "1"}, " Disagree ", {"Enter"}, 0},
        {{"scrAgreement", "Terms", "1", "LICENSE", "0"}, " Accept ", {"Tab", "Enter"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.focused + " " + c.keys[0]);
        Scene scene;
        writeFile(scene.dir.path + "/LICENSE", "Use it kindly.\n");
        Tmux t(scene.command(c.args));
        ASSERT_TRUE(t.waitFor("Use it kindly.")) << t.screen();
        EXPECT_TRUE(focusOn(t, c.focused)) << t.screen();
        t.send(c.keys);
        EXPECT_EQ(t.waitExit(), c.result) << t.screen();
    }
}

TEST(LicenceScreen, EmptyLicenceShowsAnEmptyBoxThatCanBeAccepted) {
    Scene scene;
    writeFile(scene.dir.path + "/LICENSE", "");
    Tmux t(scene.command({"license_agreement_show"}));
    ASSERT_TRUE(t.waitFor("┤ License Agreement ├")) << t.screen();
    const int title = rowOf(t, "┤ License Agreement ├");
    const int col = columnOf(t.row(title), "┌") + 2;
    for (int y = title + 1; y < title + 11; ++y)
        EXPECT_EQ(cellsTrimmed(t.row(y), col, 64), "") << t.screen();
    t.send({"Tab", "Tab", "Enter"});
    EXPECT_EQ(t.waitExit(), 1) << t.screen();
}

TEST(LicenceScreen, TextBeyond65535BytesIsCut) {
    // 60-byte lines: byte 65535 falls 15 bytes into line 1093.
    std::string text;
    for (int i = 1; i <= 1200; ++i) {
        char head[8];
        std::snprintf(head, sizeof head, "L%04d ", i);
        text += head + std::string(53, 'x') + "\n";
    }
    Scene scene;
    writeFile(scene.dir.path + "/LICENSE", text);
    Tmux t(scene.command({"license_agreement_show"}));
    ASSERT_TRUE(t.waitFor("L0001")) << t.screen();
    // Tab to the text box, then page to its end.
    std::vector<std::string> keys = {"Tab"};
    keys.insert(keys.end(), 130, "NPage");
    t.send(keys);
    ASSERT_TRUE(t.waitFor("L1093")) << t.screen();
    const std::string last = t.row(rowOf(t, "L1093"));
    EXPECT_NE(last.find("L1093 " + std::string(9, 'x') + " "), std::string::npos) << t.screen();
    EXPECT_EQ(last.find("L1093 " + std::string(10, 'x')), std::string::npos) << t.screen();
    EXPECT_EQ(rowOf(t, "L1094"), -1) << t.screen();
}

TEST(LicenceScreen, MissingLicenceIsFatalInBothModes) {
    const std::string message = "License agreement file 'LICENSE' cannot be found";
    for (bool directory : {false, true}) {
        SCOPED_TRACE(directory ? "LICENSE is a directory" : "no LICENSE");
        {
            Scene scene;
            if (directory)
                runProcess({"mkdir", scene.dir.path + "/LICENSE"});
            Tmux t(scene.command({"license_agreement_show"}));
            ASSERT_TRUE(t.waitFor(message)) << t.screen();
            EXPECT_NE(rowOf(t, "┤ Error ├"), -1) << t.screen();
            t.send({"Enter"});
            EXPECT_EQ(t.waitExit(), 1) << t.screen();
            const auto log = logMessages(scene.log());
            EXPECT_EQ(log, (std::vector<std::string>{"Error: " + message, "Exiting with code 1"}));
        }
        {
            Scene scene;
            if (directory)
                runProcess({"mkdir", scene.dir.path + "/LICENSE"});
            const RunResult r = scene.plain({"license_agreement_show"});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, message + "\n");
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(logMessages(scene.log()), (std::vector<std::string>{"Error: " + message, "Exiting with code 1"}));
        }
    }
}

TEST(LicenceScreen, PlainModeAcceptsUnseen) {
    Scene scene;
    writeFile(scene.dir.path + "/LICENSE", "Use it kindly.\n");
    const RunResult r = scene.plain({"license_agreement_show"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "RESULT 1\n");
    EXPECT_EQ(r.err, "");
}

// ---- finish -----------------------------------------------------------------

TEST(FinishScreen, TitleAndMessageFollowTheAction) {
    struct Case {
        std::string act;
        std::string title;
        std::vector<std::string> rows;  // as reflowed to 58 columns
        std::string message;
    };
    const std::vector<Case> cases = {
        {"1", "Kelvarin Installation Completed",
         {"Congratulations!", "", "You have successfully completed installing Kelvarin for", "Linux."},
         "Congratulations!\n\nYou have successfully completed installing Kelvarin for Linux.\n\n"},
        {"2", "Kelvarin Updating Completed",
         {"Congratulations!", "", "You have successfully completed updating Kelvarin for", "Linux."},
         "Congratulations!\n\nYou have successfully completed updating Kelvarin for Linux.\n"},
        {"3", "Kelvarin Installation Completed",
         {"Congratulations!", "", "You have successfully removed Kelvarin for Linux."},
         "Congratulations!\n\nYou have successfully removed Kelvarin for Linux.\n\n"},
        {"5", "Kelvarin Installation Completed",
         {"Congratulations!", "", "You have successfully completed installing Kelvarin for", "Linux."},
         "Congratulations!\n\nYou have successfully completed installing Kelvarin for Linux.\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("action " + c.act);
        Scene scene;
        {
            Tmux t(scene.command({"show_finish_screen", c.act, "0", "0"}));
            ASSERT_TRUE(t.waitFor("Congratulations!")) << t.screen();
            EXPECT_NE(rowOf(t, "┤ " + c.title + " ├"), -1) << t.screen();
            const int top = rowOf(t, "Congratulations!");
            const int col = columnOf(t.row(top), "Congratulations!");
            for (std::size_t i = 0; i < c.rows.size(); ++i)
                EXPECT_EQ(cellsTrimmed(t.row(top + static_cast<int>(i)), col, 58), c.rows[i]) << t.screen();
            EXPECT_TRUE(focusOn(t, " Exit ")) << t.screen();
            EXPECT_EQ(rowOf(t, "Reboot"), -1) << t.screen();
            t.send({"Enter"});
            EXPECT_EQ(t.waitExit(), 0) << t.screen();
        }
        // Plain mode prints the message and one more newline.
        const RunResult r = scene.plain({"show_finish_screen", c.act, "0", "0"});
        EXPECT_EQ(r.out, c.message + "\nRESULT 0\n");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(FinishScreen, RebootIsOfferedOnlyWhenAskedAndFocusedOnlyWhenDefault) {
    struct Case {
        std::string show;
        std::string isDefault;
        std::string focused;
        std::vector<std::string> keys;
        int result;
    };
    const std::vector<Case> cases = {
        {"1", "1", "Reboot", {"Enter"}, 1},
        {"1", "0", " Exit ", {"Enter"}, 0},
        {"1", "0", " Exit ", {"Tab", "Enter"}, 1},
        {"1", "1", "Reboot", {"Escape"}, 0},
        {"1", "1", "Reboot", {"F12"}, 0},
        {"0", "1", " Exit ", {"Enter"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("reboot " + c.show + " default " + c.isDefault + " " + c.keys[0]);
        Scene scene;
        Tmux t(scene.command({"scrFinished", "All set", "Done.", c.show, c.isDefault}));
        ASSERT_TRUE(t.waitFor("Done.")) << t.screen();
        EXPECT_EQ(rowOf(t, "Reboot") != -1, c.show == "1") << t.screen();
        EXPECT_TRUE(focusOn(t, c.focused)) << t.screen();
        t.send(c.keys);
        EXPECT_EQ(t.waitExit(), c.result) << t.screen();
    }
}

// Scene results: the screen's answer plus 2 when the box ended up ticked.
TEST(FinishScreen, CheckBoxStateIsStoredBack) {
    struct Case {
        std::vector<std::string> args;
        std::string shown;
        std::vector<std::string> keys;
        int result;
    };
    const std::vector<Case> cases = {
        {{"scrFinishedWithCheckBox", "Removed", "Gone.", "Drop settings", "1", "0", "0"}, "[*] Drop settings",
         {"Enter"}, 2},
        {{"scrFinishedWithCheckBox", "Removed", "Gone.", "Drop settings", "1", "0", "0"}, "[*] Drop settings",
         {"Tab", "Space", "Tab", "Enter"}, 0},
        {{"scrFinishedWithCheckBox", "Removed", "Gone.", "Drop settings", "0", "0", "0"}, "[ ] Drop settings",
         {"Tab", "Space", "Escape"}, 2},
        {{"scrFinishedWithCheckBox", "Removed", "Gone.", "Drop settings", "0", "1", "1"}, "[ ] Drop settings",
         {"Enter"}, 1},
        {{"show_remove_finish_screen", "1", "0", "0"}, "[*] ", {"Enter"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.shown + " " + c.keys[0]);
        Scene scene;
        Tmux t(scene.command(c.args));
        ASSERT_TRUE(t.waitFor(c.shown)) << t.screen();
        t.send(c.keys);
        EXPECT_EQ(t.waitExit(), c.result) << t.screen();
    }

    Scene scene;
    Tmux t(scene.command({"show_remove_finish_screen", "0", "0", "0"}));
    ASSERT_TRUE(t.waitFor("You have successfully removed Kelvarin for Linux.")) << t.screen();
    EXPECT_NE(rowOf(t, "┤ Kelvarin Installation Completed ├"), -1) << t.screen();
    EXPECT_NE(rowOf(t, "[ ] "), -1) << t.screen();

    // Plain mode prints the message and leaves the box as it was.
    const RunResult r = scene.plain({"scrFinishedWithCheckBox", "Removed", "Gone.", "Drop settings", "1", "0", "0"});
    EXPECT_EQ(r.out, "Gone.\nRESULT 2\n");
}

}  // namespace
