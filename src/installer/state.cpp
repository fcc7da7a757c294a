#include "installer/state.h"

int innewt = 0;
int unattended = 0;
int unattended_install = 0;
int unattended_remove = 0;
int force_mode = 0;
char* log_path = nullptr;
installAction action = ACTION_INSTALL;
char components[4096] = "";
const char* archive_files[2] = {"installer-cli", nullptr};
int remove_config = 1;
progress_data progress = {};
