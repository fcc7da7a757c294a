// Questions and list screens through screen_driver scenes: focus rules, the
// cancel confirmation, Escape and F12, and the plain-mode answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene_terminal.h"
#include "tmux.h"

namespace {

const std::string kAreYouSure = "Are you sure you want to cancel?";

struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string focused;  // at the start
    std::vector<Step> steps;
    int status;  // the scene's answer as an exit status (-1 is 255)
};

void runCases(const std::vector<Case>& cases, const std::string& shown) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        Tmux t(scene.command(c.args));
        ASSERT_TRUE(t.waitFor(shown)) << t.screen();
        EXPECT_TRUE(focusOn(t, c.focused)) << "focus: " << atCursor(t) << "\n" << t.screen();
        ASSERT_TRUE(play(t, c.steps)) << t.screen();
        EXPECT_EQ(t.waitExit(), c.status) << t.screen();
    }
}

TEST(Questions, NextCancelQuestion) {
    const std::vector<std::string> ask = {"scrChoise", "Question", "Shall we go on?"};
    auto with = [&](std::string def) {
        auto a = ask;
        a.push_back(def);
        a.push_back("0");
        return a;
    };
    runCases(
        {
            {"Enter on Next", with("1"), "Next >", {{{"Enter"}}}, 1},
            {"Escape", with("1"), "Next >", {{{"Escape"}}}, 1},
            {"F12", with("1"), "Next >", {{{"F12"}}}, 1},
            {"Cancel confirmed", with("1"), "Next >", {{{"Tab", "Enter"}, kAreYouSure}, {{"Tab", "Enter"}}}, 0},
            {"Cancel confirmed by Escape", with("1"), "Next >", {{{"Tab", "Enter"}, kAreYouSure}, {{"Escape"}}}, 0},
            {"Cancel refused, then Next",
             with("1"),
             "Next >",
             {{{"Tab", "Enter"}, kAreYouSure}, {{"Enter"}, "", kAreYouSure}, {{"Tab", "Enter"}}},
             1},
            // Without confirmation: a Warning would keep the scene waiting.
            {"focus on Cancel when def_btn is 0", with("0"), "Cancel", {{{"Enter"}}}, 0},
        },
        "Shall we go on?");
}

TEST(Questions, RefusedCancelLeavesTheFocusOnCancel) {
    Scene scene;
    Tmux t(scene.command({"scrChoise", "Question", "Shall we go on?", "1", "0"}));
    ASSERT_TRUE(t.waitFor("Shall we go on?")) << t.screen();
    ASSERT_TRUE(play(t, {{{"Tab", "Enter"}, kAreYouSure}})) << t.screen();
    EXPECT_TRUE(focusOn(t, " No ")) << t.screen();
    ASSERT_TRUE(play(t, {{{"Enter"}, "", kAreYouSure}})) << t.screen();
    EXPECT_TRUE(focusOn(t, "Cancel")) << t.screen();
}

TEST(Questions, RetryCancelQuestion) {
    auto ask = [](std::string def) { return std::vector<std::string>{"scrChoiseRetry", "Failed", "Try again?", def}; };
    runCases(
        {
            {"Enter on Retry", ask("1"), "Retry", {{{"Enter"}}}, 1},
            {"Escape retries", ask("1"), "Retry", {{{"Escape"}}}, 1},
            {"F12 retries", ask("1"), "Retry", {{{"F12"}}}, 1},
            {"Cancel confirmed", ask("1"), "Retry", {{{"Tab", "Enter"}, kAreYouSure}, {{"Tab", "Enter"}}}, 0},
            {"Cancel refused, then Retry",
             ask("1"),
             "Retry",
             {{{"Tab", "Enter"}, kAreYouSure}, {{"Enter"}, "", kAreYouSure}, {{"Tab", "Enter"}}},
             1},
            {"def_btn 0 focuses Retry too", ask("0"), "Retry", {{{"Enter"}}}, 1},
            {"def_btn 0 cancels without asking", ask("0"), "Retry", {{{"Tab", "Enter"}}}, 0},
        },
        "Try again?");
}

TEST(Questions, NextSkipCancelQuestion) {
    const std::vector<std::string> ask = {"scrChoiseNextSkipCancel", "Conflict", "A conflicting package is installed."};
    runCases(
        {
            {"Next", ask, "Next", {{{"Enter"}}}, 2},
            {"Skip", ask, "Next", {{{"Tab", "Enter"}}}, 1},
            {"Cancel without asking", ask, "Next", {{{"Tab", "Tab", "Enter"}}}, 0},
            {"Escape", ask, "Next", {{{"Escape"}}}, 2},
            {"F12", ask, "Next", {{{"F12"}}}, 2},
        },
        "A conflicting package is installed.");
}

