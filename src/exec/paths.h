// Finding bundle files and mount points; file-type tests answer 0 for yes.
#pragma once

char* get_filename(const char* path, const char* name);
char* find_file_up(const char* start, const char* name);
char* get_cd_mpoint(const char* path);
int check_file(const char* path);
int check_file_symlink(const char* path);
int check_directory(const char* path);
