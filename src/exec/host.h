// Host and file-system services: temporary files, trimmed lines, the mount
// table, configuration parameters, shell wrappers and host probes.
#pragma once

#include <cstdio>

FILE* openTemp();
char* readTrimmedLines(FILE* file);
void swapfd(int fd1, int fd2);
char* find_dir_up(const char* start, const char* name);

char* get_cd_dev(const char* path);
char* get_fs_type(const char* path);
int is_isofs(const char* path);
int is_nonlocal(const char* path);
int set_param(const char* conf, const char* var, const char* val);
void do_umount(const char* cmd, const char* rpmdir);

int untar(const char* from, const char* to);
int copy_file(const char* from, const char* to);
int makedir(const char* name);
int removedir(const char* name);
int remove_directory(const char* path);
int copy_files_array(const char** copy_files, const char* dest_path);

int check_make();
int check_gcc();
int check_kernel_sources();
int check_ia32_support();
int arch_x86_64();
int check_debian_x64();
