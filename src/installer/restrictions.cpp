// Restriction checks: bundle contents, the installed agent and the action,
// the licence, and the host probes that may refuse the run.
#include "installer/restrictions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/command.h"
#include "exec/log.h"
#include "exec/paths.h"
#include "exec/text.h"
#include "installer/bundle_trust.h"
#include "installer/version_check.h"
#include "screens/frames.h"
#include "screens/questions.h"
#include "screens/screen.h"

const char* hqc_refusal_message(int result) {
    switch (result) {
    case 0:
        return nullptr;
    case 1:
        return N_("Installation can not be continued.\nThere is no Corvane Virozevovo installed on the system.");
    case 2:
        return N_("Installation can not be continued.\nThe currently installed QC verion is not supported by the "
                  "Corvane agent.\nPlease update QC Linux to the version 4.0.0-464 or later,\nwith HQC Linux kernel "
                  "version 2.6.18-028stab060.1 or later,\nand start the installation again.");
    case 3:
        return N_("Installation can not be continued.\nThe currently installed kernels are not supported by the "
                  "Corvane agent.\nPlease update QC Linux kernel (cvkernel) to the version 2.6.18-028stab060.1 or "
                  "later,\nreboot into it and start the installation again.");
    case 4:
        return N_("Installation can not be continued.\nThe currently loaded kernel is not supported by the Corvane "
                  "agent.\nReboot into kernel 2.6.18-028stab060.1 or later and start the installation again.");
    default:
        return N_("Installation can not be continued.\nFailed to detect installed QC.");
    }
}

int check_archive_packages(const char** archive_files) {
    std::string message;
    bool found = false;
    for (const char** name = archive_files; *name; ++name) {
        if (check_file(*name) == 0) {
            found = true;
            continue;
        }
        const char* why = std::strerror(errno);
        // Names that would not fit are left out rather than cut in half.
        if (message.size() + std::strlen(*name) + 50 <= TEXT_BUF - 1)
            message = bfmt(TEXT_BUF, _("%s\nfile '%s': %s"), message.c_str(), *name, why);
    }
    if (message.empty())
        return 1;
    if (found)
        return scrChoise(_("Warning"), message.c_str(), 1, 0);
    Error(1, _("An error occurred when checking archives: %s"), message.c_str());
}

int get_installed() {
    FILE* f = std::fopen(INSTALLED_MANIFEST, "r");
    if (!f)
        return 0;
    std::fclose(f);
    return 1;
}

installAction ask_action(int unattended_install, int unattended_remove) {
    // Shown as they are: the names double as the list's keys on screen.
    list_s actions[] = {{"Upgrade", 1}, {"Remove", 2}, {nullptr, 0}};
    int id = 0;
    if (!unattended_install && !unattended_remove) {
        id = scrSelectAction(_("Upgrade components"), _("Please select action to perform: "), actions, 0);
        if (id <= 0)
            insExit(10);
    } else if (unattended_install) {
        id = 1;
    } else {
        id = 2;
    }
    switch (id) {
    case 1:
        return ACTION_UPGRADE;
    case 2:
        return ACTION_REMOVE;
    default:
        write_log("inside error: action %i\n", id);
        insExit(10);
    }
}

int selectComponents() {
    components[0] = '\0';
    return 5;
}

int check_selinux() {
    require_trusted_tool("./installer/check_selinux.sh");
    return execCmd("./installer/check_selinux.sh 2>&1") == 0 ? 1 : 0;
}

int check_disk_space(char* msg, std::size_t buf_size) {
    require_trusted_tool("./installer/check_disk_space.sh");
    CapturedText out;
    const int rc = execCmd2("./installer/check_disk_space.sh 2>&1", &out.text);
    if (rc == 0)
        return 0;
    if (rc != 2)
        return -1;
    if (out.text)
        copy_cut(msg, buf_size, out.text);
    else
        copy_cut(msg, buf_size, "There is not enough space on the disk.");
    return 1;
}

int check_cvnbdmig64() {
    return execCmd("file -L /usr/share/durureveror/durureveror.so.0 2>/dev/null | grep -q 'ELF 64-bit LSB shared "
                   "object'") == 0
        ? 1
        : 0;
}

void check_restrictions() {
    char disk_space_message[TEXT_BUF] = "";

    if (check_archive_packages(archive_files) == 0)
        insExit(10);

    if (get_installed() == 1) {
        action = ask_action(unattended_install, unattended_remove);
    } else if (unattended_remove) {
        Error(1, _("%s is not installed"), PRODUCT_NAME);
    }

    selectComponents();

    // A removal needs neither the licence nor the host checks.
    if (action == ACTION_REMOVE)
        return;

    if (license_agreement_show() == 0)
        insExit(10);

    if (check_selinux() == 1 &&
        scrChoise(_("SELinux detected"),
                  _("SELinux detected. It can block proper work of this software.\nAs a workaround you may disable "
                    "SELinux or set it in a permissive mode."),
                  1, 0) == 0)
        insExit(10);

    // Interactive users may free some space and try again as often as needed.
    while (check_disk_space(disk_space_message, sizeof disk_space_message) > 0) {
        if (!innewt) {
            print_line(stdout, disk_space_message);
            insExit(10);
        }
        if (scrChoise(_("Not enough disk space"), disk_space_message, 1, 0) == 0)
            insExit(10);
    }

    if (const char* refusal = hqc_refusal_message(check_hqc_version()))
        Error(1, "%s", _(refusal));

    if (check_cvnbdmig64() == 1)
        Error(1, "%s",
              _("Installation can not be continued.\nYou have incompatible 64-bit libcvnbdmig library installed "
                "already."));
}
