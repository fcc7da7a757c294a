// The installer in German: the catalogue is found beside the real program
// however it is started, its texts reach the terminal and the dialogs while
// the log stays English, and a bundle whose catalogue is missing or broken
// still speaks English.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "simhost.h"
#include "tmux.h"

namespace {

namespace fs = std::filesystem;

const std::string kVersion = KEL_VERSION;

// Whatever the calling shell had, only these decide the language.
const std::vector<std::string> kNeutral = {"LC_ALL=", "LC_MESSAGES=", "LANGUAGE=", "LANG="};

std::vector<std::string> withLocale(std::vector<std::string> settings) {
    std::vector<std::string> env = kNeutral;
    env.insert(env.end(), settings.begin(), settings.end());
    return env;
}

const std::vector<std::string> kGerman = withLocale({"LANG=de_DE.UTF-8"});

const std::string kGermanUsage =
    "Kelvarin-Installationsprogramm " + kVersion + "\n"
    "Aufruf: install [OPTION]\n"
    "       -i,--install                automatische (unbeaufsichtigte) Installation oder Aktualisierung \n"
    "       -r,--remove                 automatische (unbeaufsichtigte) Entfernung \n"
    "       -f,--force                  erzwungenes Entfernen: Fehler übergehen und so viel wie möglich erledigen \n"
    "       -h,--help                   diese Hilfe anzeigen\n"
    "       -v,--version                Version anzeigen\n";

const std::string kEnglishUsageStart = "Kelvarin installer " + kVersion + "\nUsage: install [OPTION]\n";

bool germanLocaleInstalled() {
    return runProcess({"sh", "-c", "locale -a | grep -qix 'de_DE.utf-\\?8'"}).status == 0;
}

struct German : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(germanLocaleInstalled()) << "the de_DE.UTF-8 locale is missing: run tools/bootstrap.sh";
    }
};

// A copy of the built bundle that a case may change.
struct BundleCopy {
    TempDir dir;
    std::string root = dir.path + "/bundle";
    BundleCopy() { fs::copy(kBundle, root, fs::copy_options::recursive); }
    std::string program() const { return root + "/installer/install"; }
    std::string catalogue() const { return root + "/resources/de/LC_MESSAGES/install.mo"; }
};

TEST_F(German, CommandLineTextsFollowTheLocale) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> locale;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"usage under LANG", {"--help"}, {"LANG=de_DE.UTF-8"}, 0, kGermanUsage},
        {"usage under LC_ALL", {"-h"}, {"LC_ALL=de_DE.UTF-8"}, 0, kGermanUsage},
        {"usage under LANGUAGE", {"-h"}, {"LANGUAGE=de", "LC_ALL=C.UTF-8"}, 0, kGermanUsage},
        {"version line", {"--version"}, {"LANG=de_DE.UTF-8"}, 0, "Kelvarin-Installation " + kVersion + "\n"},
        {"stray word", {"extra"}, {"LANG=de_DE.UTF-8"}, 2,
         kInstaller + ": ungültiges Argument extra\n" + kGermanUsage},
        {"both modes", {"-i", "-r"}, {"LANG=de_DE.UTF-8"}, 2,
         kInstaller +
             ": Unbeaufsichtigte Installation und unbeaufsichtigte Entfernung sind nicht gleichzeitig möglich.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv = {kInstaller};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = runProcess(argv, withLocale(c.locale));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(German, RootRefusalAndParserErrorAreGerman) {
    const RunResult root = runProcess({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", kInstaller},
                                      kGerman);
    EXPECT_EQ(root.status, 2);
    EXPECT_EQ(root.err, kInstaller + " kann nur als root ausgeführt werden\n");

    // The option library's own text comes from its catalogue, ours from ours.
    const RunResult missing = runProcess({kInstaller, "--log-path"}, kGerman);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind(kInstaller + ": ungültiges Argument --log-path: ", 0), 0u) << missing.err;
    EXPECT_NE(missing.err.find("Aufruf: install [OPTION]\n"), std::string::npos) << missing.err;
}

