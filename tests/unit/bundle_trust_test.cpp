// Who may change a bundle's tools, on small temporary trees: owners, write
// bits, shared folders above the bundle, and symbolic links inside and out.
// Also the account names the messages show, read from the account files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "exec/accounts.h"
#include "installer/bundle_trust.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

void tool(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\n";
    chmod(p.c_str(), 0755);
}

// <tmp>/kel-trust.XXXXXX (root, 0700) holding bundle/ (installer-cli,
// installer/pm.sh) and outside/tool, every one root's and 0755.
struct TrustTree : ::testing::Test {
    fs::path top;
    fs::path bundle;
    void SetUp() override {
        char tmpl[] = "/tmp/kel-trust.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        top = tmpl;
        bundle = top / "bundle";
        fs::create_directory(bundle);
        chmod(bundle.c_str(), 0755);
        tool(bundle / "installer-cli");
        tool(bundle / "installer" / "pm.sh");
        chmod((bundle / "installer").c_str(), 0755);
        tool(top / "outside" / "tool");
    }
    void TearDown() override { fs::remove_all(top); }
    std::string in(const std::string& rel) const { return (bundle / rel).string(); }
};

TEST_F(TrustTree, OnlyRootOrTheSudoUserMayChangeWhatRuns) {
    struct Case {
        const char* name;
        std::function<void(TrustTree&)> change;
        std::string tool;
        uid_t trusted;
        std::vector<std::string> says;  // empty: trusted
    };
    const std::vector<Case> cases = {
        {"root's tree", [](TrustTree&) {}, "./installer-cli", 0, {}},
        {"tool in a folder", [](TrustTree&) {}, "./installer/pm.sh", 0, {}},
        {"missing tool: nothing runs", [](TrustTree&) {}, "./installer/check_selinux.sh", 0, {}},
        {"group-writable tool", [](TrustTree& t) { chmod(t.in("installer-cli").c_str(), 0775); }, "./installer-cli",
         0, {"'BUNDLE/installer-cli' can be written by the group root (0).", "chmod go-w BUNDLE/installer-cli"}},
        {"world-writable tool", [](TrustTree& t) { chmod(t.in("installer-cli").c_str(), 0757); }, "./installer-cli",
         0, {"'BUNDLE/installer-cli' can be written by every user.", "chmod go-w BUNDLE/installer-cli"}},
        {"world-writable tool folder", [](TrustTree& t) { chmod(t.in("installer").c_str(), 0777); },
         "./installer/pm.sh", 0, {"'BUNDLE/installer' can be written by every user."}},
        {"missing tool in a world-writable folder",
         [](TrustTree& t) { chmod(t.in("installer").c_str(), 0777); }, "./installer/check_selinux.sh", 0,
         {"'BUNDLE/installer' can be written by every user."}},
        {"bundle of another user", [](TrustTree& t) { chown(t.bundle.c_str(), kNobody, kNobody); },
         "./installer-cli", 0, {"'BUNDLE' belongs to user nobody (65534).", "unpack the bundle as root"}},
        {"bundle of the sudo user", [](TrustTree& t) { chown(t.bundle.c_str(), kNobody, kNobody); },
         "./installer-cli", kNobody, {}},
        {"tool of the sudo user", [](TrustTree& t) { chown(t.in("installer-cli").c_str(), kNobody, kNobody); },
         "./installer-cli", kNobody, {}},
        {"sudo user's tool writable by its group",
         [](TrustTree& t) {
             chown(t.in("installer-cli").c_str(), kNobody, 0);
             chmod(t.in("installer-cli").c_str(), 0775);
         },
         "./installer-cli", kNobody, {"'BUNDLE/installer-cli' can be written by the group root (0)."}},
        {"world-writable parent", [](TrustTree& t) { chmod(t.top.c_str(), 0777); }, "./installer-cli", 0,
         {"'TOP' can be written by every user.", "chmod go-w TOP"}},
        {"shared parent with the sticky bit", [](TrustTree& t) { chmod(t.top.c_str(), 01777); }, "./installer-cli",
         0, {}},
        {"shared parent of another user",
         [](TrustTree& t) {
             chown(t.top.c_str(), kNobody, kNobody);
             chmod(t.top.c_str(), 01777);
         },
         "./installer-cli", 0, {"'TOP' belongs to user nobody (65534)."}},
        {"the bundle itself shared", [](TrustTree& t) { chmod(t.bundle.c_str(), 01777); }, "./installer-cli", 0,
         {"'BUNDLE' can be written by every user."}},
        {"link to a tool outside",
         [](TrustTree& t) {
             fs::remove(t.in("installer-cli"));
             fs::create_symlink(t.top / "outside" / "tool", t.in("installer-cli"));
         },
         "./installer-cli", 0, {"'BUNDLE/installer-cli' is a symbolic link that leads out of the bundle."}},
        {"relative link out",
         [](TrustTree& t) {
             fs::remove(t.in("installer/pm.sh"));
             fs::create_symlink("../../outside/tool", t.in("installer/pm.sh"));
         },
         "./installer/pm.sh", 0, {"'BUNDLE/installer/pm.sh' is a symbolic link that leads out of the bundle."}},
        {"relative link inside",
         [](TrustTree& t) {
             fs::remove(t.in("installer-cli"));
             fs::create_symlink("installer/pm.sh", t.in("installer-cli"));
         },
         "./installer-cli", 0, {}},
        {"absolute link inside",
         [](TrustTree& t) {
             fs::remove(t.in("installer-cli"));
             fs::create_symlink(t.in("installer/pm.sh"), t.in("installer-cli"));
         },
         "./installer-cli", 0, {}},
        {"linked folder that others can write",
         [](TrustTree& t) {
             fs::rename(t.in("installer"), t.in("libexec"));
             fs::create_symlink("libexec", t.in("installer"));
             chmod(t.in("libexec").c_str(), 0777);
         },
         "./installer/pm.sh", 0, {"'BUNDLE/libexec' can be written by every user."}},
        {"link read from a folder that others can write",
         [](TrustTree& t) {
             // installer-cli -> shared/hop -> installer/pm.sh: the end is
             // sound, but anyone may replace hop.
             fs::create_directory(t.in("shared"));
             chmod(t.in("shared").c_str(), 0777);
             fs::create_symlink("../installer/pm.sh", t.in("shared/hop"));
             fs::remove(t.in("installer-cli"));
             fs::create_symlink("shared/hop", t.in("installer-cli"));
         },
         "./installer-cli", 0, {"'BUNDLE/shared' can be written by every user."}},
        {"link loop",
         [](TrustTree& t) {
             fs::remove(t.in("installer-cli"));
             fs::create_symlink("installer-cli", t.in("installer-cli"));
         },
         "./installer-cli", 0, {"'BUNDLE/installer-cli' cannot be checked: Too many levels of symbolic links"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.change(*this);
        const std::string problem = bundle_tool_problem(bundle.string(), c.tool, c.trusted);
        if (c.says.empty()) {
            EXPECT_EQ(problem, "");
            continue;
        }
        for (std::string want : c.says) {
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"BUNDLE", bundle.string()},
                                             {"TOP", top.string()}})
                if (const auto at = want.find(key); at != std::string::npos)
                    want.replace(at, key.size(), value);
            EXPECT_NE(problem.find(want), std::string::npos) << "want: " << want << "\ngot: " << problem;
        }
    }
}

