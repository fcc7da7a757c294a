// What root keeps of the caller's environment, and when it reads the
// option library's alias file in HOME.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "installer/environment.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Puts the test process's environment back afterwards.
struct Environment : ::testing::Test {
    std::vector<std::string> saved;
    void SetUp() override {
        for (char** e = environ; *e; ++e)
            saved.emplace_back(*e);
    }
    void TearDown() override {
        clearenv();
        for (const auto& kv : saved) {
            const auto eq = kv.find('=');
            setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
        }
    }
};

TEST_F(Environment, ShellAndLoaderVariablesAndLocalePathsAreDropped) {
    struct Case {
        const char* name;
        const char* value;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"BASH_ENV", "/tmp/x/startup", false},
        {"ENV", "/tmp/x/startup", false},
        {"IFS", "/", false},
        {"CDPATH", "/tmp/x", false},
        {"GCONV_PATH", "/tmp/x", false},
        {"LOCPATH", "/tmp/x", false},
        {"TERMINFO_DIRS", "/tmp/x", false},
        {"SHELLOPTS", "xtrace", false},
        {"BASHOPTS", "extdebug", false},
        {"LD_PRELOAD", "/tmp/x/lib.so", false},
        {"LD_LIBRARY_PATH", "/tmp/x", false},
        {"LD_AUDIT", "/tmp/x/lib.so", false},
        {"BASH_FUNC_grep%%", "() { :; }", false},
        {"LANGUAGE", "../../x", false},
        {"LANGUAGE", "de:../../x", false},
        {"LANG", "de_DE.UTF-8/../../x", false},
        {"LC_ALL", "/tmp/x", false},
        {"LC_MESSAGES", "../x", false},
        {"LANGUAGE", "de:fr", true},
        {"LANG", "de_DE.UTF-8", true},
        {"LC_ALL", "C.UTF-8", true},
        {"TERM", "xterm-256color", true},
        {"TERMINFO", "/usr/share/terminfo", true},
        {"HOME", "/home/someone", true},
        {"LDFLAGS", "-Wl,-z,now", true},
        {"BASH", "/bin/bash", true},
        {"KEL_SCENARIO", "a/b", true},
        {"HLC_WRAPPER_LIBREPO", "/srv/repo", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        setenv(c.name, c.value, 1);
        clean_environment();
        const char* now = std::getenv(c.name);
        if (c.kept) {
            ASSERT_NE(now, nullptr);
            EXPECT_STREQ(now, c.value);
        } else {
            EXPECT_EQ(now, nullptr);
        }
        unsetenv(c.name);
    }
    setenv("PATH", "/tmp/x:/usr/bin:/bin", 1);
    clean_environment();
    EXPECT_STREQ(std::getenv("PATH"), "/usr/sbin:/usr/bin:/sbin:/bin");
}

// Root's home stands in a temporary folder; the real one is never touched.
TEST(AliasFile, ReadOnlyFromRootsOwnHomeAndOnlyWhenRootsAlone) {
    ASSERT_EQ(getuid(), 0u) << "ownership cases need root";
    struct Case {
        const char* name;
        std::function<void(const std::string& home)> spoil;
        bool homeIsRoots;
        bool read;
    };
    const std::vector<Case> cases = {
        {"root's file", nullptr, true, true},
        {"readable by all", [](const std::string& h) { chmod((h + "/.popt").c_str(), 0644); }, true, true},
        {"HOME is another folder", nullptr, false, false},
        {"no file", [](const std::string& h) { fs::remove(h + "/.popt"); }, true, false},
        {"group may write", [](const std::string& h) { chmod((h + "/.popt").c_str(), 0620); }, true, false},
        {"all may write", [](const std::string& h) { chmod((h + "/.popt").c_str(), 0666); }, true, false},
        {"a user's file", [](const std::string& h) { ASSERT_EQ(chown((h + "/.popt").c_str(), 65534, 65534), 0); },
         true, false},
        {"the home folder open to all", [](const std::string& h) { chmod(h.c_str(), 0777); }, true, false},
        {"a link to root's file",
         [](const std::string& h) {
             fs::rename(h + "/.popt", h + "/popt.real");
             fs::create_symlink(h + "/popt.real", h + "/.popt");
         },
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char tmpl[] = "/tmp/kel-home.XXXXXX";
        const std::string home = mkdtemp(tmpl);
        std::ofstream(home + "/.popt") << "install alias --other --log-path=/tmp/other.log\n";
        chmod((home + "/.popt").c_str(), 0600);
        if (c.spoil)
            c.spoil(home);
        const std::string rootHome = c.homeIsRoots ? home : "/nonexistent";
        EXPECT_EQ(root_may_read_alias_file(home, rootHome), c.read);
        if (c.homeIsRoots) {
            EXPECT_EQ(root_may_read_alias_file(home + "/", rootHome), c.read) << "with a trailing slash";
        }
        fs::remove_all(home);
    }
}

}  // namespace
