// Entry and the fixed main sequence.
#include <libgen.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "common/interrupt.h"
#include "exec/log.h"
#include "exec/text.h"
#include "installer/bundle_trust.h"
#include "installer/driver.h"
#include "installer/environment.h"
#include "installer/installation.h"
#include "installer/log_path_check.h"
#include "installer/restrictions.h"
#include "installer/state.h"
#include "screens/frames.h"
#include "screens/screen.h"

const char* progName = nullptr;
char* progPath = nullptr;
const char* dirPath = nullptr;

namespace {

void enter_bundle_root() {
    char* copy = strdup(progPath);
    dirPath = strdup(dirname(copy));
    std::free(copy);
    // Failures are ignored: relative bundle paths then simply do not resolve.
    if (chdir(dirPath) == 0 && chdir("..") == 0) {
    }
}

void setup_translation() {
    std::setlocale(LC_ALL, "");
    const std::string catalogues = bfmt(TEXT_BUF, "%s/../resources", dirPath);
    bindtextdomain("install", catalogues.c_str());
    textdomain("install");
}

}  // namespace

int main(int argc, char** argv) {
    clean_environment();
    progName = argv[0];
    progPath = getProgPath(progName);
    enter_bundle_root();
    setup_translation();

    parseCmdLine(argc, argv);
    if (show_version)
        report_ver();
    if (!log_path)
        log_path = strdup(DEFAULT_LOG_PATH);
    if (help)
        usage(0);
    check_root(progName);
    check_log_path(progName);
    interrupt_setup(end_interrupted_run);

    write_log("\n\n%s %s Installer started.\n", PRODUCT_NAME, KEL_VERSION);
    if (unattended) {
        write_log("Unattended install mode.\n");
    } else {
        // Only a person at a working terminal can answer; nothing has
        // changed yet when there is none.
        const std::string unusable = terminal_unusable();
        if (!unusable.empty())
            Error(2, "%s", unusable.c_str());
        enter_full_screen();
    }
    setenv("HLC_WRAPPER_LIBREPO", "", 1);

    check_bundle_trust();
    show_welcome_screen();
    check_restrictions();
    install_full();
    show_finish_screen(action, 0, 0);

    leave_full_screen();
    return 0;
}
