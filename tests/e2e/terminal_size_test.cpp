// Terminal sizes: every window of the main sequence is whole on every
// terminal from the smallest one the dialogs are laid out for up to large
// ones, in English and in German (longer labels and titles): its frame off
// the header and the help line, its title, its buttons, the focus where the
// standard layout has it. A text that does not fit scrolls to its end.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "robustness.h"
#include "scene_terminal.h"
#include "screens/screen.h"
#include "simhost.h"
#include "tmux.h"

namespace {

// What a run shows, as fragments that stay on one row even on the smallest
// terminal.
struct Texts {
    const char* name;
    std::vector<std::string> env;
    std::string welcomeTitle, welcome, next, cancel;
    std::string warning, areYouSure, yes, no;
    std::string licence, accept, decline;
    std::string selinuxTitle, selinux, diskTitle;
    std::string actionTitle, action;
    std::string packagesTitle, packages, spinner;
    std::string errorTitle, busy, retry, failed, exit;
    std::string leftOutTitle, leftOut, ok;
    std::string installed, upgraded, congratulations;
};

const Texts kEnglish = {
    "en", {},
    "Kelvarin Installer", "Welcome to Kelvarin Installer!", "Next >", "Cancel",
    "Warning", "Are you sure", " Yes ", " No ",
    "License Agreement", " Accept ", " Decline ",
    "SELinux detected", "SELinux detected. It can", "Not enough disk space",
    "Upgrade components", "Please select action",
    "Component Installation", "You need to install the following", "Please wait while downloading",
    "Error", "Failed to install required", "Retry", "An error occurred while", " Exit ",
    "Components installation", "Kelvarin was successfully", "Ok",
    "Kelvarin Installation Completed", "Kelvarin Updating Completed", "Congratulations!",
};

const Texts kGerman = {
    "de", {"LC_ALL=", "LC_MESSAGES=", "LANGUAGE=", "LANG=de_DE.UTF-8"},
    "Kelvarin-Installationsprogramm", "Willkommen beim", "Weiter >", "Abbrechen",
    "Warnung", "Möchten Sie die Installation", " Ja ", " Nein ",
    "Lizenzvereinbarung", " Annehmen ", " Ablehnen ",
    "SELinux erkannt", "SELinux erkannt. Es kann", "Nicht genügend Speicherplatz",
    "Komponenten aktualisieren", "Bitte wählen Sie",
    "Installation von Komponenten", "Bevor Sie fortfahren können,", "Bitte warten, der Download läuft",
    "Fehler", "Die benötigten Pakete konnten", "Wiederholen", "Beim Installieren der", " Beenden ",
    "Installation der Komponenten", "Kelvarin wurde erfolgreich", "OK",
    "Kelvarin-Installation abgeschlossen", "Kelvarin-Aktualisierung abgeschlossen", "Herzlichen Glückwunsch!",
};

struct Case {
    int cols;
    int rows;
    const Texts* texts;
};

std::string caseName(const Case& c) {
    return std::to_string(c.cols) + "x" + std::to_string(c.rows) + "_" + c.texts->name;
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << caseName(c);
}

// The smallest terminal; sizes between it and the standard one (at 15 rows
// the action list gets its blank row back, at 52 columns the progress
// windows their 50 columns, at 63 the questions their 60, at 70 the licence
// box its 64); the standard width with the fewest rows; common terminals.
const std::vector<Case> kCases = {
    {MIN_SCREEN_COLS, MIN_SCREEN_ROWS, &kEnglish},
    {MIN_SCREEN_COLS, MIN_SCREEN_ROWS, &kGerman},
    {MIN_SCREEN_COLS + 1, MIN_SCREEN_ROWS + 1, &kGerman},
    {52, 16, &kEnglish},
    {62, 18, &kEnglish},
    {66, 20, &kGerman},
    {80, 14, &kEnglish},
    {80, 24, &kEnglish},
    {80, 24, &kGerman},
    {80, 25, &kEnglish},
    {132, 43, &kEnglish},
};

// Slow enough tools that the spinner and the progress scale can be caught.
const std::vector<std::string> kSlowTools = {"KEL_PM_DELAY=3", "KEL_CLI_LINES=[ 40%] Unpacking\\n", "KEL_CLI_HOLD=3"};

struct TerminalSize : ::testing::TestWithParam<Case> {
    const Texts& x = *GetParam().texts;

    // Plays the screens of a run on a host with settings and tools set by env.
    void play(const std::vector<std::string>& settings, const std::vector<std::string>& env,
              const std::vector<Screen>& screens, int code) {
        const Case& c = GetParam();
        SimHost host(settings);
        TempDir dir;
        std::vector<std::string> all = kSlowTools;
        all.insert(all.end(), x.env.begin(), x.env.end());
        all.insert(all.end(), env.begin(), env.end());
        Tmux t(inShell(host.commandLine({}, all), dir.path), c.cols, c.rows);
        playScreens(t, screens, c.rows);
        const ShellEnd end = waitShellEnd(t);
        EXPECT_EQ(end.status, code) << t.screen();
        EXPECT_TRUE(end.ttySame);
        killHostProcesses(host);
    }

