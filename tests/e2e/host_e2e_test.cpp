// Host and file-system services against real mounts, made in a private
// mount namespace (unshare -m) so the machine's own table is never touched,
// and the host probes on the simulated host.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "simhost.h"

namespace fs = std::filesystem;

namespace {

const std::string kDriver = shellQuote(kScreenDriver);

// Runs a shell script in a private mount namespace of its own.
RunResult inNamespace(const std::string& script, const std::vector<std::string>& env = {}) {
    return runProcess({"unshare", "-m", "--propagation", "private", "sh", "-ec", script}, env);
}

// "key=value" lines of a scene's output.
std::map<std::string, std::string> fields(const std::string& out) {
    std::map<std::string, std::string> m;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
}

std::string kernelRelease() {
    struct utsname u {};
    return uname(&u) == 0 ? u.release : "";
}

bool kernelMounts(const std::string& type) {
    std::istringstream in(readFile("/proc/filesystems"));
    std::string line;
    while (std::getline(in, line))
        if (line.size() >= type.size() && line.compare(line.size() - type.size(), type.size(), type) == 0 &&
            (line.size() == type.size() || line[line.size() - type.size() - 1] == '\t'))
            return true;
    return false;
}

TEST(MountTable, TmpfsMountsAreFoundBySubstringAndFirstLine) {
    TempDir t;
    const std::string q = shellQuote(t.path);
    const RunResult r = inNamespace(
        "mkdir -p " + q + "/media/mnt/cdrom " + q + "/mnt/cdrom\n"
        "mount -t tmpfs kel-outer " + q + "/media/mnt/cdrom\n"
        "mount -t tmpfs kel-inner " + q + "/mnt/cdrom\n"
        "echo '== exact'; " + kDriver + " --plain mount_probe " + q + "/mnt/cdrom\n"
        // A suffix of both mount points: the first line of the two wins.
        "echo '== suffix'; " + kDriver + " --plain mount_probe /mnt/cdrom\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto split = r.out.find("== suffix");
    ASSERT_NE(split, std::string::npos) << r.out;
    const auto exact = fields(r.out.substr(0, split));
    EXPECT_EQ(exact.at("dev"), "kel-inner");
    EXPECT_EQ(exact.at("type"), "tmpfs");
    EXPECT_EQ(exact.at("isofs"), "0");
    EXPECT_EQ(exact.at("nonlocal"), "1");
    const auto suffix = fields(r.out.substr(split));
    EXPECT_EQ(suffix.at("dev"), "kel-outer");
    EXPECT_EQ(suffix.at("type"), "tmpfs");
}

TEST(MountTable, LoopMountedImagesAreClassifiedByMagicNumber) {
    TempDir t;
    struct Image {
        const char* type;
        std::string build;  // shell commands that write $IMG
        const char* isofs;
        const char* nonlocal;
    };
    const Image images[] = {
        {"ext2", "mkfs.ext2 -q -F \"$IMG\" 4096 >/dev/null", "0", "0"},
        {"iso9660", "mkdir -p \"$IMG.d\" && echo x >\"$IMG.d/f\" && xorriso -as mkisofs -quiet -o \"$IMG\" \"$IMG.d\" 2>/dev/null",
         "1", "1"},
    };
    for (const auto& img : images) {
        SCOPED_TRACE(img.type);
        if (!kernelMounts(img.type)) {
            std::printf("[ SKIPPED  ] %s: this kernel cannot mount %s\n", img.type, img.type);
            continue;
        }
        const std::string dir = t.path + "/" + img.type;
        const RunResult r = inNamespace(
            "IMG=" + shellQuote(dir + ".img") + "\n" + img.build + "\nmkdir -p " + shellQuote(dir) +
            "\nmount -o loop,ro \"$IMG\" " + shellQuote(dir) + "\n" + kDriver + " --plain mount_probe " +
            shellQuote(dir) + "\n");
        if (r.status != 0 && r.err.find("not found") != std::string::npos) {
            std::printf("[ SKIPPED  ] %s: no tool to build the image: %s\n", img.type, r.err.c_str());
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const auto f = fields(r.out);
        EXPECT_EQ(f.at("type"), img.type);
        EXPECT_EQ(f.at("dev").rfind("/dev/loop", 0), 0u) << f.at("dev");
        EXPECT_EQ(f.at("isofs"), img.isofs);
        EXPECT_EQ(f.at("nonlocal"), img.nonlocal);
    }
}

TEST(MountTable, UmountTakesTheMountPointOfTheMediumOrTheDefault) {
    TempDir t;
    const std::string q = shellQuote(t.path);
    writeFile(t.path + "/record", "#!/bin/sh\necho \"$*\" >>" + q + "/calls\n", 0755);
    const RunResult r = inNamespace(
        "mkdir -p " + q + "/cd " + q + "/plain/rpms\n"
        "mount -t tmpfs kel-medium " + q + "/cd\n"
        "mkdir -p " + q + "/cd/rpms\n" +
        kDriver + " --plain do_umount " + q + "/record " + q + "/cd/rpms\n" +
        kDriver + " --plain do_umount " + q + "/record " + q + "/plain/rpms\n" +
        kDriver + " --plain do_umount umount " + q + "/cd/rpms\n"
        "grep -c ' " + t.path + "/cd ' /proc/mounts || true\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readFile(t.path + "/calls"), t.path + "/cd\n/mnt/cdrom\n");
    // The real unmount left no line of the medium in the table.
    EXPECT_NE(r.out.find("RESULT 0\n0\n"), std::string::npos) << r.out;
}

TEST(HostProbes, KernelSourcesAreFoundUnderModulesOrSources) {
    const std::string rel = kernelRelease();
    ASSERT_FALSE(rel.empty());
    const std::string modulesBuild = "/lib/modules/" + rel + "/build/include";
    const std::vector<std::string> candidates = {
        modulesBuild + "/linux/version.h",
        modulesBuild + "/generated/uapi/linux/version.h",
        "/usr/src/linux-" + rel + "/include/linux/version.h",
    };
    const struct {
        const char* name;
        int present;  // index of the candidate made, or -1
        int result;
    } cases[] = {
        {"none present", -1, 0},
        {"generated header under the modules' build tree", 1, 1},
        {"kernel source tree", 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir t;
        const std::string q = shellQuote(t.path);
        // Empty /usr/src and a writable /usr/lib (behind /lib) in the namespace only.
        std::string script = "mkdir -p " + q + "/up " + q + "/work\n"
                             "mount -t tmpfs kel-src /usr/src\n"
                             "mount -t overlay kel-lib -o lowerdir=/usr/lib,upperdir=" + q + "/up,workdir=" + q +
                             "/work /usr/lib\n"
                             "rm -rf " + shellQuote("/lib/modules/" + rel) + "\n";
        if (c.present >= 0) {
            const std::string header = candidates[static_cast<size_t>(c.present)];
            script += "mkdir -p " + shellQuote(fs::path(header).parent_path().string()) + "\n: >" +
                      shellQuote(header) + "\n";
        }
        script += kDriver + " --plain host_probe check_kernel_sources || true\n";
        const RunResult r = inNamespace(script, {"KEL_LOG=" + t.path + "/install.log"});
        EXPECT_NE(r.out.find("RESULT " + std::to_string(c.result) + "\n"), std::string::npos) << r.out << r.err;
        std::vector<std::string> expected;
        for (size_t i = 0; i < candidates.size(); ++i) {
            expected.push_back("check kernel " + candidates[i]);
            if (static_cast<int>(i) == c.present)
                break;
            expected.push_back("check kernel " + candidates[i] + " not found");
        }
        EXPECT_EQ(logMessages(readFile(t.path + "/install.log")), expected);
    }
    EXPECT_FALSE(fs::exists("/lib/modules/" + rel + "/build")) << "the namespace leaked";
}

TEST(HostProbes, Ia32SupportFollowsTheLinkerCache) {
    TempDir t;
    const std::string q = shellQuote(t.path);
    // A real 32-bit libc, if this machine has one, for the positive case.
    std::string lib32;
    for (const char* candidate : {"/lib32/libc.so.6", "/usr/lib32/libc.so.6", "/lib/i386-linux-gnu/libc.so.6"})
        if (fs::exists(candidate)) {
            lib32 = candidate;
            break;
        }
    const struct {
        const char* name;
        std::string dirs;  // ld.so.conf content for the cache
        int result;
    } cases[] = {
        {"only the trusted 64-bit directories", "", 1},
        {"a 32-bit libc listed", t.path + "/lib32\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.result == 0 && lib32.empty()) {
            std::printf("[ SKIPPED  ] no 32-bit libc on this machine to list\n");
            continue;
        }
        writeFile(t.path + "/ld.conf", c.dirs);
        const RunResult r = inNamespace(
            "mkdir -p " + q + "/lib32\n" + (lib32.empty() ? "" : "cp " + shellQuote(lib32) + " " + q + "/lib32/\n") +
            // -X: the real library directories keep their links untouched.
            "ldconfig -X -C " + q + "/cache -f " + q + "/ld.conf\n"
            "mount --bind " + q + "/cache /etc/ld.so.cache\n" +
            kDriver + " --plain host_probe check_ia32_support || true\n");
        EXPECT_NE(r.out.find("RESULT " + std::to_string(c.result) + "\n"), std::string::npos) << r.out << r.err;
    }
}

TEST(HostProbes, DebianX64NeedsTheLsbReleaseFile) {
    struct utsname u {};
    ASSERT_EQ(uname(&u), 0);
    const bool x86_64 = std::string(u.machine) == "x86_64";
    for (const char* lsb : {"yes", "no"}) {
        SCOPED_TRACE(lsb);
        SimHost host({std::string("LSB_RELEASE=") + lsb});
        const RunResult r = host.exec({kScreenDriver, "--plain", "host_probe", "check_debian_x64"});
        EXPECT_EQ(r.status, std::string(lsb) == "yes" && x86_64 ? 0 : 1) << r.out << r.err;
        const RunResult arch = host.exec({kScreenDriver, "--plain", "host_probe", "arch_x86_64"});
        EXPECT_EQ(arch.status, x86_64 ? 1 : 0);
    }
}

}  // namespace
