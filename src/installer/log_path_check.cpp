#include "installer/log_path_check.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/log.h"
#include "exec/text.h"
#include "exec/trusted_path.h"
#include "installer/installation.h"
#include "installer/state.h"

namespace {

[[noreturn]] void refuse(const char* prog_name, const std::string& reason) {
    std::fprintf(stderr, _("%s: refusing the log path %s: %s\n"), prog_name, log_path, reason.c_str());
    std::exit(2);
}

}  // namespace

void check_log_path(const char* prog_name) {
    if (longest_tool_command_line() >= TEXT_BUF) {
        std::fprintf(stderr, _("%s: refusing the log path: it is too long for the command lines of the bundle's tools (%zu bytes)\n"),
                     prog_name, std::strlen(log_path));
        std::exit(2);
    }
    PathVerdict v = check_file_path(log_path);
    if (v.trust == PathTrust::Trusted && v.shared && !v.exists) {
        // A new log in a shared folder is claimed now: once root owns it, no
        // one else can remove it or put something in its place. Whoever got
        // there first is found by the second look.
        const int fd = open_log(log_path);
        if (fd >= 0)
            close(fd);
        v = check_file_path(log_path);
    }
    switch (v.trust) {
    case PathTrust::Trusted:
        return;
    case PathTrust::Writable:
        refuse(prog_name, strfmt(_("users other than root can write to %s"), v.where.c_str()));
    case PathTrust::NotRoots:
        refuse(prog_name, strfmt(_("%s belongs to a user other than root"), v.where.c_str()));
    case PathTrust::HardLinked:
        refuse(prog_name, _("it has more than one name (hard links)"));
    case PathTrust::Link:
        refuse(prog_name, _("it is a symbolic link"));
    case PathTrust::NotRegular:
        refuse(prog_name, _("it is not a regular file"));
    case PathTrust::Unreadable:
        refuse(prog_name, strfmt(_("%s cannot be followed: %s"), v.where.c_str(), std::strerror(v.error)));
    }
    refuse(prog_name, std::strerror(EINVAL));
}