TEST(ListScreens, ActionList) {
    auto list = [](std::string def) {
        return std::vector<std::string>{"scrSelectAction", "Installed", "The agent is already installed.", def,
                                        "Upgrade", "1", "Remove", "2"};
    };
    runCases(
        {
            {"Enter on the first entry", list("0"), "Upgrade", {{{"Enter"}}}, 1},
            {"Enter on Remove ends the form", list("0"), "Upgrade", {{{"Down", "Enter"}}}, 2},
            {"def picks the current entry", list("1"), "Remove", {{{"Enter"}}}, 2},
            {"Next takes the highlighted entry", list("0"), "Upgrade", {{{"Down", "Tab", "Enter"}}}, 2},
            {"Escape takes the highlighted entry", list("0"), "Upgrade", {{{"Down", "Escape"}}}, 2},
            {"F12 takes the highlighted entry", list("0"), "Upgrade", {{{"Down", "F12"}}}, 2},
            {"Cancel confirmed", list("0"), "Upgrade", {{{"Tab", "Tab", "Enter"}, kAreYouSure}, {{"Tab", "Enter"}}},
             255},
            {"Cancel refused, then the list again",
             list("0"),
             "Upgrade",
             {{{"Tab", "Tab", "Enter"}, kAreYouSure}, {{"Enter"}, "", kAreYouSure}, {{"Tab", "Down", "Enter"}}},
             2},
            // A current name that matches no entry leaves the first one current.
            {"def past the list", list("7"), "Upgrade", {{{"Enter"}}}, 1},
        },
        "The agent is already installed.");
}

TEST(ListScreens, RadioList) {
    const std::vector<std::string> type = {"srcSelectInstType", "Installation type"};
    const std::vector<std::string> pick = {"scrSelectComponents", "Components", "Pick one:", "1", "Small", "5",
                                           "Large", "7"};
    runCases(
        {
            {"Next with the default", type, "Next >", {{{"Enter"}}}, 1},
            {"Advanced chosen", type, "Next >", {{{"Tab", "Tab", "Down", "Space", "Tab", "Enter"}}}, 0},
            {"Cancel without asking", type, "Next >", {{{"Tab", "Enter"}}}, 255},
            {"Escape", type, "Next >", {{{"Escape"}}}, 1},
            {"def selects the entry", pick, "Next >", {{{"Enter"}}}, 7},
            {"first entry chosen", pick, "Next >", {{{"Tab", "Tab", "Space", "Tab", "Enter"}}}, 5},
        },
        "(*)");

    Scene scene;
    Tmux t(scene.command(pick));
    ASSERT_TRUE(t.waitFor("Pick one:")) << t.screen();
    EXPECT_NE(rowOf(t, "( ) Small"), -1) << t.screen();
    EXPECT_NE(rowOf(t, "(*) Large"), -1) << t.screen();
    EXPECT_EQ(rowOf(t, "(*) Large"), rowOf(t, "( ) Small") + 1) << t.screen();
}

TEST(ListScreens, TemplateQuestion) {
    runCases(
        {
            {"finish", {"scrChoiceCd"}, " Next ", {{{"Enter"}}}, 2},
            {"more from the medium", {"scrChoiceCd"}, " Next ", {{{"Tab", "Down", "Space", "Tab", "Enter"}}}, 0},
            {"Escape", {"scrChoiceCd"}, " Next ", {{{"Escape"}}}, 2},
        },
        "(*) Finish installation of additional templates");
}

TEST(Questions, PlainModeAnswersWithoutAsking) {
    struct Plain {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Plain> cases = {
        {{"scrChoise", "Question", "Shall we go on?", "1", "1"}, "Shall we go on?\nRESULT 1\n"},
        {{"scrChoise", "Question", "Shall we go on?", "0", "0"}, "RESULT 1\n"},
        {{"scrChoiseRetry", "Failed", "Try again?", "1"}, "RESULT 1\n"},
        {{"scrChoiseNextSkipCancel", "Conflict", "Go on?"}, "RESULT 1\n"},
        {{"scrSelectAction", "Installed", "Choose.", "1", "Upgrade", "5", "Remove", "2"}, "RESULT 1\n"},
        {{"scrSelectComponents", "Components", "Pick one:", "1", "Small", "5", "Large", "7"}, "RESULT 1\n"},
        {{"srcSelectInstType", "Installation type"}, "RESULT 1\n"},
        {{"scrChoiceCd"}, "RESULT 2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Scene scene;
        const RunResult r = scene.plain(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
