// Prerequisite packages through the bundle's package-manager script.
#pragma once

#include <string>

void download_required_packages();
int check_list_empty(const char* list);
int check_list_for_mandatory_packages(const char* list);
void prepare_output_message(char* msg);
// The package script's installation command line, whole (never cut).
std::string pm_install_command_line();
