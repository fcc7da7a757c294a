// Checks that decide whether the run may go on, and settle the action.
#pragma once

#include <cstddef>

#include "installer/state.h"

void check_restrictions();
int check_archive_packages(const char** archive_files);
int get_installed();
installAction ask_action(int unattended_install, int unattended_remove);
int selectComponents();
int check_selinux();
int check_disk_space(char* msg, std::size_t buf_size);
int check_cvnbdmig64();

// The refusal shown for a result of check_hqc_version (untranslated), or
// null for 0: the host is supported.
const char* hqc_refusal_message(int result);
