// Root started from a user's account: what the caller's environment, or
// another local user, plants must not make root do something else. A log path
// that others can redirect, a FIFO in its place, a user's popt aliases, the
// caller's PATH and shell start-up variables, catalogues from outside the
// bundle or with formats that do not match, a log path too long for the
// tools' command lines. Each run goes on the simulated host, and each case
// checks that nothing planted ran, that nothing outside the log was written,
// that the installer neither blocked nor crashed, and its exit code and text.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "install_texts.h"
#include "robustness.h"
#include "simhost.h"

namespace fs = std::filesystem;
using namespace kel;

namespace {

const std::string kStartLine = "Kelvarin " KEL_VERSION " Installer started.";
const std::string kUsage =
    "Kelvarin installer " KEL_VERSION "\n"
    "Usage: install [OPTION]\n"
    "       -i,--install                automatic (unattended) installation or upgrade \n"
    "       -r,--remove                 automatic (unattended) removal \n"
    "       -f,--force                  forced removing mode: skip errors and try to do as much as possible \n"
    "       -h,--help                   display this help text\n"
    "       -v,--version                report version\n";
const std::string kInstallOut = kWaitInstall + recommendation(kDefaultLeftOut) + kFinishInstall;
// Where planted links point: a file of the host's /etc that must never appear.
const std::string kPlanted = "/etc/kel-planted";
const std::string kNobody = "65534";
// Longer than any run here takes: a run still going then is blocked.
constexpr auto kBound = std::chrono::seconds(20);

// Folders for planted things under one temporary folder everyone may enter:
// a user's own, a shared one with the sticky bit (as /tmp), root's own, and
// root's witness folder, where planted programs record that they ran.
struct Places {
    TempDir top;
    std::string user = top.path + "/user";
    std::string shared = top.path + "/shared";
    std::string own = top.path + "/own";
    std::string witness = top.path + "/witness";
    Places() {
        fs::permissions(top.path, fs::perms(0755));
        for (const auto& d : {user, shared, own, witness})
            fs::create_directory(d);
        fs::permissions(shared, fs::perms(01777));
        fs::permissions(own, fs::perms(0755));
        EXPECT_EQ(chown(user.c_str(), 65534, 65534), 0);
    }
    // What planted programs recorded; empty while none ran.
    std::string ran() const { return readFile(witness + "/ran"); }
    // A program that records its name and arguments, then runs on as command.
    std::string plant(const std::string& dir, const std::string& name, const std::string& command = "true") const {
        const std::string path = dir + "/" + name;
        writeFile(path, "#!/bin/sh\necho \"" + name + " $*\" >>" + witness + "/ran\n" + command + "\n", 0755);
        return path;
    }
};

// Runs a command as the unprivileged user "nobody"; true on success.
bool asNobody(const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"setpriv", "--reuid=" + kNobody, "--regid=" + kNobody, "--clear-groups", "--"};
    argv.insert(argv.end(), command.begin(), command.end());
    return runProcess(argv).status == 0;
}