TEST_F(German, CatalogueIsFoundBesideTheProgramHoweverItIsStarted) {
    // Through a symbolic link in another directory and through a relative
    // path from elsewhere: the catalogue is the real bundle's.
    TempDir elsewhere;
    const std::string link = elsewhere.path + "/kel-install";
    fs::create_symlink(kInstaller, link);
    const std::string relative = fs::relative(kInstaller, elsewhere.path).string();
    for (const std::string& how : {link, relative}) {
        SCOPED_TRACE(how);
        const RunResult r =
            runProcess({"sh", "-c", "cd \"$0\" && exec \"$1\" --help", elsewhere.path, how}, kGerman);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, kGermanUsage);
    }
}

TEST_F(German, MissingOrBrokenCatalogueFallsBackToEnglish) {
    struct Case {
        const char* name;
        void (*spoil)(const BundleCopy&);
    };
    const std::vector<Case> cases = {
        {"no catalogue", [](const BundleCopy& b) { fs::remove(b.catalogue()); }},
        {"no resources", [](const BundleCopy& b) { fs::remove_all(b.root + "/resources"); }},
        {"garbage", [](const BundleCopy& b) { writeFile(b.catalogue(), std::string(4096, '\x5a')); }},
        {"cut short", [](const BundleCopy& b) { fs::resize_file(b.catalogue(), 40); }},
        {"empty", [](const BundleCopy& b) { fs::resize_file(b.catalogue(), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BundleCopy bundle;
        // The untouched copy speaks German, so the English below is the fallback.
        EXPECT_EQ(runProcess({bundle.program(), "--help"}, kGerman).err, kGermanUsage);
        c.spoil(bundle);
        const RunResult r = runProcess({bundle.program(), "--help"}, kGerman);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.rfind(kEnglishUsageStart, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("       -v,--version                report version\n"), std::string::npos) << r.err;
    }
}

TEST_F(German, UnattendedRunPrintsGermanAndLogsEnglish) {
    SimHost host;
    const RunResult r = host.run({"--install"}, kGerman);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The gerund and the product's full name stay as they are.
    EXPECT_EQ(r.out,
              "Bitte warten, Vorgang läuft: installing\n"
              "Kelvarin wurde erfolgreich installiert. Wir empfehlen, auch die folgenden Pakete zu installieren:\n"
              "- kel-extras-doc\n\n"
              "Herzlichen Glückwunsch!\n\nKelvarin for Linux wurde erfolgreich installiert.\n\n\n");
    const std::string log = host.log();
    EXPECT_NE(log.find("Unattended install mode.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("execCmd: ./installer/pm.sh --check kel [0]\n"), std::string::npos) << log;
}

TEST_F(German, FatalMessageIsGermanAndLoggedAsShown) {
    SimHost host;
    const RunResult r = host.run({"--remove"}, kGerman);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Kelvarin ist nicht installiert\n");
    const auto log = logMessages(host.log());
    EXPECT_NE(std::find(log.begin(), log.end(), "Error: Kelvarin ist nicht installiert"), log.end()) << host.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Exiting with code 1"), log.end()) << host.log();
}

// Columns of a UTF-8 text: one per character.
std::size_t columns(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

// Lines of the screen, right blanks removed.
std::vector<std::string> screenLines(const std::string& screen) {
    std::vector<std::string> out;
    std::istringstream in(screen);
    std::string line;
    while (std::getline(in, line)) {
        line.erase(line.find_last_not_of(' ') + 1);
        out.push_back(line);
    }
    return out;
}

TEST_F(German, WelcomeAndLicenceScreensAreGerman) {
    SimHost host;
    Tmux t(host.commandLine({}, kGerman));
    ASSERT_TRUE(t.waitFor("Willkommen beim Kelvarin-Installationsprogramm!")) << t.screen();
    const std::string welcome = t.screen();
    // Whole rows: the header fits the terminal and the text reflows at 58 columns.
    const auto rows = screenLines(welcome);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "Kelvarin 1.0 Installation - Copyright (c) 2025-2026 die Kelvarin-Entwickler");
    for (const char* text : {"┤ Kelvarin-Installationsprogramm ├",
                             "│ Dieses Programm installiert Kelvarin. Damit migrieren Sie ",
                             "│ Corvane-Container in virtuelle Corvane-Maschinen. ",
                             "│ Klicken Sie auf „Weiter“, um die Installation zu beginnen. ",
                             "│ Mit „Abbrechen“ beenden Sie die Installation jederzeit. ", "│ Weiter > │",
                             "│ Abbrechen │", "  <Tab> wechselt zwischen Elementen  |  <Leertaste> wählt aus"})
        EXPECT_NE(welcome.find(text), std::string::npos) << text << "\n" << welcome;
    for (const char* english : {"Welcome", "Next", "Cancel", "to switch"})
        EXPECT_EQ(welcome.find(english), std::string::npos) << english << "\n" << welcome;
    // The text reflows inside the window: the frame's right edge lines up on
    // every row of the dialog.
    std::vector<std::size_t> edges;
    for (const auto& line : screenLines(welcome)) {
        const std::size_t frame = line.rfind("│");
        if (frame != std::string::npos)
            edges.push_back(columns(line.substr(0, frame)));
    }
    ASSERT_GE(edges.size(), 8u) << welcome;
    for (std::size_t e : edges)
        EXPECT_EQ(e, edges[0]) << welcome;

    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("Lizenzvereinbarung")) << t.screen();
    EXPECT_TRUE(t.waitFor("│  Annehmen  │")) << t.screen();
    EXPECT_TRUE(t.waitFor("│  Ablehnen  │")) << t.screen();
    // Declining ends the run as cancelled.
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 10);
}

TEST_F(German, InstallationRoadIsGermanToTheFinish) {
    SimHost host;
    // The package installation takes long enough for its waiting window to be seen.
    std::vector<std::string> env = kGerman;
    env.push_back("KEL_PM_DELAY=2");
    Tmux t(host.commandLine({}, env));
    ASSERT_TRUE(t.waitFor("Willkommen beim Kelvarin-Installationsprogramm!")) << t.screen();
    t.send({"Enter"});
    ASSERT_TRUE(t.waitFor("│  Ablehnen  │")) << t.screen();
    t.send({"BTab", "Enter"});

    ASSERT_TRUE(t.waitFor("┤ Installation von Komponenten ├")) << t.screen();
    EXPECT_TRUE(t.waitFor("Möchten Sie sie jetzt installieren?")) << t.screen();
    t.send({"Enter"});
    EXPECT_TRUE(t.waitFor("Bitte warten, der Download läuft")) << t.screen();

    ASSERT_TRUE(t.waitFor("┤ Installation der Komponenten ├")) << t.screen();
    EXPECT_TRUE(t.waitFor("Wir empfehlen")) << t.screen();
    EXPECT_TRUE(t.waitFor("│ OK │")) << t.screen();
    t.send({"Enter"});

    ASSERT_TRUE(t.waitFor("┤ Kelvarin-Installation abgeschlossen ├")) << t.screen();
    const std::string finish = t.screen();
    for (const char* text : {"│ Herzlichen Glückwunsch! ", "│ Kelvarin for Linux wurde erfolgreich installiert. ",
                             "│  Beenden  │"})
        EXPECT_NE(finish.find(text), std::string::npos) << text << "\n" << finish;
    t.send({"Enter"});
    EXPECT_EQ(t.waitExit(), 0);
    EXPECT_TRUE(host.agentInstalled());
}

}  // namespace
