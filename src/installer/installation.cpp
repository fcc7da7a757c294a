// The installation run: prerequisites, then the bundle's installation tool
// once (twice for an upgrade) under one progress scale.
#include "installer/installation.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "exec/progress_command.h"
#include "exec/text.h"
#include "installer/bundle_trust.h"
#include "installer/driver.h"
#include "installer/packages.h"
#include "installer/state.h"
#include "screens/progress.h"
#include "screens/screen.h"

namespace {

// The installation tool's runs: its options and the manifest.
struct ToolRun {
    const char* options;
    const char* manifest;
};
constexpr ToolRun kInstall = {"-i", "Manifest"};
constexpr ToolRun kUpgradeRemoval = {"-e --skip-sections config", INSTALLED_MANIFEST};
constexpr ToolRun kRemoval = {"-e", INSTALLED_MANIFEST};
constexpr ToolRun kConflictRemoval = {"-e", "Manifest"};

}  // namespace

std::string cli_command_line(const char* options, const char* manifest) {
    // The log path is quoted: it may hold blanks or characters the shell acts on.
    return strfmt("./installer-cli --verbose --logfile=%s --progress --define=\"kversion=$(uname -r)\" "
                  "%s %s %s %s %s %s 2>&1",
                  shell_arg(log_path).c_str(), "", components, "", force_mode ? "--force" : "", options, manifest);
}

std::size_t longest_tool_command_line() {
    std::size_t longest = pm_install_command_line().size();
    for (const ToolRun& run : {kInstall, kUpgradeRemoval, kRemoval, kConflictRemoval})
        longest = std::max(longest, cli_command_line(run.options, run.manifest).size());
    return longest;
}

void install_full() {
    const std::string title = bfmt(1024, _("Please wait while %s is in progress"), get_action_name(action));
    progress.data = winSimpleProgress(title.c_str());
    run_installation();
    // The record and its empty form are ours to release.
    if (auto* win = static_cast<progWinData*>(progress.data))
        newtFormDestroy(win->form);
    std::free(progress.data);
    progress.data = nullptr;
}

void run_installation() {
    switch (action) {
    case ACTION_INSTALL:
        download_required_packages();
        run_cli_installer(kInstall.options, kInstall.manifest);
        break;
    case ACTION_UPGRADE:
        // Remove the installed agent but keep its configuration, then install
        // from the bundle; both runs share one scale.
        download_required_packages();
        run_cli_installer_parted(kUpgradeRemoval.options, kUpgradeRemoval.manifest, 2, 0);
        run_cli_installer_parted(kInstall.options, kInstall.manifest, 2, 1);
        break;
    case ACTION_REMOVE:
        components[0] = '\0';
        run_cli_installer(kRemoval.options, kRemoval.manifest);
        break;
    case ACTION_REMOVE_CONFLICT:
        components[0] = '\0';
        run_cli_installer(kConflictRemoval.options, kConflictRemoval.manifest);
        break;
    default:
        break;
    }

    if (opt_packages_not_installed) {
        prepare_output_message(opt_packages_not_installed);
        const std::string text =
            bfmt(TEXT_BUF, _("%s was successfully installed, but we recommend you to install the following packages as well:\n%s"),
                 PRODUCT_NAME, opt_packages_not_installed);
        show_message2(text.c_str(), _("Ok"), _("Components installation"));
        std::free(opt_packages_not_installed);
        opt_packages_not_installed = nullptr;
    }
}

void run_cli_installer_parted(const char* options, const char* manifest, unsigned char num_parts,
                              unsigned char part) {
    // A cut command line would be another command: without the manifest, or
    // the removal without "--skip-sections config".
    const std::string cmd = cli_command_line(options, manifest);
    if (cmd.size() >= TEXT_BUF)
        Error(1, _("The command line of %s is too long (%zu bytes); it was not run."), "./installer-cli", cmd.size());
    progress.progress = 0;
    progress.num_parts = num_parts;
    progress.part = part;
    progress.message[0] = '\0';
    progress.done = 0;
    progress.action = action;

    require_trusted_tool("./installer-cli");
    if (exec_with_progress(cmd.c_str(), &progress, nullptr, 0) != 0)
        Error(1, _("Error during configuration %s. Look at %s for more information."), PRODUCT_NAME, log_path);
}

void run_cli_installer(const char* options, const char* manifest) {
    run_cli_installer_parted(options, manifest, 1, 0);
}
