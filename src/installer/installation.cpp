// The installation run: prerequisites, then the bundle's installation tool
// once (twice for an upgrade) under one progress scale.
#include "installer/installation.h"

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
        run_cli_installer("-i", "Manifest");
        break;
    case ACTION_UPGRADE:
        // Remove the installed agent but keep its configuration, then install
        // from the bundle; both runs share one scale.
        download_required_packages();
        run_cli_installer_parted("-e --skip-sections config", INSTALLED_MANIFEST, 2, 0);
        run_cli_installer_parted("-i", "Manifest", 2, 1);
        break;
    case ACTION_REMOVE:
        components[0] = '\0';
        run_cli_installer("-e", INSTALLED_MANIFEST);
        break;
    case ACTION_REMOVE_CONFLICT:
        components[0] = '\0';
        run_cli_installer("-e", "Manifest");
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
    // The log path is quoted: it may hold blanks or characters the shell acts on.
    const std::string cmd = bfmt(TEXT_BUF,
                                 "./installer-cli --verbose --logfile=%s --progress --define=\"kversion=$(uname -r)\" "
                                 "%s %s %s %s %s %s 2>&1",
                                 shell_arg(log_path).c_str(), "", components, "", force_mode ? "--force" : "",
                                 options, manifest);
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
