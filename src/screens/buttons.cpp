// Button rows. Each row is a one-row grid whose first button is pushed right
// by a computed left pad; the later buttons follow at one column's distance.
#include "screens/buttons.h"

#include <cstring>
#include <vector>

#include "exec/text.h"
#include "installer/state.h"

namespace {

void place(newtGrid grid, int col, newtComponent button, int padLeft, int anchor) {
    newtGridSetField(grid, col, 0, NEWT_GRID_COMPONENT, button, padLeft, 0, 0, 0, anchor, 0);
}

// Two standard buttons, the first at the computed pad, the second one column on.
newtGrid twoButtons(int width, newtComponent* left, const char* left_label, newtComponent* right,
                    const char* right_label) {
    newtGrid grid = newtCreateGrid(2, 1);
    *left = newtButton(-1, -1, left_label);
    *right = newtButton(-1, -1, right_label);
    place(grid, 0, *left, buttonPad(width, {left_label, right_label}), NEWT_ANCHOR_RIGHT);
    place(grid, 1, *right, 1, NEWT_ANCHOR_RIGHT);
    return grid;
}

}  // namespace

int buttonPad(int width, std::initializer_list<const char*> labels) {
    int pad = width - 12;
    for (const char* label : labels)
        pad -= static_cast<int>(std::strlen(label));
    return pad;
}

newtGrid installButtons(int width, newtComponent* next, newtComponent* cancel) {
    const char* cancel_label = _("Cancel");
    if (!next) {
        newtGrid grid = newtCreateGrid(1, 1);
        *cancel = newtButton(-1, -1, cancel_label);
        place(grid, 0, *cancel, 1, NEWT_ANCHOR_RIGHT);
        return grid;
    }
    return twoButtons(width, next, _("Next >"), cancel, cancel_label);
}

newtGrid installButtons2(int width, newtComponent* next, newtComponent* cancel) {
    return twoButtons(width, next, _("Install"), cancel, _(" Skip "));
}

newtGrid installButtonsWithTxt(int width, newtComponent* left_btn, newtComponent* right_btn,
                               const char* left_btn_label, const char* right_btn_label) {
    return twoButtons(width, left_btn, left_btn_label, right_btn, right_btn_label);
}

newtGrid installButtonsNextSkipCancel(int width, newtComponent* next_btn, newtComponent* skip_btn,
                                      newtComponent* cancel_btn, const char* next_label, const char* skip_label,
                                      const char* cancel_label) {
    newtGrid grid = newtCreateGrid(3, 1);
    *next_btn = newtButton(-1, -1, next_label);
    *skip_btn = newtButton(-1, -1, skip_label);
    *cancel_btn = newtButton(-1, -1, cancel_label);
    place(grid, 0, *next_btn, buttonPad(width, {next_label, skip_label, cancel_label}), NEWT_ANCHOR_RIGHT);
    place(grid, 1, *skip_btn, 1, NEWT_ANCHOR_RIGHT);
    place(grid, 2, *cancel_btn, 1, NEWT_ANCHOR_RIGHT);
    return grid;
}

newtGrid installButtons3(int width, newtComponent* lbt, const char* lbt_txt, newtComponent* rbt, const char* rbt_txt) {
    return twoButtons(width, lbt, lbt_txt, rbt, rbt_txt);
}

newtGrid licenseButtons(int width, newtComponent* accept, newtComponent* exit) {
    return twoButtons(width, accept, _(" Accept "), exit, _(" Decline "));
}

newtGrid cepButtons(int width, newtComponent* accept, newtComponent* exit) {
    return twoButtons(width, accept, _(" Agree "), exit, _(" Disagree "));
}

newtGrid finishButtons(int width, newtComponent* reboot, newtComponent* exit, int show_reboot) {
    if (!innewt) {
        // No dialog in plain mode; leave the caller nothing to compare against.
        *reboot = nullptr;
        *exit = nullptr;
        return nullptr;
    }
    const char* exit_label = _(" Exit ");
    if (!show_reboot) {
        *reboot = nullptr;
        newtGrid grid = newtCreateGrid(1, 1);
        *exit = newtButton(-1, -1, exit_label);
        place(grid, 0, *exit, buttonPad(width, {exit_label}), NEWT_ANCHOR_RIGHT);
        return grid;
    }
    const char* reboot_label = _("Reboot");
    newtGrid grid = newtCreateGrid(2, 1);
    *exit = newtButton(-1, -1, exit_label);
    *reboot = newtButton(-1, -1, reboot_label);
    place(grid, 0, *exit, buttonPad(width, {exit_label, reboot_label}), NEWT_ANCHOR_RIGHT);
    place(grid, 1, *reboot, 0, NEWT_ANCHOR_RIGHT);
    return grid;
}

newtGrid newtCompactButtonBar(const char* button1, newtComponent* b1comp, ...) {
    va_list args;
    va_start(args, b1comp);
    newtGrid grid = newtCompactButtonBarv(button1, b1comp, args);
    va_end(args);
    return grid;
}

newtGrid newtCompactButtonBarv(const char* button1, newtComponent* b1comp, va_list args) {
    struct buttonInfo {
        const char* name;
        newtComponent* compPtr;
    };
    // Room for 50 buttons up front; a longer list still gets every button it
    // asked for, so no caller is left with an unset component pointer.
    std::vector<buttonInfo> buttons;
    buttons.reserve(50);
    buttons.push_back({button1, b1comp});
    while (const char* name = va_arg(args, const char*))
        buttons.push_back({name, va_arg(args, newtComponent*)});

    newtGrid grid = newtCreateGrid(static_cast<int>(buttons.size()), 1);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        *buttons[i].compPtr = newtCompactButton(-1, -1, buttons[i].name);
        newtGridSetField(grid, static_cast<int>(i), 0, NEWT_GRID_COMPONENT, *buttons[i].compPtr, 1, 0, 0, 0, 0, 0);
    }
    return grid;
}
