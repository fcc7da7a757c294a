// The screens that frame a run: welcome, licence agreement and finish.
#include "screens/frames.h"

#include <newt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exec/paths.h"
#include "exec/text.h"
#include "screens/buttons.h"
#include "screens/questions.h"
#include "screens/screen.h"

namespace {

// The licence is shown as read, up to this many bytes.
constexpr std::size_t LICENSE_MAX = 65535;
// Rows of a licence window that are not the text box; the box gets the rest
// of the screen, but never fewer than a few rows to scroll through.
constexpr int LICENSE_FRAME_ROWS = 14;
constexpr int LICENSE_MIN_ROWS = 3;
// The button row under the box: its top margin and its four rows, less the
// one row of its bottom margin.
constexpr int LICENSE_BUTTON_ROWS = 4;
constexpr int LICENSE_MAX_COLS = 64;
// The box's scroll bar beside the text.
constexpr int SCROLLBAR_COLS = 2;
// The finish screens lay their text out for a width of their own.
constexpr int FINISH_WIDTH = 60;

std::string readLicense(const char* filename) {
    FILE* f = std::fopen(filename, "r");
    if (!f)
        Error(1, _("Could not read %s: %s\n"), filename, std::strerror(errno));
    std::string text(LICENSE_MAX, '\0');
    const std::size_t n = std::fread(text.data(), 1, LICENSE_MAX, f);
    std::fclose(f);
    text.resize(n);
    // A NUL byte in the file ends the text.
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Text, an optional check box, and the button row, in a window.
newtComponent finishForm(const std::string& title, const std::string& text, newtComponent checkbox,
                         newtGrid buttons) {
    // Under the text: the check box, the button row's top margin and its
    // four rows, less the one row of its bottom margin.
    newtComponent box =
        reflowedBox(text.c_str(), fitWidth(FINISH_WIDTH) - 2, dialogTextRows(checkbox ? 5 : 4), 0, 0);
    const int rows = checkbox ? 3 : 2;
    newtGrid grid = newtCreateGrid(1, rows);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, box, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    if (checkbox)
        newtGridSetField(grid, 0, 1, NEWT_GRID_COMPONENT, checkbox, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, rows - 1, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, -1, 0, NEWT_GRID_FLAG_GROWX);
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    openGridWindow(grid, title.c_str());
    newtGridFree(grid, 1);
    return form;
}

void focusFinish(newtComponent form, newtComponent reboot, newtComponent exit, int show_reboot,
                 int reboot_is_default) {
    newtFormSetCurrent(form, show_reboot && reboot && reboot_is_default ? reboot : exit);
}

std::string removeTitle() {
    return bfmt(TEXT_BUF, _("%s Installation Completed"), PRODUCT_NAME);
}

std::string removeMessage() {
    return bfmt(TEXT_BUF, _("Congratulations!\n\nYou have successfully removed %s.\n\n"), PRODUCT_FULL_NAME);
}

}  // namespace

void show_welcome_screen() {
    const std::string title = bfmt(TEXT_BUF, _("%s Installer"), PRODUCT_NAME);
    const std::string text = bfmt(TEXT_BUF,
                                  _("Welcome to %s Installer!\n\nThis Installer will help you install %s used to "
                                    "migrate a Corvane Container to a Corvane Virtual Machine.\n\nClick \"Next\" to "
                                    "start the installation process.\nClick \"Cancel\" at any moment to stop "
                                    "installing."),
                                  PRODUCT_NAME, PRODUCT_NAME);
    if (!scrChoise(title.c_str(), text.c_str(), 1, 0))
        insExit(10);
}

int license_agreement_show() {
    const char* name = "LICENSE";
    char* path = get_filename("./", name);
    if (!path)
        Error(1, _("License agreement file '%s' cannot be found"), name);
    const int accepted = scrAgreement(_("License Agreement"), 0, path, AGRT_LIC);
    std::free(path);
    return accepted;
}

int scrAgreement(const char* title, int def_butt, const char* filename, AGRT_MODE mode) {
    if (!innewt)
        return 1;
    newtComponent accept = nullptr;
    newtComponent decline = nullptr;
    newtGrid buttons =
        mode == AGRT_CEP ? cepButtons(fitWidth(width), &accept, &decline)
                         : licenseButtons(fitWidth(width), &accept, &decline);
    const std::string text = readLicense(filename);

    int cols = 0;
    int rows = 0;
    newtGetScreenSize(&cols, &rows);
    const int box_cols = std::min(dialogContentCols() - SCROLLBAR_COLS, LICENSE_MAX_COLS);
    // On a very small screen the box gives up rows rather than push the
    // window's title and buttons off the screen.
    const int box_rows =
        std::max(rows - LICENSE_FRAME_ROWS, std::min(dialogTextRows(LICENSE_BUTTON_ROWS), LICENSE_MIN_ROWS));
    newtComponent box = newtTextbox(0, 0, box_cols, box_rows, NEWT_FLAG_WRAP | NEWT_FLAG_SCROLL);
    newtTextboxSetText(box, text.c_str());

    newtGrid grid = newtCreateGrid(1, 2);
    newtGridSetField(grid, 0, 0, NEWT_GRID_COMPONENT, box, 0, 0, 0, 0, NEWT_ANCHOR_LEFT, 0);
    newtGridSetField(grid, 0, 1, NEWT_GRID_SUBGRID, buttons, 0, 1, 0, -1, 0, NEWT_GRID_FLAG_GROWX);
    newtComponent form = newtForm(nullptr, nullptr, 0);
    newtGridAddComponentsToForm(grid, form, 1);
    openGridWindow(grid, title);
    newtGridFree(grid, 1);

    FormWindow screen(form);
    newtFormSetCurrent(form, def_butt == 1 ? accept : decline);
    // Only the decline button declines; Escape and F12 leave accepting.
    return screen.run() == decline ? 0 : 1;
}

int show_finish_screen(installAction act, int show_reboot, int reboot_is_default) {
    std::string title;
    std::string message;
    switch (act) {
    case ACTION_UPGRADE:
        title = bfmt(TEXT_BUF, _("%s Updating Completed"), PRODUCT_NAME);
        message = bfmt(TEXT_BUF, _("Congratulations!\n\nYou have successfully completed updating %s.\n"),
                       PRODUCT_FULL_NAME);
        break;
    case ACTION_REMOVE:
        title = removeTitle();
        message = removeMessage();
        break;
    default:
        title = bfmt(TEXT_BUF, _("%s Installation Completed"), PRODUCT_NAME);
        message = bfmt(TEXT_BUF, _("Congratulations!\n\nYou have successfully completed installing %s.\n\n"),
                       PRODUCT_FULL_NAME);
        break;
    }
    return scrFinished(title.c_str(), message.c_str(), show_reboot, reboot_is_default);
}

namespace {

// The check box of the removal's finish screen: its label, and where its
// start state comes from and its final state goes.
struct FinishCheckBox {
    const std::string& label;
    int* select;
};

// Builds, runs and tears down the finish dialog; 1 when Reboot ended it.
int runFinished(const std::string& caption, const std::string& text, FinishCheckBox* checkBox, int show_reboot,
                int reboot_is_default) {
    newtComponent reboot = nullptr;
    newtComponent exit = nullptr;
    newtGrid buttons = finishButtons(fitWidth(FINISH_WIDTH), &reboot, &exit, show_reboot);
    newtComponent checkbox =
        checkBox ? newtCheckbox(-1, -1, checkBox->label.c_str(), *checkBox->select ? '*' : ' ', nullptr, nullptr)
                 : nullptr;
    FormWindow screen(finishForm(caption, text, checkbox, buttons));
    focusFinish(screen.form, reboot, exit, show_reboot, reboot_is_default);
    const newtComponent answer = screen.run();
    // Read before the form, and the check box with it, is destroyed.
    if (checkBox)
        *checkBox->select = newtCheckboxGetValue(checkbox) == '*' ? 1 : 0;
    return reboot && answer == reboot ? 1 : 0;
}

}  // namespace

int scrFinished(const char* title, const char* finaltext, int show_reboot, int reboot_is_default) {
    const std::string text = cut(finaltext ? finaltext : "");
    const std::string caption = cut(title ? title : "");
    if (!innewt) {
        std::printf("%s\n", text.c_str());
        return 0;
    }
    return runFinished(caption, text, nullptr, show_reboot, reboot_is_default);
}

int show_remove_finish_screen(int* checkbox_select, int show_reboot, int reboot_is_default) {
    const std::string title = removeTitle();
    const std::string message = removeMessage();
    return scrFinishedWithCheckBox(title.c_str(), message.c_str(), _("Remove the agent's settings as well"),
                                   checkbox_select, show_reboot, reboot_is_default);
}

int scrFinishedWithCheckBox(const char* title, const char* final_text, const char* checkbox_text,
                            int* checkbox_select, int show_reboot, int reboot_is_default) {
    const std::string text = cut(final_text ? final_text : "");
    const std::string caption = cut(title ? title : "");
    const std::string label = cut(checkbox_text ? checkbox_text : "");
    FinishCheckBox checkBox{label, checkbox_select};
    if (!innewt) {
        std::printf("%s\n", text.c_str());
        return 0;
    }
    return runFinished(caption, text, &checkBox, show_reboot, reboot_is_default);
}
