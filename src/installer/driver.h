// The driver's private state and start-up steps.
#pragma once

extern int help;
extern int show_version;
extern const char* product_codename;
extern char* opt_packages_not_installed;
extern const char* progName;
extern char* progPath;
extern const char* dirPath;

void parseCmdLine(int argc, char** argv);
[[noreturn]] void usage(int errCode);
[[noreturn]] void report_ver();
void check_root(const char* prog_name);
char* getProgPath(const char* progName);
