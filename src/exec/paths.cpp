// Path lookups for bundle files and the medium's mount point.
//
// None of these functions touches errno itself: after a failed lookup errno
// is what the last failing stat()/lstat() left, which callers add to their
// messages. Candidates are composed in full and handed to the kernel, so an
// over-long candidate fails with ENAMETOOLONG instead of being cut into a
// different path.
#include "exec/paths.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool stat_ok(const std::string& path, struct stat* st) {
    return stat(path.c_str(), st) == 0;
}

}  // namespace

char* find_file_up(const char* start, const char* name) {
    if (!start || !name)
        return nullptr;
    std::string dir = start;
    for (std::size_t slash = dir.rfind('/'); slash != std::string::npos; slash = dir.rfind('/')) {
        dir.resize(slash + 1);
        const std::string candidate = dir + name;
        struct stat st;
        if (stat_ok(candidate, &st) && S_ISREG(st.st_mode))
            return strdup(candidate.c_str());
        dir.resize(slash);
    }
    return nullptr;
}

char* get_cd_mpoint(const char* path) {
    if (!path)
        return nullptr;
    std::string copy = path;
    struct stat st;
    if (!stat_ok(copy, &st))
        return nullptr;
    const dev_t old_dev = st.st_dev;
    bool is_root = false;
    for (;;) {
        const std::size_t slash = copy.rfind('/');
        if (slash == std::string::npos)
            return nullptr;
        std::string shorter;
        if (slash == 0) {
            // "/" is never a mount point worth reporting: stop once it was tried.
            if (is_root)
                return nullptr;
            is_root = true;
            shorter = "/";
        } else {
            shorter = copy.substr(0, slash);
        }
        if (!stat_ok(shorter, &st))
            return nullptr;
        if (st.st_dev != old_dev)
            return strdup(copy.c_str());
        copy = std::move(shorter);
    }
}

char* get_filename(const char* path, const char* name) {
    if (char* found = find_file_up(path, name))
        return found;
    char* mpoint = get_cd_mpoint(path);
    if (!mpoint)
        return nullptr;
    const std::string candidate = std::string(mpoint) + "/" + name;
    std::free(mpoint);
    struct stat st;
    // At the medium's root any kind of object will do, a directory included.
    if (!stat_ok(candidate, &st))
        return nullptr;
    return strdup(candidate.c_str());
}

int check_file(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0)
        return 1;
    return S_ISREG(st.st_mode) ? 0 : 1;
}

int check_file_symlink(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0)
        return 1;
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? 0 : 1;
}

int check_directory(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0)
        return 1;
    return S_ISDIR(st.st_mode) ? 0 : 1;
}
