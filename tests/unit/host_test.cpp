// Host and file-system services: temporary files, trimmed lines, descriptor
// swapping, directory search, mount-table lookups, configuration parameters,
// the shell wrappers and the host probes of this machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exec/host.h"
#include "installer/state.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Takes ownership of a returned heap string.
std::string own(char* s) {
    std::string out = s ? s : "<null>";
    std::free(s);
    return out;
}

std::set<std::string> tempNames() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator("/tmp"))
        if (e.path().filename().string().rfind("cvinstall.", 0) == 0)
            names.insert(e.path().string());
    return names;
}

// A scratch directory with the installation log inside it.
struct HostDir : ::testing::Test {
    fs::path dir;
    std::string logFile;
    void SetUp() override {
        char tmpl[] = "/tmp/kel-host.XXXXXX";
        dir = mkdtemp(tmpl);
        logFile = (dir / "install.log").string();
        log_path = logFile.data();
    }
    void TearDown() override {
        log_path = nullptr;
        fs::remove_all(dir);
    }
    std::string path(const std::string& rel) const { return (dir / rel).string(); }
    // Log entries without their time stamps.
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        std::istringstream in(slurp(logFile));
        std::string line;
        const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: )");
        while (std::getline(in, line))
            out.push_back(std::regex_replace(line, stamp, ""));
        return out;
    }
    bool logHas(const std::string& line) const {
        for (const auto& l : logLines())
            if (l == line)
                return true;
        return false;
    }
    int logCount(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : logLines())
            n += l.rfind(prefix, 0) == 0;
        return n;
    }
};

// ---- temporary files and trimmed lines -------------------------------------

TEST(OpenTemp, LeavesNoNameBehindAndReadsBackWhatWasWritten) {
    const auto before = tempNames();
    FILE* f = openTemp();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tempNames(), before);
    struct stat st {};
    ASSERT_EQ(fstat(fileno(f), &st), 0);
    EXPECT_EQ(st.st_nlink, 0u);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    std::fputs("kept in the nameless file\n", f);
    std::rewind(f);
    char buf[64] = {};
    ASSERT_NE(std::fgets(buf, sizeof buf, f), nullptr);
    EXPECT_STREQ(buf, "kept in the nameless file\n");
    std::fclose(f);
    EXPECT_EQ(tempNames(), before);
}

TEST(OpenTempDeathTest, UnwritableTmpIsFatalWithTheFileNameAndReason) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A read-only /tmp in a private mount namespace of the child only.
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("kel-ro", "/tmp", "tmpfs", MS_RDONLY, nullptr) != 0) {
                std::fprintf(stderr, "no private mount namespace\n");
                std::_Exit(99);
            }
            openTemp();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1),
        R"(The temporary file '/tmp/cvinstall\.[A-Za-z0-9]{6}' could not be created: Read-only file system)");
}

