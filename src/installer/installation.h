// The installation run: the bundle's installation tool per action.
#pragma once

#include <cstddef>
#include <string>

void install_full();
void run_installation();
void run_cli_installer_parted(const char* options, const char* manifest, unsigned char num_parts, unsigned char part);
void run_cli_installer(const char* options, const char* manifest);

// The installation tool's command line for one run, whole (never cut).
std::string cli_command_line(const char* options, const char* manifest);
// The longest command line that hands the log path to a bundle's tool, over
// every run of every action.
std::size_t longest_tool_command_line();