// Every file in the host's layers (/etc, /usr/share, /var/log) with its
// content; simhost itself rewrites the rpm macros and the tools' scenario
// on every run.
std::map<std::string, std::string> hostFiles(const SimHost& host) {
    std::map<std::string, std::string> files;
    const fs::path upper = host.state() + "/upper";
    for (const auto& e : fs::recursive_directory_iterator(upper)) {
        const std::string name = fs::relative(e.path(), upper).string();
        if (e.is_symlink())
            files[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            files[name] = readFile(e.path());
        else if (!e.is_directory())
            files[name] = "(special)";
    }
    files.erase("etc/rpm/macros");
    files.erase("etc/kel-simhost/scenario");
    return files;
}

// Names whose entry differs between two listings.
std::vector<std::string> changed(const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after) {
    std::vector<std::string> out;
    for (const auto& [name, content] : after) {
        const auto it = before.find(name);
        if (it == before.end() || it->second != content)
            out.push_back(name);
    }
    for (const auto& [name, content] : before)
        if (!after.count(name))
            out.push_back(name);
    return out;
}

struct Watched {
    RunResult r;
    bool blocked = false;
};

// Runs command on the host. Once moment() holds, act() gets the installer's
// process. A run that has not ended within the bound is blocked: its
// processes are killed.
Watched runWatched(const SimHost& host, const std::vector<std::string>& command, const std::vector<std::string>& env,
                   const std::function<bool()>& moment = {}, const std::function<void(pid_t)>& act = {}) {
    auto run = std::async(std::launch::async, [&] { return host.exec(command, env); });
    const auto ended = [&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (moment) {
        pollUntil([&] { return ended() || moment(); }, kBound);
        if (!ended() && moment())
            act(installerPid(host));
    }
    Watched w;
    if (run.wait_for(kBound) != std::future_status::ready) {
        w.blocked = true;
        killHostProcesses(host);
    }
    w.r = run.get();
    return w;
}

// The moment a run is well under way: the package script has written its
// line to the log at path and now takes its time. Only a regular file is
// read: a reader would unblock a writer that waits on a FIFO.
std::function<bool()> packagesInstalling(const std::string& path) {
    return [path] {
        return fs::is_regular_file(fs::symlink_status(path)) &&
            contains(readFile(path), "pm.sh: installing the required packages");
    };
}
const std::vector<std::string> kSlowPackages = {"KEL_PM_DELAY=3"};

std::string refusal(const std::string& log, const std::string& reason) {
    return kInstaller + ": refusing the log path " + log + ": " + reason + "\n";
}

// ---- the log ------------------------------------------------------------------

TEST(CallerTrust, LogPathThatOthersCanRedirectIsRefusedBeforeAnythingRuns) {
    struct Case {
        const char* name;
        std::string Places::*dir;
        std::function<void(const std::string& log)> plant;  // before the run
        std::vector<std::string> swap;                      // as nobody, during the run ({} none)
        std::function<std::string(const Places&, const std::string& log)> reason;
    };
    const auto nobodyLink = [](const std::string& log) { EXPECT_TRUE(asNobody({"ln", "-s", kPlanted, log})); };
    const std::vector<Case> cases = {
        {"link into /etc in a user's folder", &Places::user, nobodyLink, {},
         [](const Places& p, const std::string&) { return "users other than root can write to " + p.user; }},
        {"link into /etc in a shared folder", &Places::shared, nobodyLink, {},
         [](const Places&, const std::string&) { return std::string("it is a symbolic link"); }},
        {"link into /etc in root's folder", &Places::own, [](const std::string& log) { fs::create_symlink(kPlanted, log); },
         {}, [](const Places&, const std::string&) { return std::string("it is a symbolic link"); }},
        {"link swapped in during the run, user's folder", &Places::user, nullptr, {"ln", "-sfn", kPlanted},
         [](const Places& p, const std::string&) { return "users other than root can write to " + p.user; }},
        {"user's file swapped for a link during the run, shared folder", &Places::shared,
         [](const std::string& log) { EXPECT_TRUE(asNobody({"touch", log})); }, {"ln", "-sfn", kPlanted},
         [](const Places&, const std::string& log) { return log + " belongs to a user other than root"; }},
        {"FIFO at the path", &Places::own, [](const std::string& log) { ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); }, {},
         [](const Places&, const std::string&) { return std::string("it is not a regular file"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Places places;
        const std::string log = places.*c.dir + "/install.log";
        if (c.plant)
            c.plant(log);
        SimHost host;
        host.exec({"true"});
        const auto before = hostFiles(host);
        std::vector<std::string> swap = c.swap;
        swap.push_back(log);
        const Watched w = runWatched(host, {kInstaller, "--install", "--log-path=" + log}, kSlowPackages,
                                     packagesInstalling(log), [&](pid_t) {
                                         if (!c.swap.empty()) {
                                             EXPECT_TRUE(asNobody(swap));
                                         }
                                     });
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(w.r.status, 2);
        EXPECT_EQ(w.r.err, refusal(log, c.reason(places, log)));
        EXPECT_EQ(w.r.out, "");
        EXPECT_TRUE(host.pmCalls().empty());
        EXPECT_TRUE(host.cliCalls().empty());
        EXPECT_FALSE(fs::exists(host.hostPath(kPlanted)));
        EXPECT_EQ(changed(before, hostFiles(host)), std::vector<std::string>{});
    }
}

TEST(CallerTrust, LogInASharedFolderIsRootsOwnAndOthersCannotSwapIt) {
    // As in /tmp: the sticky bit keeps root's file root's. Another user's
    // attempts to put a link in its place fail, and the run goes on.
    Places places;
    const std::string log = places.shared + "/install.log";
    SimHost host;
    const Watched w = runWatched(host, {kInstaller, "--install", "--log-path=" + log}, kSlowPackages,
                                 packagesInstalling(log), [&](pid_t) {
                                     EXPECT_FALSE(asNobody({"ln", "-sfn", kPlanted, log}));
                                     EXPECT_FALSE(asNobody({"mv", "-f", log, log + ".old"}));
                                 });
    EXPECT_FALSE(w.blocked);
    EXPECT_EQ(w.r.status, 0) << w.r.err;
    EXPECT_EQ(w.r.out, kInstallOut);
    struct stat st {};
    ASSERT_EQ(lstat(log.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(hasInOrder(logMessages(readFile(log)), {kStartLine, "pm.sh: installing the required packages for kel (exit 0)",
                                                        "installer-cli: exit 0"}));
    EXPECT_FALSE(fs::exists(host.hostPath(kPlanted)));
}

TEST(CallerTrust, NewLogIsPrivateWhateverTheUmask) {
    for (const char* mask : {"000", "022"}) {
        SCOPED_TRACE(mask);
        SimHost host;
        const RunResult r = host.exec({"sh", "-c", "umask \"$0\" && exec \"$1\" --install", mask, kInstaller});
        EXPECT_EQ(r.status, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(stat(host.hostPath(kLogPath).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        // The tools appended to the same private file.
        EXPECT_TRUE(hasInOrder(logMessages(host.log()), {kStartLine, "installer-cli: exit 0"}));
    }
}

TEST(CallerTrust, SignalPathNeitherBlocksNorFollows) {
    // Whatever lies at the log path when the run is interrupted, the installer
    // ends at once by the signal and writes nowhere else.
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
    };
    const std::vector<Case> cases = {
        {"FIFO swapped in", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        {"link into /etc swapped in", [](const std::string& p) { fs::create_symlink(kPlanted, p); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Places places;
        const std::string log = places.own + "/install.log";
        SimHost host;
        const Watched w = runWatched(host, {kInstaller, "--install", "--log-path=" + log}, kSlowPackages,
                                     packagesInstalling(log), [&](pid_t pid) {
                                         ASSERT_GT(pid, 0);
                                         c.make(log + ".new");
                                         fs::rename(log + ".new", log);
                                         kill(pid, SIGTERM);
                                     });
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(w.r.status, 128 + SIGTERM) << w.r.err;
        EXPECT_FALSE(fs::exists(host.hostPath(kPlanted)));
        EXPECT_TRUE(host.cliCalls().empty());
    }
}

// ---- option aliases ------------------------------------------------------------

TEST(CallerTrust, UsersAliasFileIsNotReadByRoot) {
    // Root keeps a user's HOME (sudo -E, su -m): that user's .popt is not read.
    struct Case {
        const char* name;
        std::string line;  // %W: a planted program, %U: the user's folder
    };
    const std::vector<Case> cases = {
        {"exec alias", "install exec --install %W"},
        {"alias that moves the log", "install alias --install -i --log-path=%U/moved.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Places places;
        std::string line = c.line;
        if (const auto at = line.find("%W"); at != std::string::npos)
            line.replace(at, 2, places.plant(places.user, "popt-exec"));
        if (const auto at = line.find("%U"); at != std::string::npos)
            line.replace(at, 2, places.user);
        writeFile(places.user + "/.popt", line + "\n");
        ASSERT_EQ(chown((places.user + "/.popt").c_str(), 65534, 65534), 0);
        SimHost host;
        const Watched w = runWatched(host, {"env", "HOME=" + places.user, kInstaller, "--install"}, {});
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(w.r.status, 0) << w.r.err;
        EXPECT_EQ(w.r.out, kInstallOut);
        EXPECT_EQ(places.ran(), "");
        EXPECT_FALSE(fs::exists(places.user + "/moved.log"));
        EXPECT_TRUE(hasInOrder(logMessages(host.log()), {kStartLine, "installer-cli: exit 0"}));
    }
}

TEST(CallerTrust, SystemAliasesStayButExecAliasesDoNotRun) {
    struct Case {
        const char* name;
        std::string file;  // of the host
        std::string line;  // %W: a planted program
        std::string option;
        int status;
    };
    const std::string other = "/var/log/kel-other.log";
    const std::vector<Case> cases = {
        {"alias in /etc/popt", "/etc/popt", "install alias --other-log --log-path=" + other, "--other-log", 0},
        {"alias in /etc/popt.d", "/etc/popt.d/kel", "install alias --other-log --log-path=" + other, "--other-log", 0},
        {"exec alias in /etc/popt", "/etc/popt", "install exec --run-it %W", "--run-it", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Places places;
        std::string line = c.line;
        if (const auto at = line.find("%W"); at != std::string::npos)
            line.replace(at, 2, places.plant(places.own, "popt-exec"));
        SimHost host;
        const std::string script = "mkdir -p /etc/popt.d && printf '%s\\n' \"$0\" >\"$1\" && exec \"$2\" --install \"$3\"";
        const Watched w = runWatched(host, {"sh", "-c", script, line, c.file, kInstaller, c.option}, {});
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(places.ran(), "");
        EXPECT_EQ(w.r.status, c.status) << w.r.err;
        if (c.status == 0) {
            EXPECT_EQ(w.r.out, kInstallOut);
            EXPECT_TRUE(hasInOrder(logMessages(readFile(host.hostPath(other))), {kStartLine, "installer-cli: exit 0"}));
            EXPECT_FALSE(fs::exists(host.hostPath(kLogPath)));
        } else {
            EXPECT_EQ(w.r.err.rfind(kInstaller + ": bad argument --run-it: ", 0), 0u) << w.r.err;
            EXPECT_TRUE(contains(w.r.err, kUsage)) << w.r.err;
            EXPECT_TRUE(host.pmCalls().empty());
        }
    }
}

// ---- the environment of root's children ------------------------------------------

TEST(CallerTrust, CallersCommandsAndShellStartUpCodeDoNotRun) {
    struct Case {
        const char* name;
        std::function<std::vector<std::string>(const Places&)> env;
    };
    const std::vector<Case> cases = {
        {"planted rpm, uname, file and grep first on PATH",
         [](const Places& p) {
             for (const char* tool : {"rpm", "uname", "file", "grep"})
                 p.plant(p.user, tool, std::string("exec /usr/bin/") + tool + " \"$@\"");
             return std::vector<std::string>{"PATH=" + p.user + ":/usr/sbin:/usr/bin:/sbin:/bin"};
         }},
        {"BASH_ENV", [](const Places& p) { return std::vector<std::string>{"BASH_ENV=" + p.plant(p.user, "bash-env")}; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Places places;
        SimHost host;
        host.exec({"true"});
        const auto before = hostFiles(host);
        std::vector<std::string> command = {"env"};
        for (const auto& kv : c.env(places))
            command.push_back(kv);
        command.insert(command.end(), {kInstaller, "--install"});
        const Watched w = runWatched(host, command, {});
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(places.ran(), "");
        EXPECT_EQ(w.r.status, 0) << w.r.err;
        EXPECT_EQ(w.r.out, kInstallOut);
        EXPECT_EQ(host.cliCalls(), std::vector<std::string>{cliArgs("-i Manifest")});
        EXPECT_EQ(changed(before, hostFiles(host)),
                  (std::vector<std::string>{"usr-share/halcrest-kel-agent/Manifest", "var-log/halcrest-kel-agent.log"}));
    }
}

// ---- catalogues ------------------------------------------------------------------

// Compiles a catalogue of the text domain into dir/LC_MESSAGES/install.mo.
void writeCatalogue(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    for (const auto& [id, str] : entries)
        po += "\nmsgid \"" + id + "\"\nmsgstr \"" + str + "\"\n";
    fs::create_directories(dir + "/LC_MESSAGES");
    writeFile(dir + "/install.po", po);
    ASSERT_EQ(runProcess({"msgfmt", "-o", dir + "/LC_MESSAGES/install.mo", dir + "/install.po"}).status, 0);
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// Translations that would read arguments that are not there, or write memory.
const std::vector<std::pair<std::string, std::string>> kHostileFormats = {
    {"Please wait while %s is in progress", repeat("%s", 20)},
    {"%s installer %s\\n", "%n%s %s\\n"},
    {"%s was successfully installed, but we recommend you to install the following packages as well:\\n%s",
     "%s %s %n %s"},
};

TEST(CallerTrust, CatalogueFromOutsideTheBundleIsNotLoaded) {
    Places places;
    // Also a harmless translation: it would show that the catalogue was used.
    auto entries = kHostileFormats;
    entries.push_back({"Usage: install [OPTION]\\n", "PLANTED: install [OPTION]\\n"});
    writeCatalogue(places.own + "/x", entries);
    // From the bundle's resources folder up to / and down again.
    const std::string language = "LANGUAGE=" + repeat("../", 30) + places.own.substr(1) + "/x";
    const std::vector<std::string> locale = {"LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8", language};
    SimHost host;
    for (const char* arg : {"--help", "--install"}) {
        SCOPED_TRACE(arg);
        std::vector<std::string> command = {"env"};
        command.insert(command.end(), locale.begin(), locale.end());
        command.insert(command.end(), {kInstaller, arg});
        const Watched w = runWatched(host, command, {});
        EXPECT_FALSE(w.blocked);
        if (std::string(arg) == "--help") {
            EXPECT_EQ(w.r.status, 0);
            EXPECT_EQ(w.r.err, kUsage);
        } else {
            EXPECT_EQ(w.r.status, 0) << w.r.err;
            EXPECT_EQ(w.r.out, kInstallOut);
        }
    }
}

TEST(CallerTrust, TranslationWithOtherConversionsIsNotUsed) {
    // A damaged catalogue inside the bundle: its good translation is used,
    // the others give way to the program's own texts.
    TempDir dir;
    const std::string bundle = dir.path + "/bundle";
    fs::copy(kBundle, bundle, fs::copy_options::recursive);
    auto entries = kHostileFormats;
    entries.push_back({"Usage: install [OPTION]\\n", "AUFRUF: install [OPTION]\\n"});
    writeCatalogue(bundle + "/resources/xx", entries);
    const std::vector<std::string> locale = {"LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8", "LANGUAGE=xx"};
    SimHost host;
    for (const char* arg : {"--help", "--install"}) {
        SCOPED_TRACE(arg);
        std::vector<std::string> command = {"env"};
        command.insert(command.end(), locale.begin(), locale.end());
        command.insert(command.end(), {bundle + "/installer/install", arg});
        const Watched w = runWatched(host, command, {});
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(w.r.status, 0) << w.r.err;
        if (std::string(arg) == "--help") {
            std::string usage = kUsage;
            usage.replace(usage.find("Usage:"), 6, "AUFRUF:");
            EXPECT_EQ(w.r.err, usage);
        } else {
            EXPECT_EQ(w.r.out, kInstallOut);
        }
    }
}

// ---- command lines ---------------------------------------------------------------

TEST(CallerTrust, LogPathTooLongForTheToolsIsRefusedBeforeAnythingRuns) {
    // An upgrade: cutting its first command line would drop the manifest and
    // "--skip-sections config", and the removal would take the configuration.
    struct Case {
        std::size_t length;
        int status;
    };
    for (const Case c : {Case{3700, 0}, Case{4000, 2}}) {
        SCOPED_TRACE(c.length);
        // "./" steps keep the path valid at any length.
        const std::string name = "kel.log";
        std::string log = "/var/log/";
        const std::size_t steps = c.length - log.size() - name.size();
        log += std::string(steps % 2, '/') + repeat("./", static_cast<int>(steps / 2)) + name;
        ASSERT_EQ(log.size(), c.length);
        SimHost host({"AGENT=yes"});
        host.exec({"true"});
        const auto before = hostFiles(host);
        const Watched w = runWatched(host, {kInstaller, "--install", "--log-path=" + log}, {});
        EXPECT_FALSE(w.blocked);
        EXPECT_EQ(w.r.status, c.status) << w.r.err;
        if (c.status == 0) {
            EXPECT_EQ(w.r.err, "");
            EXPECT_EQ(host.cliCalls(), (std::vector<std::string>{
                                           cliArgs("-e --skip-sections config " + kAgentManifest, false, log),
                                           cliArgs("-i Manifest", false, log)}));
        } else {
            EXPECT_EQ(w.r.err, kInstaller +
                                   ": refusing the log path: it is too long for the command lines of the bundle's "
                                   "tools (" +
                                   std::to_string(c.length) + " bytes)\n");
            EXPECT_TRUE(host.pmCalls().empty());
            EXPECT_TRUE(host.cliCalls().empty());
            EXPECT_EQ(changed(before, hostFiles(host)), std::vector<std::string>{});
        }
    }
}

}  // namespace