    Screen welcome() const {
        return {.text = x.welcome, .keys = {"Enter"}, .title = x.welcomeTitle, .parts = {x.next, x.cancel},
                .focus = x.next};
    }
    Screen licence() const {
        return {.text = "KELVARIN AGENT LICENCE AGREEMENT", .keys = {"BTab", "Enter"}, .title = x.licence,
                .parts = {x.accept, x.decline}, .focus = x.decline};
    }
    Screen packages() const {
        return {.text = x.packages, .keys = {"Enter"}, .title = x.packagesTitle, .parts = {x.next, x.cancel},
                .focus = x.next};
    }
    Screen spinner() const { return {.text = x.spinner}; }
    Screen scale(const std::string& gerund) const { return {.text = gerund, .title = gerund}; }
    Screen leftOut() const {
        return {.text = x.leftOut, .keys = {"Enter"}, .title = x.leftOutTitle, .parts = {x.ok}, .focus = x.ok};
    }
    Screen finish(const std::string& title) const {
        return {.text = x.congratulations, .keys = {"Enter"}, .title = title, .parts = {x.exit}, .focus = x.exit};
    }
};

INSTANTIATE_TEST_SUITE_P(Sizes, TerminalSize, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return caseName(info.param); });

TEST_P(TerminalSize, InstallationWindowsFit) {
    // Every question of an installation: a cancel refused, SELinux, too
    // little disk space once, a busy package manager once.
    const std::vector<std::string> env = {"KEL_SELINUX_EXIT=0", "KEL_DISK_EXITS=2 0",
                                          "KEL_DISK_OUT=Only 12 MB free in /usr.", "KEL_PM_INSTALL_EXITS=123 0"};
    const std::vector<Screen> screens = {
        {.text = x.welcome, .keys = {"Tab", "Enter"}, .staysUnder = true, .title = x.welcomeTitle,
         .parts = {x.next, x.cancel}, .focus = x.next},
        {.text = x.areYouSure, .keys = {"Enter"}, .title = x.warning, .parts = {x.yes, x.no}, .focus = x.no},
        // Back at the question, with the focus left on Cancel.
        {.text = x.welcome, .keys = {"BTab", "Enter"}, .title = x.welcomeTitle, .focus = x.cancel},
        licence(),
        {.text = x.selinux, .keys = {"Enter"}, .title = x.selinuxTitle, .parts = {x.next, x.cancel}, .focus = x.next},
        {.text = "Only 12 MB free in /usr.", .keys = {"Enter"}, .title = x.diskTitle, .parts = {x.next, x.cancel},
         .focus = x.next},
        packages(),
        spinner(),
        {.text = x.busy, .keys = {"Enter"}, .title = x.errorTitle, .parts = {x.retry, x.cancel}, .focus = x.retry},
        spinner(),
        scale("installing"),
        leftOut(),
        finish(x.installed),
    };
    play({}, env, screens, 0);
}

TEST_P(TerminalSize, UpgradeWindowsFit) {
    const std::vector<Screen> screens = {
        welcome(),
        {.text = x.action, .keys = {"Enter"}, .title = x.actionTitle, .parts = {"Upgrade", "Remove", x.next, x.cancel},
         .focus = "Upgrade"},
        licence(),
        packages(),
        spinner(),
        scale("upgrading"),
        leftOut(),
        finish(x.upgraded),
    };
    play({"AGENT=yes"}, {}, screens, 0);
}

TEST_P(TerminalSize, UpgradeOrRemoveChoiceFits) {
    // Remove: the choice, then the removal's scale and its finish screen.
    const std::vector<Screen> screens = {
        welcome(),
        {.text = x.action, .keys = {"Down", "Enter"}, .title = x.actionTitle, .focus = "Upgrade"},
        scale("removing"),
        finish(x.installed),
    };
    play({"AGENT=yes"}, {}, screens, 0);
}

TEST_P(TerminalSize, ToolFailureWindowFits) {
    // The package tool fails on six mandatory packages: a long message.
    const std::vector<std::string> env = {
        "KEL_PM_INSTALL_EXITS=1",
        "KEL_PM_INSTALL_OUT=m kel-runtime\nm kel-base-libs\nm kel-netd\nm kel-migrate-tools\nm kel-ploop\nm kel-vzctl\n"};
    const std::vector<Screen> screens = {
        welcome(),
        licence(),
        packages(),
        spinner(),
        {.text = x.failed, .keys = {"Enter"}, .title = x.errorTitle, .parts = {x.exit}, .focus = x.exit},
    };
    play({}, env, screens, 1);
}

