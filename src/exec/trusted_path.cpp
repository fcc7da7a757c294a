#include "exec/trusted_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

namespace {

// As the kernel's limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

// The names of a path, without empty ones and ".".
std::deque<std::string> names_of(const std::string& path) {
    std::deque<std::string> out;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        std::string name = path.substr(at, end - at);
        if (!name.empty() && name != ".")
            out.push_back(std::move(name));
        at = end + 1;
    }
    return out;
}

bool written_by_others(const struct stat& st) {
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// A folder only root can change, or a shared one (others may write, but
// the sticky bit keeps each entry to its owner).
bool folder_is_safe(const struct stat& st) {
    return st.st_uid == 0 && (!written_by_others(st) || (st.st_mode & S_ISVTX));
}

PathVerdict verdict(PathTrust trust, std::string where, int error = 0) {
    PathVerdict v;
    v.trust = trust;
    v.where = std::move(where);
    v.error = error;
    return v;
}

}  // namespace

PathVerdict check_file_path(const std::string& path) {
    std::string full = path;
    if (full.empty())
        return verdict(PathTrust::Trusted, "");
    if (full[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return verdict(PathTrust::Unreadable, ".", errno);
        full = std::string(cwd) + "/" + full;
    }
    // A path that ends in "/", "." or ".." names a folder.
    const std::size_t slash = full.rfind('/');
    const std::string tail = full.substr(slash + 1);
    const bool folder_only = tail.empty() || tail == "." || tail == "..";

    struct Folder {
        std::string path;  // "" for the root folder
        bool shared;
    };
    struct stat st;
    if (lstat("/", &st) != 0)
        return verdict(PathTrust::Unreadable, "/", errno);
    if (!folder_is_safe(st))
        return verdict(PathTrust::Writable, "/");
    std::vector<Folder> folders = {{"", written_by_others(st)}};

    std::deque<std::string> todo = names_of(full);
    int links = 0;
    while (!todo.empty()) {
        const std::string name = todo.front();
        todo.pop_front();
        const bool last = todo.empty() && !folder_only;
        if (name == "..") {
            if (folders.size() > 1)
                folders.pop_back();
            continue;
        }
        const Folder here = folders.back();
        const std::string entry = here.path + "/" + name;
        if (lstat(entry.c_str(), &st) != 0) {
            if (errno != ENOENT && errno != ENOTDIR)
                return verdict(PathTrust::Unreadable, entry, errno);
            // Others could put a folder here and anything in it.
            if (here.shared && !last)
                return verdict(PathTrust::Writable, here.path);
            PathVerdict v;
            v.shared = here.shared;
            return v;
        }
        // The file itself is judged by its type first: that says most.
        if (last && S_ISLNK(st.st_mode))
            return verdict(PathTrust::Link, entry);
        if (last && !S_ISREG(st.st_mode))
            return verdict(PathTrust::NotRegular, entry);
        if (here.shared && st.st_uid != 0)
            return verdict(PathTrust::NotRoots, entry);
        if (S_ISLNK(st.st_mode)) {
            if (++links > kMaxLinks)
                return verdict(PathTrust::Unreadable, entry, ELOOP);
            char target[PATH_MAX];
            const ssize_t n = readlink(entry.c_str(), target, sizeof target - 1);
            if (n < 0)
                return verdict(PathTrust::Unreadable, entry, errno);
            const std::string to(target, static_cast<std::size_t>(n));
            const auto more = names_of(to);
            todo.insert(todo.begin(), more.begin(), more.end());
            if (!to.empty() && to[0] == '/')
                folders.resize(1);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!folder_is_safe(st))
                return verdict(PathTrust::Writable, entry);
            folders.push_back({entry, written_by_others(st)});
            continue;
        }
        if (!last) {
            // A file where a folder should be: the path leads nowhere.
            PathVerdict v;
            v.shared = here.shared;
            return v;
        }
        if (here.shared && st.st_nlink > 1)
            return verdict(PathTrust::HardLinked, entry);
        PathVerdict v;
        v.exists = true;
        v.shared = here.shared;
        return v;
    }
    const std::string& at = folders.back().path;
    return verdict(PathTrust::NotRegular, at.empty() ? "/" : at);
}
