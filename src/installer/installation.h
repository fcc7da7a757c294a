// The installation run: the bundle's installation tool per action.
#pragma once

void install_full();
void run_installation();
void run_cli_installer_parted(const char* options, const char* manifest, unsigned char num_parts, unsigned char part);
void run_cli_installer(const char* options, const char* manifest);
