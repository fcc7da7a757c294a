#include "installer/product_checks.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "exec/command.h"
#include "exec/log.h"
#include "exec/paths.h"
#include "exec/text.h"
#include "installer/bundle_trust.h"
#include "installer/installation.h"
#include "installer/state.h"
#include "screens/progress.h"
#include "screens/questions.h"
#include "screens/screen.h"

namespace {

constexpr const char* HLCCTL = "/usr/bin/hlcctl";
constexpr const char* HLCSRVCTL = "/usr/bin/hlcsrvctl";
constexpr const char* HLC_INIT_SCRIPT = "/etc/init.d/halcrest-server";
constexpr const char* TOOLS_DIR = "./installer/";

// A bundle tool found by get_filename, as a shell word; empty when missing.
std::string find_tool(const char* name) {
    char* found = get_filename(TOOLS_DIR, name);
    if (!found)
        return {};
    std::string path = cut(found);
    std::free(found);
    return path;
}

// Runs a tool found by find_tool, once only root can change it.
int run_tool(const std::string& tool, char** output = nullptr) {
    require_trusted_tool(tool.c_str());
    return execCmd2(shell_arg(tool).c_str(), output);
}

const char* shown(const std::string& path) {
    return path.empty() ? "(not found)" : path.c_str();
}

}  // namespace

int file_exists(const char* filename) {
    return filename && access(filename, R_OK) == 0 ? 0 : 1;
}

int check_running_halcrest() {
    if (check_file(HLCCTL) != 0) {
        write_log(_("The file %s cannot be found.\n"), HLCCTL);
        return 0;
    }
    // One text for every run of the probe: a silent retry keeps what the
    // previous run said.
    char* output = nullptr;
    int result = 0;
    for (;;) {
        require_trusted_tool("./InstallationCheck");
        const int status = execCmd2("./InstallationCheck", &output);
        if (status == 112 || status == 113) {
            const char* gerund = get_action_name(action);
            const std::string text = bfmt(TEXT_BUF,
                                          _("You are about to start %s Corvane Server. All running virtual machines "
                                            "will be shut down and all active connections will be closed.\n\nDo "
                                            "you want to proceed to %s?"),
                                          gerund, gerund);
            if (scrChoise(_("Warning"), text.c_str(), 1, 0) == 0)
                insExit(10);
            if (check_file(HLCSRVCTL) == 0)
                execCmd("/usr/bin/hlcsrvctl shutdown --force 2>&1");
            result = 0;
            break;
        }
        if (status != 0) {
            if (innewt && scrChoiseRetry(_("Error"), output ? output : "", 1))
                continue;
            result = 1;
            break;
        }
        result = 0;
        break;
    }
    std::free(output);
    // Stopped whenever the product is there, whether it reported running or not.
    if (check_file(HLC_INIT_SCRIPT) == 0)
        execCmd("/etc/init.d/halcrest-server stop 2>&1");
    return result;
}

int check_hardware_virtualization() {
    const std::string tool = find_tool("cpu_check");
    const int result = tool.empty() ? 0 : run_tool(tool);
    write_log("check_hardware_virtualization: %s return %i\n", shown(tool), result);
    return result;
}

int check_cpu_amd64() {
    return execCmd("grep -qs '^flags\\>.*\\<lm\\>' /proc/cpuinfo") == 0 ? 1 : 0;
}

int check_conflicts() {
    std::string tool = find_tool("conflict_check");
    int result = 0;
    char* output = nullptr;
    if (!tool.empty())
        result = run_tool(tool, &output);
    if (result == 1 || result == 2) {
        const std::string title = bfmt(TEXT_BUF, _("%s Installer"), PRODUCT_NAME);
        const int answer = scrChoiseNextSkipCancel(title.c_str(), output ? output : "", 1);
        if (answer == 0)
            insExit(10);
        if (answer == 2 && result == 1) {
            action = ACTION_REMOVE_CONFLICT;
            install_full();
            action = ACTION_INSTALL;
        } else if (answer == 2 && result == 2) {
            winStatus(50, 5, nullptr, "%s", _("Please wait while Halcrest Workstation 2.2 uninstallation is in progress"));
            tool = find_tool("hk_remove");
            if (tool.empty())
                Error(1, "%s", _("Error while removing Halcrest Workstation 2.2."));
            run_tool(tool);
            winStatusStop();
        }
        result = 0;
    }
    std::free(output);
    write_log("check conflict products: %s return %i\n", shown(tool), result);
    return result;
}

void ask_xen_installation(int* is_xen) {
    static list_s scopes[] = {
        {"Migrate the entire server", 1},
        {"Migrate Xen virtual machines only", 2},
        {nullptr, 0},
    };
    const int answer = scrSelectAction(_("Xen Virtualization Layer Detected"),
                                       _("The installer has detected the Xen virtualization layer on the server. "
                                         "Please choose what you want to migrate to the Corvane server."),
                                       scopes, 0);
    if (answer <= 0)
        insExit(10);
    if (answer == 1) {
        *is_xen = 0;
    } else if (answer == 2) {
        *is_xen = 1;
    } else {
        write_log("internal error: action %i\n", answer);
        insExit(10);
    }
}
