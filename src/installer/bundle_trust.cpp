#include "installer/bundle_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "exec/accounts.h"
#include "exec/text.h"
#include "screens/screen.h"

namespace {

// What the main sequence may run; the optional product checks guard their
// own tools as they start them.
constexpr const char* kMainSequenceTools[] = {
    "./installer-cli",
    "./installer/pm.sh",
    "./installer/check_selinux.sh",
    "./installer/check_disk_space.sh",
};

// As many as the kernel follows for one lookup.
constexpr int kMaxLinks = 40;

std::string join(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            out.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return out;
}

std::string fix_by_unpacking() {
    return _("To fix it, unpack the bundle as root into a folder that only root can write.");
}

std::string fix_by_chmod(const std::string& path) {
    return bfmt(TEXT_BUF, _("To fix it, run: chmod go-w %s\nor unpack the bundle as root into a folder that only root can write."),
                shell_arg(path).c_str());
}

std::string cannot_check(const std::string& path, int err) {
    return bfmt(TEXT_BUF, _("'%s' cannot be checked: %s"), path.c_str(), std::strerror(err)) + "\n" +
        fix_by_unpacking();
}

std::string leads_out(const std::string& path) {
    return bfmt(TEXT_BUF, _("'%s' is a symbolic link that leads out of the bundle."), path.c_str()) + "\n" +
        fix_by_unpacking();
}

// "name (id)", or the bare id when the account files do not know it.
std::string account(const char* file, unsigned long id) {
    const std::string name = account_name(file, id);
    return name.empty() ? std::to_string(id) : name + " (" + std::to_string(id) + ")";
}

// Who besides root (or trusted) can change the object at path. A folder
// above the bundle may be shared when it has the sticky bit.
std::string object_problem(const std::string& path, const struct stat& st, uid_t trusted, bool shared_ok) {
    if (st.st_uid != 0 && st.st_uid != trusted)
        return bfmt(TEXT_BUF, _("'%s' belongs to user %s."), path.c_str(),
                    account(PASSWD_FILE, st.st_uid).c_str()) +
            "\n" + fix_by_unpacking();
    if (shared_ok && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        return {};
    if (st.st_mode & S_IWOTH)
        return bfmt(TEXT_BUF, _("'%s' can be written by every user."), path.c_str()) + "\n" + fix_by_chmod(path);
    if (st.st_mode & S_IWGRP)
        return bfmt(TEXT_BUF, _("'%s' can be written by the group %s."), path.c_str(),
                    account(GROUP_FILE, st.st_gid).c_str()) +
            "\n" + fix_by_chmod(path);
    return {};
}

// The folders from / down to the bundle folder, which must be whole.
std::string folder_chain_problem(const std::string& root, uid_t trusted) {
    std::string path = "/";
    const std::vector<std::string> names = components(root);
    for (std::size_t i = 0;; ++i) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return cannot_check(path, errno);
        if (!S_ISDIR(st.st_mode))
            return cannot_check(path, ENOTDIR);
        const bool is_bundle = i == names.size();
        if (std::string p = object_problem(path, st, trusted, !is_bundle); !p.empty())
            return p;
        if (is_bundle)
            return {};
        path = join(path, names[i]);
    }
}

}  // namespace

std::string bundle_tool_problem(const std::string& root, const std::string& tool, uid_t trusted) {
    char real[PATH_MAX];
    if (!realpath(root.c_str(), real))
        return cannot_check(root, errno);
    const std::string bundle = real;
    if (std::string p = folder_chain_problem(bundle, trusted); !p.empty())
        return p;

    // The tool is looked up one name at a time, as the kernel would, so that
    // every folder a name is read from is one only root can change.
    std::vector<std::string> below;  // folders between the bundle and the current one
    const auto here = [&] {
        std::string dir = bundle;
        for (const auto& name : below)
            dir = join(dir, name);
        return dir;
    };
    const std::vector<std::string> first = components(tool);
    std::deque<std::string> pending(first.begin(), first.end());
    std::string link = join(bundle, tool);  // what a message names for a way out
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            if (below.empty())
                return leads_out(link);
            below.pop_back();
            continue;
        }
        const std::string path = join(here(), name);
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            // Nothing there: the shell finds nothing to run.
            if (errno == ENOENT || errno == ENOTDIR)
                return {};
            return cannot_check(path, errno);
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > kMaxLinks)
                return cannot_check(path, ELOOP);
            std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
            const ssize_t n = readlink(path.c_str(), target.data(), target.size());
            if (n < 0 || static_cast<std::size_t>(n) >= target.size())
                return cannot_check(path, n < 0 ? errno : ENAMETOOLONG);
            std::string to(target.data(), static_cast<std::size_t>(n));
            link = path;
            if (!to.empty() && to[0] == '/') {
                // Absolute: it must name a place inside the bundle by its real path.
                if (bundle != "/" && to != bundle && to.compare(0, bundle.size() + 1, bundle + "/") != 0)
                    return leads_out(link);
                to.erase(0, bundle == "/" ? 1 : bundle.size());
                below.clear();
            }
            const std::vector<std::string> more = components(to);
            pending.insert(pending.begin(), more.begin(), more.end());
            continue;
        }
        if (std::string p = object_problem(path, st, trusted, false); !p.empty())
            return p;
        if (S_ISDIR(st.st_mode))
            below.push_back(name);
        else if (!pending.empty())
            return {};  // a file used as a folder: nothing to run
    }
    return {};
}

uid_t sudo_user() {
    const char* text = std::getenv("SUDO_UID");
    if (!text || !*text || std::strlen(text) > 10)
        return 0;
    unsigned long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
    }
    // (uid_t)-1 is no user.
    if (value >= static_cast<unsigned long>(static_cast<uid_t>(-1)))
        return 0;
    return static_cast<uid_t>(value);
}

void require_trusted_tool(const char* tool) {
    std::string problem;
    if (char* cwd = getcwd(nullptr, 0)) {
        problem = bundle_tool_problem(cwd, tool, sudo_user());
        std::free(cwd);
    } else {
        problem = cannot_check(".", errno);
    }
    if (!problem.empty())
        Error(1, "%s\n%s", _("The installer runs the bundle's tools only if no one but root can change them."),
              problem.c_str());
}

void check_bundle_trust() {
    for (const char* tool : kMainSequenceTools)
        require_trusted_tool(tool);
}
