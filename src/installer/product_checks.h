// Optional product checks that an installation flow may add.
#pragma once

int file_exists(const char* filename);
int check_running_halcrest();
int check_hardware_virtualization();
int check_cpu_amd64();
int check_conflicts();
void ask_xen_installation(int* is_xen);
