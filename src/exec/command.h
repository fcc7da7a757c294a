// Shell-command runners: exit status, captured output, optional spinner thread.
#pragma once

#include <atomic>

// Shared by the runner and its spinner thread for one call.
typedef struct progress_func_arg_t {
    std::atomic<int> is_running;
    char message[4096];
} progress_func_arg;

using progressRoutine = void* (*)(void*);

// Exit code 0-255, or -1 when the command cannot be started, its status
// cannot be collected or it was killed. *mess (if given) is a caller-owned
// malloc'ed text, replaced only when the command prints something.
int execCmd3(const char* cmd, char** mess, progressRoutine progress_func, const char* progr_msg);
int execCmd2(const char* cmd, char** mess);
int execCmd(const char* cmd);