TEST(ReadTrimmedLines, DropsLeadingBlanksAndAddsANewlinePerLine) {
    const std::string longLine(5000, 'x');
    const struct {
        const char* name;
        std::string content;
        std::string expected;
    } cases[] = {
        {"two lines", "  a\nb\n", "a\n\nb\n\n"},
        {"tabs and blanks mixed", "\t \tindented\tinside\n", "indented\tinside\n\n"},
        {"blank-only line", "x\n   \n", "x\n\n\n\n"},
        {"last line without newline", "a\nb", "a\n\nb\n"},
        {"empty file", "", ""},
        {"line longer than the buffer", "  " + longLine + "\n", longLine + "\n\n"},
        {"trailing blanks stay", "a  \n", "a  \n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FILE* f = openTemp();
        std::fwrite(c.content.data(), 1, c.content.size(), f);
        // Read from the start whatever the stream position.
        EXPECT_EQ(own(readTrimmedLines(f)), c.expected);
        std::fclose(f);
    }
}

// ---- descriptors and directories ------------------------------------------------

TEST_F(HostDir, SwapfdExchangesWhatTheDescriptorsReferTo) {
    const auto openFds = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const int a = open(path("a").c_str(), O_CREAT | O_WRONLY, 0644);
    const int b = open(path("b").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const auto before = openFds();
    swapfd(a, b);
    EXPECT_EQ(openFds(), before);
    ASSERT_EQ(write(a, "to b", 4), 4);
    ASSERT_EQ(write(b, "to a", 4), 4);
    close(a);
    close(b);
    EXPECT_EQ(slurp(path("a")), "to a");
    EXPECT_EQ(slurp(path("b")), "to b");
}

TEST_F(HostDir, FindDirUpTakesTheNearestDirectoryTowardTheRoot) {
    fs::create_directories(path("top/a/b/c"));
    fs::create_directories(path("top/a/target"));
    fs::create_directories(path("top/target/inner"));
    spit(path("top/a/b/target"), "a file, not a directory");
    fs::create_directories(path("top/a/b/c/linked"));
    fs::create_directory_symlink(path("top/a/target"), path("top/a/b/c/via-link"));
    const std::string top = path("top");
    const struct {
        const char* name;
        const char* start;  // relative to the scratch dir; nullptr for NULL
        const char* wanted;
        std::string expected;
    } cases[] = {
        {"a regular file of that name is passed over", "top/a/b/c/", "target", top + "/a/target"},
        {"the last component is searched only with a trailing slash", "top/a/b/c", "linked", "<null>"},
        {"the start's own directory with a trailing slash", "top/a/b/c/", "linked", top + "/a/b/c/linked"},
        {"a link to a directory counts", "top/a/b/c/", "via-link", top + "/a/b/c/via-link"},
        {"nothing found up to the root", "top/a/b/c/", "no-such-dir", "<null>"},
        {"NULL start", nullptr, "target", "<null>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string start = c.start ? path(c.start) : "";
        EXPECT_EQ(own(find_dir_up(c.start ? start.c_str() : nullptr, c.wanted)), c.expected);
    }
    EXPECT_EQ(own(find_dir_up("no-slash-here", "target")), "<null>");
}

// ---- the mount table -------------------------------------------------------------

TEST_F(HostDir, MountTableLookupsMatchThePathFollowedByABlank) {
    const std::string longField(5000, 'x');
    const struct {
        const char* name;
        std::string table;
        const char* path;
        const char* device;
        const char* type;
    } cases[] = {
        {"plain entry", "/dev/sda1 / ext4 rw 0 0\n/dev/sr0 /mnt/cdrom iso9660 ro 0 0\n", "/mnt/cdrom", "/dev/sr0",
         "iso9660"},
        {"substring of a longer mount point, first line wins",
         "/dev/sdb1 /media/mnt/cdrom vfat rw 0 0\n/dev/sr0 /mnt/cdrom iso9660 ro 0 0\n", "/mnt/cdrom", "/dev/sdb1",
         "vfat"},
        {"only the first occurrence in a line is tested",
         "/dev/sdc1 /mnt/cdrom/sub ext4 rw,/mnt/cdrom 0 0\n/dev/sr0 /mnt/cdrom iso9660 ro 0 0\n", "/mnt/cdrom",
         "/dev/sr0", "iso9660"},
        {"the device field is not searched", "/mnt/cdrom /srv tmpfs rw 0 0\n", "/mnt/cdrom", "<null>", "<null>"},
        {"a line without a blank is skipped", "/mnt/cdrom\n/dev/sr1 /mnt/cdrom udf ro 0 0\n", "/mnt/cdrom",
         "/dev/sr1", "udf"},
        {"no type field after the match: the type lookup goes on",
         "/dev/sr0 /mnt/cdrom iso9660\n/dev/sr1 /mnt/cdrom udf ro 0 0\n", "/mnt/cdrom", "/dev/sr0", "udf"},
        {"no matching line", "/dev/sda1 / ext4 rw 0 0\n", "/mnt/cdrom", "<null>", "<null>"},
        {"the rest of an over-long line is read as a line of its own",
         "/dev/sda1 " + longField + " /mnt/cdrom iso9660 ro 0 0\n", "/mnt/cdrom",
         // 4094 characters are read at a time: "/dev/sda1 " (10) and 4084 x.
         nullptr, "iso9660"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        spit(path("mounts"), c.table);
        const std::string device = c.device ? c.device : std::string(5000 - 4084, 'x');
        EXPECT_EQ(own(mount_table_device(path("mounts").c_str(), c.path)), device);
        EXPECT_EQ(own(mount_table_fs_type(path("mounts").c_str(), c.path)), c.type);
    }
    EXPECT_EQ(own(mount_table_device(path("missing").c_str(), "/")), "<null>");
    EXPECT_EQ(own(mount_table_fs_type(path("missing").c_str(), "/")), "<null>");
}

TEST_F(HostDir, FileSystemTypesOfKnownMounts) {
    // procfs is neither ISO 9660 nor one of the local disk file systems.
    EXPECT_EQ(is_isofs("/proc"), 0);
    EXPECT_EQ(is_nonlocal("/proc"), 1);
    EXPECT_EQ(own(get_fs_type("/proc")), "proc");
    // A status that cannot be read: logged, and 0 from both.
    const std::string missing = path("no/such/dir");
    EXPECT_EQ(is_isofs(missing.c_str()), 0);
    EXPECT_EQ(is_nonlocal(missing.c_str()), 0);
    EXPECT_EQ(logCount("Can't statfs: No such file or directory " + missing + "."), 2);
}

// ---- configuration parameters ---------------------------------------------------

TEST_F(HostDir, SetParamAppendsRewritesOrLeavesTheFileAndKeepsItsMode) {
    const std::string marker = path("pwned");
    const std::string sedCommands = "a/;e touch " + marker + ";s/";
    const struct {
        const char* name;
        const char* before;  // nullptr: no file
        const char* var;
        std::string val;
        std::string after;
    } cases[] = {
        {"parameter missing: one line appended", "A=1\n", "MODE", "fast", "A=1\nMODE=fast\n"},
        {"missing file is created", nullptr, "MODE", "fast", "MODE=fast\n"},
        {"blank, '=' and blank before the old value", "A=1\nMODE = slow\nB=2\n", "MODE", "fast",
         "A=1\nMODE=fast\nB=2\n"},
        {"every line of the name is rewritten", "MODE=1\nMODE slow\n", "MODE", "fast", "MODE=fast\nMODE=fast\n"},
        {"a longer name starting with the name: nothing changed or added", "MODES=all\n", "MODE", "fast",
         "MODES=all\n"},
        {"a value with slashes and an ampersand is written as given", "DIR=/old\n", "DIR", "/usr/lib/a&b",
         "DIR=/usr/lib/a&b\n"},
        {"sed commands in a value stay text", "X=1\n", "X", sedCommands, "X=" + sedCommands + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string conf = path("conf dir/my.conf");
        fs::remove_all(path("conf dir"));
        fs::create_directories(path("conf dir"));
        if (c.before) {
            spit(conf, c.before);
            chmod(conf.c_str(), 0640);
        }
        EXPECT_EQ(set_param(conf.c_str(), c.var, c.val.c_str()), 0);
        EXPECT_EQ(slurp(conf), c.after);
        struct stat st {};
        ASSERT_EQ(stat(conf.c_str(), &st), 0);
        if (c.before) {
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
        EXPECT_FALSE(fs::exists(conf + ".tmp"));
        EXPECT_FALSE(fs::exists(marker));
    }
}

TEST_F(HostDir, SetParamRefusesTextThatCannotBeWrittenAsGiven) {
    const std::string conf = path("my.conf");
    const std::string marker = path("injected");
    const std::string quoteVal = "x'; touch " + marker + "; echo '";
    const struct {
        const char* name;
        const char* var;
        const char* val;
    } cases[] = {
        {"single quote in the value", "X", quoteVal.c_str()},
        {"single quote in the name", "X'", "1"},
        {"line break in the value", "X", "1\nY=2"},
        {"backslash in the value", "X", "a\\nb"},
        {"empty name", "", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        spit(conf, "X=0\n");
        EXPECT_EQ(set_param(conf.c_str(), c.var, c.val), -1);
        EXPECT_EQ(slurp(conf), "X=0\n");
        EXPECT_FALSE(fs::exists(marker));
    }
}

// ---- shell wrappers ----------------------------------------------------------------

TEST_F(HostDir, WrappersRunTheirCommandsWithPathsAsSingleArguments) {
    const std::string made = path("new dir/sub");
    EXPECT_EQ(makedir(made.c_str()), 0);
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(logHas("execCmd: mkdir -p '" + made + "' [0]"));

    spit(path("src file"), "payload");
    EXPECT_EQ(copy_file(path("src file").c_str(), (made + "/copy").c_str()), 0);
    EXPECT_EQ(slurp(made + "/copy"), "payload");

    EXPECT_EQ(removedir(path("new dir").c_str()), 0);
    EXPECT_FALSE(fs::exists(path("new dir")));

    // Plain paths keep the exact command text, including its double blank.
    fs::create_directories(path("plain/x"));
    EXPECT_EQ(remove_directory(path("plain").c_str()), 0);
    EXPECT_FALSE(fs::exists(path("plain")));
    EXPECT_TRUE(logHas("execCmd: /bin/rm -rf  " + path("plain") + " [0]"));

    // A failing command's status comes back.
    EXPECT_NE(copy_file(path("missing").c_str(), path("x").c_str()), 0);
}

TEST_F(HostDir, RemovalTakesAPatternLiterally) {
    fs::create_directories(path("keep/a"));
    fs::create_directories(path("keep/b"));
    EXPECT_EQ(removedir(path("keep/*").c_str()), 0);
    EXPECT_EQ(remove_directory(path("keep/*").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(path("keep/a")));
    EXPECT_TRUE(fs::is_directory(path("keep/b")));
}

TEST_F(HostDir, UntarUnpacksIntoTheTargetAndOnlyThere) {
    fs::create_directories(path("payload"));
    spit(path("payload/file.txt"), "inside");
    ASSERT_EQ(std::system(("tar -C '" + path("payload") + "' -czf '" + path("arch.tgz") + "' file.txt").c_str()), 0);
    fs::create_directories(path("target dir"));

    EXPECT_EQ(untar(path("arch.tgz").c_str(), path("target dir").c_str()), 0);
    EXPECT_EQ(slurp(path("target dir/file.txt")), "inside");

    // A relative archive path is taken relative to the target.
    fs::create_directories(path("rel"));
    fs::copy_file(path("arch.tgz"), path("rel/here.tgz"));
    EXPECT_EQ(untar("here.tgz", path("rel").c_str()), 0);
    EXPECT_EQ(slurp(path("rel/file.txt")), "inside");

    // A missing target unpacks nothing anywhere, and says so.
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    fs::remove(path("file.txt"));
    EXPECT_EQ(untar(path("arch.tgz").c_str(), path("no such dir").c_str()), -1);
    fs::current_path(cwd);
    EXPECT_FALSE(fs::exists(path("file.txt")));
    EXPECT_NE(untar(path("no-archive.tgz").c_str(), path("rel").c_str()), 0);
}

TEST_F(HostDir, CopyFilesArrayCopiesRegularFilesAndStopsAtTheFirstFailure) {
    spit(path("one"), "1");
    spit(path("two"), "2");
    fs::create_directories(path("a dir"));
    fs::create_directories(path("dest"));
    const std::string one = path("one");
    const std::string two = path("two");
    const std::string aDir = path("a dir");
    const std::string missing = path("missing");
    const char* list[] = {one.c_str(), missing.c_str(), aDir.c_str(), two.c_str(), nullptr};
    EXPECT_EQ(copy_files_array(list, path("dest").c_str()), 0);
    EXPECT_EQ(slurp(path("dest/one")), "1");
    EXPECT_EQ(slurp(path("dest/two")), "2");
    EXPECT_FALSE(fs::exists(path("dest/a dir")));
    EXPECT_EQ(logCount("execCmd: /bin/cp "), 2);
    EXPECT_TRUE(logHas("execCmd: /bin/cp " + one + "  " + path("dest") + " [0]"));

    const char* empty[] = {nullptr};
    EXPECT_EQ(copy_files_array(empty, path("dest").c_str()), 0);
    EXPECT_EQ(logCount("execCmd: /bin/cp "), 2);

    // Into a directory that does not exist: the first copy fails, the second is not tried.
    const char* both[] = {one.c_str(), two.c_str(), nullptr};
    EXPECT_EQ(copy_files_array(both, path("nowhere/").c_str()), 1);
    EXPECT_EQ(logCount("execCmd: /bin/cp "), 3);
}

TEST_F(HostDir, ACommandTooLongForItsBufferIsNotRun) {
    const std::string longName = path(std::string(4100, 'd'));
    EXPECT_EQ(makedir(longName.c_str()), -1);
    EXPECT_EQ(removedir(longName.c_str()), -1);
    EXPECT_EQ(logCount("execCmd: "), 0);
    EXPECT_EQ(logCount("Command too long"), 2);
}

// ---- host probes on this machine --------------------------------------------------

TEST_F(HostDir, BuildToolProbesFollowTheSearchPath) {
    const char* saved = std::getenv("PATH");
    const std::string oldPath = saved ? saved : "";
    const bool hasMake = std::system("command -v make >/dev/null 2>&1") == 0;
    const bool hasGcc = std::system("command -v gcc >/dev/null 2>&1") == 0;
    EXPECT_EQ(check_make(), hasMake ? 1 : 0);
    EXPECT_EQ(check_gcc(), hasGcc ? 1 : 0);
    EXPECT_EQ(logCount("execCmd: type make 2>&1 ["), 1);
    EXPECT_EQ(logCount("execCmd: type gcc 2>&1 ["), 1);

    fs::create_directories(path("empty-bin"));
    setenv("PATH", path("empty-bin").c_str(), 1);
    const int make = check_make();
    const int gcc = check_gcc();
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(make, 0);
    EXPECT_EQ(gcc, 0);
}

TEST_F(HostDir, ArchitectureProbesAgreeWithUname) {
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    const bool x86_64 = std::string(u.machine) == "x86_64";
    EXPECT_EQ(arch_x86_64(), x86_64 ? 1 : 0);
    if (access("/etc/lsb-release", F_OK) != 0) {
        EXPECT_EQ(check_debian_x64(), 1);
    }
}

TEST_F(HostDir, KernelSourcesProbeLogsEachCandidate) {
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    const std::string rel = u.release;
    const std::vector<std::string> candidates = {
        "/lib/modules/" + rel + "/build/include/linux/version.h",
        "/lib/modules/" + rel + "/build/include/generated/uapi/linux/version.h",
        "/usr/src/linux-" + rel + "/include/linux/version.h",
    };
    int found = -1;
    for (size_t i = 0; i < candidates.size() && found < 0; ++i)
        if (fs::is_regular_file(candidates[i]))
            found = static_cast<int>(i);
    EXPECT_EQ(check_kernel_sources(), found >= 0 ? 1 : 0);
    const size_t tried = found >= 0 ? static_cast<size_t>(found) + 1 : candidates.size();
    std::vector<std::string> expected;
    for (size_t i = 0; i < tried; ++i) {
        expected.push_back("check kernel " + candidates[i]);
        if (static_cast<int>(i) != found)
            expected.push_back("check kernel " + candidates[i] + " not found");
    }
    EXPECT_EQ(logLines(), expected);
}

TEST_F(HostDir, Ia32ProbeRunsItsPipelineThroughTheShell) {
    const int r = check_ia32_support();
    EXPECT_TRUE(r == 0 || r == 1) << r;
    EXPECT_TRUE(logHas("execCmd: PATH=/sbin:/usr/sbin${PATH:+:$PATH} ;  file -L `ldconfig -p | grep \"/libc\\.so\" "
                       "| sed -e 's/^.* => //'` 2>/dev/null | grep -q 'ELF 32-bit' [" +
                       std::to_string(r) + "]"));
}

}  // namespace
