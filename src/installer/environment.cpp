#include "installer/environment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "exec/trusted_path.h"

extern char** environ;

namespace {

// Variables that make a shell or the dynamic loader run other code, or make
// the C library load code or data from a folder of the caller's choosing.
constexpr const char* kDropped[] = {"BASH_ENV", "ENV",           "IFS",       "CDPATH",   "GCONV_PATH",
                                    "LOCPATH",  "TERMINFO_DIRS", "SHELLOPTS", "BASHOPTS"};
// LD_*: the dynamic loader; BASH_FUNC_*: functions that bash imports in
// place of commands.
constexpr const char* kDroppedPrefixes[] = {"LD_", "BASH_FUNC_"};

bool starts_with(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool dropped(const std::string& name, const char* value) {
    for (const char* d : kDropped)
        if (name == d)
            return true;
    for (const char* p : kDroppedPrefixes)
        if (starts_with(name, p))
            return true;
    // A locale value with a path in it makes gettext read a catalogue, and
    // setlocale locale data, from wherever it points.
    const bool locale = name == "LANGUAGE" || name == "LANG" || starts_with(name, "LC_");
    return locale && std::strchr(value, '/') != nullptr;
}

std::string without_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

void clean_environment() {
    std::vector<std::string> names;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (!eq)
            continue;
        std::string name(*e, static_cast<std::size_t>(eq - *e));
        if (dropped(name, eq + 1))
            names.push_back(std::move(name));
    }
    for (const auto& name : names)
        unsetenv(name.c_str());
    setenv("PATH", SAFE_PATH, 1);
}

bool root_may_read_alias_file(const std::string& home, const std::string& root_home) {
    if (home.empty() || without_trailing_slashes(home) != without_trailing_slashes(root_home))
        return false;
    const std::string file = without_trailing_slashes(home) + "/.popt";
    const PathVerdict v = check_file_path(file);
    struct stat st;
    return v.trust == PathTrust::Trusted && v.exists && lstat(file.c_str(), &st) == 0 && st.st_uid == 0 &&
        (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