TEST_F(TrustTree, TheBundleMayBeNamedThroughALink) {
    // The check follows the bundle's real path: a link to it names the same folders.
    const fs::path link = top / "link";
    fs::create_symlink(bundle, link);
    EXPECT_EQ(bundle_tool_problem(link.string(), "./installer-cli", 0), "");
    chmod(top.c_str(), 0777);
    EXPECT_NE(bundle_tool_problem(link.string(), "./installer-cli", 0).find("'" + top.string() + "' can be written"),
              std::string::npos);
}

TEST(SudoUser, OnlyAPlainNumberNamesAUser) {
    const struct {
        const char* value;  // null: unset
        uid_t uid;
    } cases[] = {
        {nullptr, 0},   {"1000", 1000}, {"0", 0},        {"", 0},          {"abc", 0},
        {"1000x", 0},   {" 1000", 0},   {"-1", 0},       {"+5", 0},        {"4294967295", 0},
        {"99999999999", 0}, {"4294967294", 4294967294u},
    };
    const char* saved = std::getenv("SUDO_UID");
    const std::string keep = saved ? saved : "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        if (c.value)
            setenv("SUDO_UID", c.value, 1);
        else
            unsetenv("SUDO_UID");
        EXPECT_EQ(sudo_user(), c.uid);
    }
    if (saved)
        setenv("SUDO_UID", keep.c_str(), 1);
    else
        unsetenv("SUDO_UID");
}

TEST(AccountName, ReadsTheNameOfAnIdFromTheFile) {
    char tmpl[] = "/tmp/kel-accounts.XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string file = tmpl;
    std::ofstream(file) << "root:x:0:0:root:/root:/bin/bash\n"
                           "# a comment:x:7:7\n"
                           "odd:x:12a:12::/:/bin/sh\n"
                           ":x:13:13::/:/bin/sh\n"
                           "short:x:14\n"
                           "first:x:1000:1000::/home/first:/bin/sh\n"
                           "second:x:1000:1000::/home/second:/bin/sh\n"
                           "last:x:65534:65534::/nonexistent:/usr/sbin/nologin";
    const struct {
        unsigned long id;
        const char* name;
    } cases[] = {
        {0, "root"}, {1000, "first"}, {65534, "last"}, {12, ""}, {13, ""}, {14, ""}, {7, ""}, {42, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(account_name(file.c_str(), c.id), c.name);
    }
    EXPECT_EQ(account_name((file + ".missing").c_str(), 0), "");
    unlink(file.c_str());
}

}  // namespace
