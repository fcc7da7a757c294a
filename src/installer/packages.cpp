// Prerequisite packages through the bundle's package-manager script: which
// are missing, the user's consent, and up to five installation attempts.
#include "installer/packages.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "exec/command.h"
#include "exec/text.h"
#include "installer/bundle_trust.h"
#include "installer/driver.h"
#include "installer/state.h"
#include "screens/progress.h"
#include "screens/questions.h"
#include "screens/screen.h"

const char* product_codename = "kel";
char* opt_packages_not_installed = nullptr;

namespace {

// Installation attempts while the package manager is busy, the first included.
constexpr int kInstallAttempts = 5;

}  // namespace

int check_list_empty(const char* list) {
    if (!list)
        return 1;
    for (const char* p = list; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p)))
            return 0;
    return 1;
}

int check_list_for_mandatory_packages(const char* list) {
    return list && list[0] == 'm' ? 1 : 0;
}

void prepare_output_message(char* msg) {
    if (!msg)
        return;
    bool line_start = true;
    for (char* p = msg; *p; ++p) {
        if (*p == '\n') {
            line_start = true;
        } else if (line_start && (*p == 'm' || *p == 'o') && p[1] == ' ') {
            *p = '-';
            line_start = false;
        }
    }
}

std::string pm_install_command_line() {
    // The log path is quoted: it may hold blanks or characters the shell acts on.
    return strfmt("./installer/pm.sh --install %s --logfile %s", product_codename, shell_arg(log_path).c_str());
}

void download_required_packages() {
    char* list = nullptr;
    const std::string check = bfmt(TEXT_BUF, "./installer/pm.sh --check %s", product_codename);
    require_trusted_tool("./installer/pm.sh");
    const int check_rc = execCmd2(check.c_str(), &list);

    if (check_rc == 124) {
        if (check_list_for_mandatory_packages(list)) {
            prepare_output_message(list);
            const std::string text =
                bfmt(TEXT_BUF,
                     _("Installer cannot detect package manager on your system. Install the following packages and "
                       "rerun Kelvarin installation:\n%s"),
                     list);
            Error(1, "%s", text.c_str());
        }
        std::free(list);
        return;
    }
    if (check_rc != 0)
        Error(1, "%s",
              _("Unable to identify the missing components. Please contact the Corvane support team for "
                "assistance."));
    if (check_list_empty(list)) {
        std::free(list);
        return;
    }

    const std::string install = pm_install_command_line();
    if (install.size() >= TEXT_BUF)
        Error(1, _("The command line of %s is too long (%zu bytes); it was not run."), "./installer/pm.sh",
              install.size());

    prepare_output_message(list);
    const std::string question = bfmt(
        TEXT_BUF, _("You need to install the following components before you can proceed:\n%sDo you want to install them now?"),
        list);
    if (scrChoise(_("Component Installation"), question.c_str(), 1, 0) == 0)
        insExit(10);
    std::free(list);
    list = nullptr;

    char* out = nullptr;
    for (int attempt = 0; attempt < kInstallAttempts; ++attempt) {
        // Each attempt is judged on its own output: a list printed by an
        // earlier, busy attempt says nothing about this one.
        std::free(out);
        out = nullptr;
        require_trusted_tool("./installer/pm.sh");
        const int rc = execCmd3(install.c_str(), &out, progress_func, nullptr);
        if (rc == 123 && attempt < kInstallAttempts - 1) {
            if (scrChoiseRetry(_("Error"),
                               _("Failed to install required packages because another instance of package manager is "
                                 "already running. You may retry or cancel installation."),
                               1) == 0)
                insExit(10);
            continue;
        }
        if (rc == 0) {
            // What is left is what the script left out; blanks alone are no list.
            if (check_list_empty(out))
                std::free(out);
            else
                opt_packages_not_installed = out;
            return;
        }
        if (check_list_for_mandatory_packages(out)) {
            prepare_output_message(out);
            const std::string text = bfmt(TEXT_BUF,
                                          _("An error occurred while installing the following packages:\n%s\nInstall "
                                            "these packages manually and start the Kelvarin installation again."),
                                          out);
            Error(1, "%s", text.c_str());
        }
        Error(1, "%s", _("An unknown error occurred while installing the required packages."));
    }
}
