// Right-aligned button rows, returned as one-row grids.
#pragma once

#include <newt.h>

#include <cstdarg>
#include <initializer_list>

// Left pad that pushes the first button of a row to the right: the row's
// width less the labels' lengths in bytes and 12 columns of button frames.
// Not clamped: long labels give a negative pad.
int buttonPad(int width, std::initializer_list<const char*> labels);

newtGrid installButtons(int width, newtComponent* next, newtComponent* cancel);
newtGrid installButtons2(int width, newtComponent* next, newtComponent* cancel);
newtGrid installButtonsWithTxt(int width, newtComponent* left_btn, newtComponent* right_btn,
                               const char* left_btn_label, const char* right_btn_label);
newtGrid installButtonsNextSkipCancel(int width, newtComponent* next_btn, newtComponent* skip_btn,
                                      newtComponent* cancel_btn, const char* next_label, const char* skip_label,
                                      const char* cancel_label);
newtGrid installButtons3(int width, newtComponent* lbt, const char* lbt_txt, newtComponent* rbt, const char* rbt_txt);
newtGrid licenseButtons(int width, newtComponent* accept, newtComponent* exit);
newtGrid cepButtons(int width, newtComponent* accept, newtComponent* exit);
newtGrid finishButtons(int width, newtComponent* reboot, newtComponent* exit, int show_reboot);
newtGrid newtCompactButtonBar(const char* button1, newtComponent* b1comp, ...);
newtGrid newtCompactButtonBarv(const char* button1, newtComponent* b1comp, va_list args);