// On the smallest terminal the texts that do not fit scroll: their ends can
// be reached, and the window is still answered from its buttons.
TEST(TerminalSizeSmallest, TextsScrollToTheirEnds) {
    struct Scroll {
        const char* name;
        std::vector<std::string> settings;
        std::vector<std::string> env;
        std::vector<Step> before;          // to the window, from the welcome on
        std::string text;                  // the window, the start of its text
        std::vector<std::string> toText;   // from the focused widget to the text
        std::string end;                   // the text's end, shown once scrolled
        std::vector<Step> answer;          // from the text on, to the end of the run
        int code;
    };
    const std::vector<Step> toPackages = {{{"Enter"}, "Decline"}, {{"BTab", "Enter"}, "Component Installation"}};
    // Cancel, confirmed: " No " has the focus in the confirmation.
    const Step yes = {{"Tab", "Enter"}};
    std::vector<std::string> pageDown(12, "PageDown");
    auto keys = [&](std::vector<std::string> first) {
        first.insert(first.end(), pageDown.begin(), pageDown.end());
        return first;
    };
    const std::vector<Scroll> cases = {
        // The text comes after Next and Cancel; Tab comes back round to them.
        {"welcome", {}, {}, {}, "Welcome to Kelvarin", keys({"Tab", "Tab"}), "installing.",
         {{{"Tab", "Tab", "Enter"}, "Are you sure"}, yes}, 10},
        {"package question", {}, {}, toPackages, "You need to install", keys({"Tab", "Tab"}), "them now?",
         {{{"Tab", "Tab", "Enter"}, "Are you sure"}, yes}, 10},
        // The text is before the list, which has the focus.
        {"action list in German", {"AGENT=yes"}, kGerman.env, {{{"Enter"}, "Bitte wählen Sie"}}, "Bitte wählen Sie",
         keys({"BTab"}), "Aktion:", {{{"Tab", "Enter"}, "Ablehnen"}, {{"Enter"}}}, 10},
        // The error's only button, then its text.
        {"tool failure",
         {},
         {"KEL_PM_INSTALL_EXITS=1", "KEL_PM_INSTALL_OUT=m kel-runtime\nm kel-base-libs\nm kel-netd\n"},
         {toPackages[0], toPackages[1], {{"Enter"}, "An error occurred while"}},
         "An error occurred while",
         keys({"Tab"}),
         "again.",
         {{{"Tab", "Enter"}}},
         1},
    };
    for (const Scroll& c : cases) {
        SCOPED_TRACE(c.name);
        SimHost host(c.settings);
        TempDir dir;
        Tmux t(inShell(host.commandLine({}, c.env), dir.path), MIN_SCREEN_COLS, MIN_SCREEN_ROWS);
        ASSERT_TRUE(t.waitFor("Kelvarin")) << t.screen();
        ASSERT_TRUE(play(t, c.before)) << t.screen();
        ASSERT_TRUE(t.waitFor(c.text)) << t.screen();
        EXPECT_EQ(t.screen().find(c.end), std::string::npos) << "the text fits without scrolling:\n" << t.screen();
        t.send(c.toText);
        EXPECT_TRUE(t.waitFor(c.end)) << t.screen();
        EXPECT_TRUE(frameFits(t, c.end, MIN_SCREEN_ROWS));
        EXPECT_TRUE(play(t, c.answer)) << t.screen();
        EXPECT_EQ(waitShellEnd(t).status, c.code) << t.screen();
        killHostProcesses(host);
    }
}

TEST(TerminalSizeSmallest, LicenceCanBeReadAndAcceptedOnFewRows) {
    const std::string lastLine = "reserved.";
    std::vector<std::string> toTheEnd = {"BTab", "BTab"};
    toTheEnd.insert(toTheEnd.end(), 40, "PageDown");
    for (int cols : {80, MIN_SCREEN_COLS}) {
        SCOPED_TRACE(std::to_string(cols) + " columns");
        SimHost host;
        TempDir dir;
        Tmux t(inShell(host.commandLine({}, {}), dir.path), cols, MIN_SCREEN_ROWS);
        ASSERT_TRUE(t.waitFor("Welcome to Kelvarin")) << t.screen();
        t.send({"Enter"});
        ASSERT_TRUE(t.waitFor("Decline")) << t.screen();
        // The whole window is on the screen, title and buttons included.
        EXPECT_TRUE(frameFits(t, "License Agreement", MIN_SCREEN_ROWS));
        for (const char* part : {"KELVARIN AGENT LICENCE AGREEMENT", " Accept ", " Decline "})
            EXPECT_TRUE(inWindow(t, "License Agreement", part));
        // From " Decline " back over " Accept " to the text, which scrolls.
        t.send(toTheEnd);
        EXPECT_TRUE(t.waitFor(lastLine)) << t.screen();
        t.send({"Tab", "Enter"});
        // Accepted: the run goes on to the package check.
        EXPECT_TRUE(pollUntil([&] { return !host.pmCalls().empty(); })) << t.screen();
        killHostProcesses(host);
    }
}

}  // namespace
