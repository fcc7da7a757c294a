// Host and file-system services: temporary files, trimmed lines, the mount
// table, configuration parameters, shell wrappers and host probes.
#pragma once

#include <cstdio>

FILE* openTemp();
char* readTrimmedLines(FILE* file);
void swapfd(int fd1, int fd2);
char* find_dir_up(const char* start, const char* name);

// Device and file-system type of the first /proc/mounts line whose mount
// field holds path followed by a blank (a mount point ending in path counts).
char* get_cd_dev(const char* path);
char* get_fs_type(const char* path);
// The same lookups on a mount table in another file.
char* mount_table_device(const char* table, const char* path);
char* mount_table_fs_type(const char* table, const char* path);
// The lookup itself, on a mount table already open, read from where it stands.
enum class MountField { device, fs_type };
char* mount_stream_lookup(FILE* table, const char* path, MountField field);
int is_isofs(const char* path);
int is_nonlocal(const char* path);
// Raw status of the shell run; -1 (nothing run) for an empty name or a name
// or value holding a quote, backslash or line break.
int set_param(const char* conf, const char* var, const char* val);
void do_umount(const char* cmd, const char* rpmdir);

// The wrappers quote paths for the shell and return execCmd's result; -1
// without running anything when the command would not fit its buffer.
// untar also gives -1 when the target is not a directory.
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
