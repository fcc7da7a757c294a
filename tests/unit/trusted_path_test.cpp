// Whether anyone but root can change where a path leads: one tree of
// folders, files and links owned by root or by another user, walked the
// way the kernel walks it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exec/trusted_path.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct TrustedPath : ::testing::Test {
    std::string top;
    void SetUp() override {
        ASSERT_EQ(getuid(), 0u) << "ownership cases need root";
        char tmpl[] = "/tmp/kel-trust.XXXXXX";
        top = mkdtemp(tmpl);
        fs::permissions(top, fs::perms(0755));
        // Root's own folder with a file, a FIFO, a folder, links.
        dir("own", 0755);
        file("own/log");
        ASSERT_EQ(mkfifo(at("own/fifo").c_str(), 0600), 0);
        dir("own/sub", 0755);
        fs::create_symlink("log", at("own/link"));
        fs::create_symlink("loop", at("own/loop"));
        fs::create_symlink("../user", at("own/to-user"));
        fs::create_symlink("..", at("own/up"));
        // Folders others can write: a user's own, a group's, one for all.
        dir("user", 0755, kNobody);
        dir("group", 0775);
        dir("open", 0777);
        // A shared folder with the sticky bit, as /tmp.
        dir("shared", 01777);
        file("shared/root.log");
        file("shared/user.log", kNobody);
        dir("shared/rootdir", 0755);
        dir("shared/userdir", 0755, kNobody);
        fs::create_symlink(at("own"), at("shared/root-link"));
        fs::create_symlink(at("own"), at("shared/user-link"));
        ASSERT_EQ(lchown(at("shared/user-link").c_str(), kNobody, kNobody), 0);
        file("own/other");
        fs::create_hard_link(at("own/other"), at("shared/hard.log"));
    }
    void TearDown() override { fs::remove_all(top); }

    std::string at(const std::string& rel) const { return top + "/" + rel; }
    void dir(const std::string& rel, int mode, uid_t owner = 0) {
        fs::create_directory(at(rel));
        ASSERT_EQ(chmod(at(rel).c_str(), static_cast<mode_t>(mode)), 0);
        ASSERT_EQ(chown(at(rel).c_str(), owner, owner), 0);
    }
    void file(const std::string& rel, uid_t owner = 0) {
        std::ofstream(at(rel)) << "x\n";
        ASSERT_EQ(chown(at(rel).c_str(), owner, owner), 0);
    }
};

TEST_F(TrustedPath, EveryFolderOnTheWayAndTheFileAreJudged) {
    struct Case {
        std::string path;  // relative to the tree
        PathTrust trust;
        std::string where;  // relative to the tree; "" when none
        bool exists = false;
        bool shared = false;
    };
    const std::vector<Case> cases = {
        {"own/log", PathTrust::Trusted, "", true},
        {"own/new.log", PathTrust::Trusted, ""},
        {"own/missing/x.log", PathTrust::Trusted, ""},
        {"own/log/x.log", PathTrust::Trusted, ""},  // a file where a folder should be
        {"own/sub/../log", PathTrust::Trusted, "", true},
        {"own/up/own/log", PathTrust::Trusted, "", true},
        {"own/link", PathTrust::Link, "own/link"},
        {"own/fifo", PathTrust::NotRegular, "own/fifo"},
        {"own/sub", PathTrust::NotRegular, "own/sub"},
        {"own/sub/", PathTrust::NotRegular, "own/sub"},
        {"own/loop/x.log", PathTrust::Unreadable, "own/loop"},
        {"own/to-user/x.log", PathTrust::Writable, "user"},
        {"user/x.log", PathTrust::Writable, "user"},
        {"group/x.log", PathTrust::Writable, "group"},
        {"open/x.log", PathTrust::Writable, "open"},
        {"shared/root.log", PathTrust::Trusted, "", true, true},
        {"shared/new.log", PathTrust::Trusted, "", false, true},
        {"shared/rootdir/x.log", PathTrust::Trusted, ""},
        {"shared/root-link/log", PathTrust::Trusted, "", true},
        {"shared/user.log", PathTrust::NotRoots, "shared/user.log"},
        {"shared/userdir/x.log", PathTrust::NotRoots, "shared/userdir"},
        {"shared/user-link/log", PathTrust::NotRoots, "shared/user-link"},
        {"shared/missing/x.log", PathTrust::Writable, "shared"},
        {"shared/hard.log", PathTrust::HardLinked, "shared/hard.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const PathVerdict v = check_file_path(at(c.path));
        EXPECT_EQ(v.trust, c.trust);
        EXPECT_EQ(v.where, c.where.empty() ? "" : at(c.where));
        if (c.trust == PathTrust::Trusted) {
            EXPECT_EQ(v.exists, c.exists);
            EXPECT_EQ(v.shared, c.shared);
        }
        if (c.trust == PathTrust::Unreadable) {
            EXPECT_EQ(v.error, ELOOP);
        }
    }
}

TEST_F(TrustedPath, RelativePathIsFollowedFromTheWorkingFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(at("user"));
    const PathVerdict inUser = check_file_path("x.log");
    const PathVerdict backUp = check_file_path("../own/log");
    fs::current_path(at("own"));
    const PathVerdict inOwn = check_file_path("log");
    fs::current_path(before);
    EXPECT_EQ(inUser.trust, PathTrust::Writable);
    EXPECT_EQ(inUser.where, at("user"));
    // Every folder the way enters counts, also one it only leaves again.
    EXPECT_EQ(backUp.trust, PathTrust::Writable);
    EXPECT_EQ(backUp.where, at("user"));
    EXPECT_EQ(inOwn.trust, PathTrust::Trusted);
    EXPECT_TRUE(inOwn.exists);
}

}  // namespace
