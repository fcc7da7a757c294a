// Path lookups on temporary trees, and on a real mount point: a tmpfs mounted
// inside a private mount namespace that only a re-run of this binary sees.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exec/paths.h"

namespace fs = std::filesystem;

namespace {

// The lookups hand back malloc'ed strings; "" stands for NULL here.
std::string take(char* s) {
    std::unique_ptr<char, decltype(&std::free)> owned(s, &std::free);
    return s ? std::string(s) : std::string();
}

void touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

struct Tree : ::testing::Test {
    fs::path root;
    fs::path cwd;
    void SetUp() override {
        char tmpl[] = "/tmp/kel-paths.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        cwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(cwd);
        fs::remove_all(root);
    }
    std::string at(const std::string& rel) const { return (root / rel).string(); }
};

TEST_F(Tree, FindFileUpTriesEachPrefixFromTheLastSlashUp) {
    struct Case {
        std::string start;
        std::vector<std::string> files;  // created, relative to the tree
        std::vector<std::string> dirs;
        std::string found;  // relative to the tree; "" for none
    };
    const std::vector<Case> cases = {
        // The nearest candidate wins over every farther one.
        {"a/b/c/", {"a/b/c/LICENSE", "a/b/LICENSE", "a/LICENSE", "LICENSE"}, {}, "a/b/c/LICENSE"},
        {"a/b/c/", {"a/b/LICENSE", "a/LICENSE", "LICENSE"}, {}, "a/b/LICENSE"},
        {"a/b/c/", {"a/LICENSE", "LICENSE"}, {}, "a/LICENSE"},
        {"a/b/c/", {"LICENSE"}, {}, "LICENSE"},
        // Without a trailing slash the last component is not searched.
        {"a/b/setup", {"a/b/setup/LICENSE", "a/b/LICENSE", "a/LICENSE"}, {}, "a/b/LICENSE"},
        // Only regular files count; a directory of that name is passed over.
        {"a/b/", {"a/LICENSE"}, {"a/b/LICENSE"}, "a/LICENSE"},
        {"a/b/", {}, {"a/b/LICENSE", "a/LICENSE"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start + " -> " + c.found);
        fs::remove_all(root / "a");
        fs::remove(root / "LICENSE");
        for (const auto& f : c.files)
            touch(root / f);
        for (const auto& d : c.dirs)
            fs::create_directories(root / d);
        fs::create_directories(root / "a/b/c");
        const std::string got = take(find_file_up(at(c.start).c_str(), "LICENSE"));
        EXPECT_EQ(got, c.found.empty() ? "" : at(c.found));
    }
}

TEST_F(Tree, RelativeStartsKeepTheirSpelling) {
    touch(root / "installer/cpu_check");
    touch(root / "cpu_check");
    fs::current_path(root);
    EXPECT_EQ(take(find_file_up("./installer/", "cpu_check")), "./installer/cpu_check");
    fs::remove(root / "installer/cpu_check");
    EXPECT_EQ(take(find_file_up("./installer/", "cpu_check")), "./cpu_check");
    // Doubled slashes are not normalised away: each one is a step of its own.
    touch(root / "installer/cpu_check");
    EXPECT_EQ(take(find_file_up("./installer//", "cpu_check")), "./installer//cpu_check");
}

TEST_F(Tree, GetFilenameFromDotSlashFindsOnlyARegularLicence) {
    fs::current_path(root);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string found;
    };
    const std::vector<Case> cases = {
        {"regular file", [&] { touch(root / "LICENSE"); }, "./LICENSE"},
        {"link to a regular file",
         [&] {
             touch(root / "real-licence");
             fs::create_symlink("real-licence", root / "LICENSE");
         },
         "./LICENSE"},
        {"directory", [&] { fs::create_directory(root / "LICENSE"); }, ""},
        {"dangling link", [&] { fs::create_symlink("nowhere", root / "LICENSE"); }, ""},
        {"missing", [] {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root / "LICENSE");
        c.make();
        EXPECT_EQ(take(get_filename("./", "LICENSE")), c.found);
    }
}

TEST_F(Tree, TypeTestsAnswerZeroForYes) {
    touch(root / "file");
    fs::create_directory(root / "dir");
    fs::create_symlink("file", root / "link-to-file");
    fs::create_symlink("dir", root / "link-to-dir");
    fs::create_symlink("missing", root / "dangling");
    struct Case {
        const char* name;
        int file;
        int file_symlink;
        int directory;
    };
    const std::vector<Case> cases = {
        {"file", 0, 0, 1},         {"dir", 1, 1, 0},     {"link-to-file", 0, 0, 1},
        {"link-to-dir", 1, 0, 0},  {"dangling", 1, 0, 1}, {"missing", 1, 1, 1},
        {"file/below", 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = at(c.name);
        EXPECT_EQ(check_file(p.c_str()), c.file);
        EXPECT_EQ(check_file_symlink(p.c_str()), c.file_symlink);
        EXPECT_EQ(check_directory(p.c_str()), c.directory);
    }
}

// The archive check reports strerror(errno) for every file check_file refuses.
TEST_F(Tree, ErrnoIsWhatTheFailingQueryLeft) {
    touch(root / "file");
    fs::create_directory(root / "dir");
    struct Case {
        std::string path;
        int err;  // 0: no query failed, errno must be untouched
    };
    const std::vector<Case> cases = {
        {at("missing"), ENOENT},
        {at("file/below"), ENOTDIR},
        {at("dir"), 0},
        {"/" + std::string(5000, 'x'), ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 60));
        errno = 4242;
        EXPECT_EQ(check_file(c.path.c_str()), 1);
        EXPECT_EQ(errno, c.err ? c.err : 4242);
    }

    errno = 4242;
    EXPECT_EQ(take(find_file_up(at("dir/").c_str(), "nowhere-to-be-found")), "");
    EXPECT_EQ(errno, ENOENT);
    // No slash: nothing to search, nothing queried.
    for (const char* start : {"", "LICENSE"}) {
        errno = 4242;
        EXPECT_EQ(take(find_file_up(start, "LICENSE")), "") << start;
        EXPECT_EQ(errno, 4242) << start;
    }
    // A start that cannot fit a path is refused by the kernel, not cut short.
    errno = 4242;
    const std::string deep = at("") + std::string(5000, 'd') + "/";
    EXPECT_EQ(take(find_file_up(deep.c_str(), "LICENSE")), "");
    EXPECT_EQ(take(get_filename(deep.c_str(), "LICENSE")), "");
}

// ---- on a real mount point --------------------------------------------------

constexpr const char* kInNamespace = "KEL_PATHS_IN_MOUNT_NS";

std::string selfPath() {
    return fs::read_symlink("/proc/self/exe").string();
}

// Re-runs one test of this binary inside `unshare -m` (private propagation),
// so the mounts it makes vanish with it and never reach the real namespace.
void runInPrivateMountNamespace(const std::string& test) {
    const std::string cmd = std::string(kInNamespace) + "=1 unshare -m --propagation private " + selfPath() +
        " --gtest_filter=" + test + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

struct Mounted : Tree {
    std::vector<std::string> mounts;
    void mountTmpfs(const fs::path& at) {
        fs::create_directories(at);
        ASSERT_EQ(mount("kel-test", at.c_str(), "tmpfs", 0, "size=1m"), 0) << at << ": " << std::strerror(errno);
        mounts.push_back(at.string());
    }
    void TearDown() override {
        fs::current_path(cwd);
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it)
            umount2(it->c_str(), MNT_DETACH);
        Tree::TearDown();
    }
};

// Some directory of the root file system directly below "/", or "".
std::string dirBelowRootOnRootDevice() {
    struct stat r;
    if (stat("/", &r) != 0)
        return "";
    for (const char* d : {"/media", "/srv", "/opt"}) {
        struct stat s;
        if (stat(d, &s) == 0 && S_ISDIR(s.st_mode) && s.st_dev == r.st_dev)
            return d;
    }
    return "";
}

TEST_F(Mounted, MountPointLookupsOnATmpfs) {
    if (!std::getenv(kInNamespace)) {
        runInPrivateMountNamespace("Mounted.MountPointLookupsOnATmpfs");
        return;
    }
    const fs::path cd = root / "cdrom";
    mountTmpfs(cd);
    touch(cd / "dir/file");
    const std::string mp = cd.string();

    // Any path inside the mounted file system, with or without a trailing slash.
    for (const std::string& p : {mp + "/dir/file", mp + "/dir", mp + "/", mp})
        EXPECT_EQ(take(get_cd_mpoint(p.c_str())), mp) << p;

    // On the root file system the walk reaches "/" and yields nothing.
    const std::string top = dirBelowRootOnRootDevice();
    ASSERT_FALSE(top.empty()) << "no directory below / on the root device to mount over";
    EXPECT_EQ(take(get_cd_mpoint(top.c_str())), "");
    EXPECT_EQ(take(get_cd_mpoint("/")), "");

    // A relative path runs out of slashes before it leaves the device.
    fs::current_path(cd / "dir");
    EXPECT_EQ(take(get_cd_mpoint("./file")), "");
    EXPECT_EQ(take(get_cd_mpoint("file")), "");
    fs::current_path(cwd);

    // get_filename falls back to the mount point only when no regular file was
    // found on the way up, and there it accepts a directory.
    ASSERT_NE(check_file("/LICENSE"), 0) << "a /LICENSE on this machine hides the fallback";
    ASSERT_NE(check_file(("/tmp/LICENSE")), 0) << "a /tmp/LICENSE on this machine hides the fallback";
    fs::create_directory(cd / "LICENSE");
    const std::string start = mp + "/dir/";
    EXPECT_EQ(take(get_filename(start.c_str(), "LICENSE")), mp + "/LICENSE");
    touch(cd / "dir/LICENSE");
    EXPECT_EQ(take(get_filename(start.c_str(), "LICENSE")), mp + "/dir/LICENSE");
    fs::remove(cd / "dir/LICENSE");
    fs::remove(cd / "LICENSE");
    errno = 4242;
    EXPECT_EQ(take(get_filename(start.c_str(), "LICENSE")), "");
    EXPECT_EQ(errno, ENOENT);

    // A file system mounted directly below the root.
    mountTmpfs(top);
    touch(fs::path(top) / "x/y");
    for (const std::string& p : {top + "/x/y", top + "/x", top})
        EXPECT_EQ(take(get_cd_mpoint(p.c_str())), top) << p;
}

}  // namespace
