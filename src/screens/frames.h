// Welcome, licence agreement and finish screens.
#pragma once

#include "installer/state.h"

enum AGRT_MODE { AGRT_LIC = 0, AGRT_CEP = 1 };

void show_welcome_screen();
int license_agreement_show();
int scrAgreement(const char* title, int def_butt, const char* filename, AGRT_MODE mode);
int show_finish_screen(installAction act, int show_reboot, int reboot_is_default);
int scrFinished(const char* title, const char* finaltext, int show_reboot, int reboot_is_default);
int show_remove_finish_screen(int* checkbox_select, int show_reboot, int reboot_is_default);
int scrFinishedWithCheckBox(const char* title, const char* final_text, const char* checkbox_text,
                            int* checkbox_select, int show_reboot, int reboot_is_default);
