// The log path root is given, checked before anything is written or run.
#pragma once

// Returns when root and the bundle's tools, which open log_path by name, can
// write it safely: it fits their command lines, it is no link and no FIFO or
// other special file, and no one but root can change where it leads (a shared
// folder with the sticky bit, as /tmp, is allowed on the way). Otherwise
// says why on standard error and exits with 2, logging nothing.
void check_log_path(const char* prog_name);
