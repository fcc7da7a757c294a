// Scenes of the host and file-system services, for runs inside a private
// mount namespace or on the simulated host (usually with --plain).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/host.h"
#include "scene.h"

namespace {
std::string shown(char* s) {
    std::string out = s ? s : "NULL";
    std::free(s);
    return out;
}
}  // namespace

// mount_probe PATH: what the mount table and statfs say about PATH.
KEL_SCENE(mount_probe) {
    const char* path = args.at(0).c_str();
    std::printf("dev=%s\n", shown(get_cd_dev(path)).c_str());
    std::printf("type=%s\n", shown(get_fs_type(path)).c_str());
    std::printf("isofs=%d\n", is_isofs(path));
    std::printf("nonlocal=%d\n", is_nonlocal(path));
    return 0;
}

// do_umount CMD RPMDIR
KEL_SCENE(do_umount) {
    do_umount(args.at(0).c_str(), args.at(1).c_str());
    return 0;
}

// host_probe NAME: one of the host probes; its answer is the result.
KEL_SCENE(host_probe) {
    static const struct {
        const char* name;
        int (*probe)();
    } probes[] = {
        {"check_make", check_make},
        {"check_gcc", check_gcc},
        {"check_kernel_sources", check_kernel_sources},
        {"check_ia32_support", check_ia32_support},
        {"arch_x86_64", arch_x86_64},
        {"check_debian_x64", check_debian_x64},
    };
    for (const auto& p : probes)
        if (args.at(0) == p.name)
            return p.probe();
    std::fprintf(stderr, "host_probe: unknown probe %s\n", args.at(0).c_str());
    return 64;
}
