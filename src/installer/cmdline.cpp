// Command line, version and usage texts, the root check, the program's path.
#include <popt.h>
#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/text.h"
#include "installer/driver.h"
#include "installer/environment.h"
#include "installer/state.h"
#include "screens/screen.h"

int help = 0;
int show_version = 0;

void usage(int errCode) {
    std::fprintf(stderr, _("%s installer %s\n"), PRODUCT_NAME, KEL_VERSION);
    std::fputs(_("Usage: install [OPTION]\n"), stderr);
    std::fputs(_("       -i,--install                automatic (unattended) installation or upgrade \n"), stderr);
    std::fputs(_("       -r,--remove                 automatic (unattended) removal \n"), stderr);
    std::fputs(_("       -f,--force                  forced removing mode: skip errors and try to do as much as possible \n"),
               stderr);
    std::fputs(_("       -h,--help                   display this help text\n"), stderr);
    std::fputs(_("       -v,--version                report version\n"), stderr);
    std::exit(errCode);
}

void report_ver() {
    std::fprintf(stderr, _("%s installation %s\n"), PRODUCT_NAME, KEL_VERSION);
    std::exit(0);
}

namespace {

// The option library's alias files: /etc/popt and /etc/popt.d as the library
// reads them, and as root $HOME/.popt only when it is root's own (root may
// have kept a user's HOME). Exec aliases would run a program in place of the
// installation: they may not name a program by its full path, and the
// others are looked for in a folder that cannot exist.
void read_alias_files(poptContext ctx) {
    poptSetExecPath(ctx, "/dev/null", 0);
    const char* env_home = std::getenv("HOME");
    if (!env_home || (getuid() != 0 && geteuid() != 0)) {
        poptReadDefaultConfig(ctx, 1);
        return;
    }
    const std::string home = env_home;
    unsetenv("HOME");
    poptReadDefaultConfig(ctx, 1);
    setenv("HOME", home.c_str(), 1);
    const passwd* root = getpwuid(0);
    if (root && root->pw_dir && root_may_read_alias_file(home, root->pw_dir))
        poptReadConfigFile(ctx, (home + "/.popt").c_str());
}

}  // namespace

void parseCmdLine(int argc, char** argv) {
    char* log_arg = nullptr;
    struct poptOption options[] = {
        {"install", 'i', POPT_ARG_NONE, &unattended_install, 0, nullptr, nullptr},
        {"remove", 'r', POPT_ARG_NONE, &unattended_remove, 0, nullptr, nullptr},
        {"force", 'f', POPT_ARG_NONE, &force_mode, 0, nullptr, nullptr},
        {"help", 'h', POPT_ARG_NONE, &help, 0, nullptr, nullptr},
        {"version", 'v', POPT_ARG_NONE, &show_version, 0, nullptr, nullptr},
        {"log-path", '\0', POPT_ARG_STRING, &log_arg, 0, nullptr, nullptr},
        POPT_TABLEEND,
    };
    poptContext ctx = poptGetContext("install", argc, const_cast<const char**>(argv), options, 0);
    read_alias_files(ctx);

    // Every entry stores straight into its variable, so one step parses all.
    const int rc = poptGetNextOpt(ctx);
    if (rc < -1) {
        std::fprintf(stderr, _("%s: bad argument %s: %s\n"), progName,
                     poptBadOption(ctx, POPT_BADOPTION_NOALIAS), poptStrerror(rc));
        usage(2);
    }
    if (const char* stray = poptGetArg(ctx)) {
        std::fprintf(stderr, _("%s: bad argument %s\n"), progName, stray);
        usage(2);
    }
    if (unattended_install && unattended_remove) {
        std::fprintf(stderr,
                     _("%s: unattended installing and unattended removal cannot be performed simultaneosly.\n"),
                     progName);
        std::exit(2);
    }
    if (unattended_install || unattended_remove)
        unattended = 1;
    if (log_arg) {
        // popt hands out its own allocation; keep a private copy.
        log_path = strdup(log_arg);
        std::free(log_arg);
    }
    poptFreeContext(ctx);
}

void check_root(const char* prog_name) {
    if (getuid() == 0)
        return;
    std::fprintf(stderr, _("%s can be run only as root\n"), prog_name);
    insExit(2);
}

char* getProgPath(const char* name) {
    char resolved[PATH_MAX];
    // A bare name was found through PATH, not in the current directory:
    // ask the kernel where the running program really is.
    const char* lookup = std::strchr(name, '/') ? name : "/proc/self/exe";
    if (realpath(lookup, resolved))
        return strdup(resolved);
    return strdup(name);
}
